#include "clean/ProgressDialog.h"

#include <commctrl.h>

#include "env/SystemQueries.h"
#include "host/Module.h"

namespace {

const int CancelButtonId = 2;
const int ProgressBarId = 1194;
const int StatusLineId = 1195;
const UINT_PTR BusyTimerId = 1;

// Posted to the window by EndProgress so the end happens on the window's own thread, after
// every status line the worker sent before it.
const UINT WM_PROGRESS_END = WM_APP + 17;

#ifndef PBS_MARQUEE
const LONG PBS_MARQUEE = 0x08;
#endif
#ifndef PBM_SETMARQUEE
const UINT PBM_SETMARQUEE = WM_USER + 10;
#endif

class Lock {
public:
    explicit Lock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~Lock() { LeaveCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

} // namespace

ProgressDialog::ProgressDialog() : DialogBase(TemplateId), statusText_() {
    InitializeCriticalSection(&lock_);
}

ProgressDialog::~ProgressDialog() {
    DeleteCriticalSection(&lock_);
}

void ProgressDialog::BeginRun() {
    Lock lock(lock_);
    endRequested_ = false;
}

INT_PTR ProgressDialog::ShowProgress(HWND owner) {
    owner_ = owner;
    return DoModal(ModuleInstance(), owner);
}

void ProgressDialog::SetStatusText(const WCHAR* text) {
    if (!text) return;
    WCHAR shown[MAX_PATH];
    HWND window;
    {
        Lock lock(lock_);
        ZeroMemory(statusText_, sizeof(statusText_));
        lstrcpynW(statusText_, text, MAX_PATH);
        lstrcpynW(shown, statusText_, MAX_PATH);
        window = liveWindow_;
    }
    // A sent message: it returns once the user-interface thread has shown the line.
    if (window) SetWindowTextW(GetDlgItem(window, StatusLineId), shown);
}

void ProgressDialog::EndProgress() {
    HWND window;
    bool posted;
    {
        Lock lock(lock_);
        window = liveWindow_;
        if (!window) endRequested_ = true;
        posted = !window || PostMessageW(window, WM_PROGRESS_END, 0, 0);
    }
    // The post failed (a full queue): the dialog would wait forever. A sent message, outside
    // the lock, reaches it through its modal loop.
    if (!posted) SendMessageW(window, WM_PROGRESS_END, 0, 0);
}

BOOL ProgressDialog::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result) {
    static const MessageMapEntry<ProgressDialog> messageMap[] = {
        {WM_INITDIALOG, &ProgressDialog::OnInitDialog},
        {WM_COMMAND, &ProgressDialog::OnCommand},
        {WM_TIMER, &ProgressDialog::OnTimer},
        {WM_DESTROY, &ProgressDialog::OnDestroy},
        {WM_PROGRESS_END, &ProgressDialog::OnEndRequest},
    };
    return RouteMessage(messageMap, window, message, wParam, lParam, result);
}

LRESULT ProgressDialog::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled) {
    StartBusyIndication();
    SetWindowTextW(window, L"正在清理...");

    WCHAR shown[MAX_PATH];
    bool endNow;
    {
        Lock lock(lock_);
        lstrcpynW(shown, statusText_, MAX_PATH);
        liveWindow_ = window;
        endNow = endRequested_;
        endRequested_ = false;
    }
    SetWindowTextW(GetDlgItem(window, StatusLineId), shown);
    // The worker finished (or could not start) before the window existed.
    if (endNow) EndProgress();

    handled = FALSE; // the default handling centres the dialog over its owner
    return 0;
}

void ProgressDialog::StartBusyIndication() {
    if (IsWindows2000()) {
        SetTimer(window, BusyTimerId, 200, nullptr);
    } else if (IsWindowsXP()) {
        HWND bar = GetDlgItem(window, ProgressBarId);
        SetWindowLongW(bar, GWL_STYLE, GetWindowLongW(bar, GWL_STYLE) | PBS_MARQUEE);
        SendMessageW(bar, PBM_SETMARQUEE, 1, 40);
    }
}

LRESULT ProgressDialog::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    // Cancel, Esc and the close box: the owner sets its cancel flag before the dialog ends.
    if (LOWORD(wParam) == CancelButtonId) SendMessageW(owner_, WM_CLEAN_CANCEL, 0, 0);
    handled = FALSE;
    return 0;
}

LRESULT ProgressDialog::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (wParam == BusyTimerId) SendMessageW(GetDlgItem(window, ProgressBarId), PBM_STEPIT, 0, 0);
    return 0;
}

LRESULT ProgressDialog::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    KillTimer(window, BusyTimerId);
    {
        Lock lock(lock_);
        liveWindow_ = nullptr;
    }
    handled = FALSE;
    return 0;
}

LRESULT ProgressDialog::OnEndRequest(UINT, WPARAM, LPARAM, BOOL&) {
    KillTimer(window, BusyTimerId);
    EndDialog(window, 0);
    return 0;
}
