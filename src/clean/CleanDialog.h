// The module's main window, "清理上网痕迹": the seven category boxes with the stored selection,
// select-all, invert and default, the automatic-clean box, the two "删除单条记录" links and
// "立即清理选中的项目", which runs the clean on a worker thread under the progress dialog.
// Never shown, the same class carries the automatic clean when the browser closes.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "clean/ProgressDialog.h"
#include "env/Handles.h"
#include "host/ButtonHost.h"
#include "records/RecordOwner.h"
#include "ui/DialogBase.h"
#include "ui/LinkLabel.h"

class CleanDialog : public DialogBase, public LinkLabelOwner {
public:
    static const int TemplateId = 253;

    CleanDialog();
    ~CleanDialog() override;

    // Shows the dialog modally over the browser behind site. The caller has added a reference
    // to site for this call; it is released before the call returns. A site that fails to
    // answer for its browser (other than with E_NOINTERFACE) shows nothing, and its error is
    // returned for the caller to raise.
    HRESULT ShowOverBrowser(IButtonSite* site);

    // The clean run.
    void StartClean();
    int RunCleanSteps();
    void RunAutoClean();
    void CleanSavedSelection();

    IButtonSite* Site() const { return site_.Get(); }
    HWND BrowserWindow() const { return browserWindow_; }
    // What the record dialogs opened from the links learn of this one.
    RecordOwner AsRecordOwner() const { return {window, browserWindow_, site_.Get()}; }
    BOOL AddressLinkUsed() const { return addressLinkUsed_; }
    BOOL SearchLinkUsed() const { return searchLinkUsed_; }
    LONG CancelRequested() const { return cancelRequested_; }
    ProgressDialog& Progress() { return progress_; }

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCtlColorStatic(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCleanCancel(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    void UpdateAddressLink();
    void UpdateSearchLink();
    void HideLink(int linkId);
    void UpdateCleanNowButton();
    void CheckAllCategories();
    void InvertCategories();
    void CheckDefaultCategories();
    void WaitForWorker();
    void RunCleaner(DWORD bit);

    ComPtr<IButtonSite> site_;
    ComPtr<IWebBrowser2> browser_;
    HWND browserWindow_ = nullptr;
    volatile LONG cancelRequested_ = 0;
    ProgressDialog progress_;
    BOOL addressLinkUsed_ = FALSE;
    BOOL searchLinkUsed_ = FALSE;

    // The worker of the last interactive run. Kept so that neither the next run nor the
    // object's destruction can start while a cancelled worker is still inside a cleaner.
    UniqueHandleValue worker_;
    HMODULE workerModule_ = nullptr; // handed to the worker, which gives it back on exit

    friend DWORD WINAPI CleanWorker(void* dialog);
};

DWORD WINAPI CleanWorker(void* dialog);
