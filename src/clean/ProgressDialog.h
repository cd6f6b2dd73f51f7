// The small modal window that stands over the clean dialog while a clean runs: a busy bar,
// one status line naming the category being cleaned, and Cancel.
//
// Two threads drive it: the user-interface thread runs its modal loop, the clean worker sets
// the status line and asks it to close. A request that comes before the window exists is kept
// and carried out as soon as the window opens.
#pragma once

#include <windows.h>

#include "ui/DialogBase.h"

// From the progress dialog to its owner when Cancel is pressed.
constexpr UINT WM_CLEAN_CANCEL = WM_APP + 16;

class ProgressDialog : public DialogBase {
public:
    static const int TemplateId = 254;

    ProgressDialog();
    ~ProgressDialog() override;

    // User-interface thread.
    // Forgets a close request left over from an earlier run; called before the worker starts.
    void BeginRun();
    // Runs the dialog modally over owner; returns when it has ended.
    INT_PTR ShowProgress(HWND owner);

    // Worker thread.
    void SetStatusText(const WCHAR* text);
    void EndProgress();

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnEndRequest(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    void StartBusyIndication();

    WCHAR statusText_[MAX_PATH];
    HWND owner_ = nullptr;

    // Guards statusText_, liveWindow_ and endRequested_ between the two threads. Never held
    // across a window call: the worker's sends would otherwise wait on a blocked UI thread.
    CRITICAL_SECTION lock_;
    HWND liveWindow_ = nullptr; // the window from WM_INITDIALOG to WM_DESTROY
    bool endRequested_ = false; // a close request that found no window
};
