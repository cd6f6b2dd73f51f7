#include "tools/VelaHost/DemoTour.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "src/res/resource.h"
#include "testbed/ModalScript.h"
#include "tools/VelaHost/Screenshot.h"

namespace {

const WCHAR CleanCaption[] = L"清理上网痕迹";
const WCHAR ProgressCaption[] = L"正在清理...";
const WCHAR AddressRecordsCaption[] = L"删除地址栏记录";
const WCHAR SearchRecordsCaption[] = L"删除搜索记录";
// Long enough for Wine under Xvfb to paint a window it has just shown.
const DWORD PaintWaitMs = 600;
const int DialogWaitMs = 20000;
const int CleanWaitMs = 60000;

// A click on a control that may open a modal dialog: posted, so this thread is not held in
// the dialog's loop.
void PostClick(HWND dialog, int id, WORD code) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WaitForRows(HWND list, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) return true;
        Sleep(20);
    }
    return false;
}

} // namespace

DemoTour::DemoTour(const DemoBrowser& browser, ReferenceHost& host,
                   const UrlHistoryStandIn& history, const std::wstring& folder)
    : browser_(browser), host_(host), history_(history), folder_(folder) {}

DemoTour::~DemoTour() {
    Finish();
}

void DemoTour::Start() {
    thread_ = std::thread([this] {
        Walk();
        // Whatever happened, the host's loop ends: close what is open, then the frame.
        for (const WCHAR* caption :
             {AddressRecordsCaption, SearchRecordsCaption, ProgressCaption, CleanCaption}) {
            if (HWND dialog = WaitForDialog(caption, 0)) {
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                WaitForWindowGone(dialog, DialogWaitMs);
            }
        }
        PostMessageW(browser_.Window(), WM_CLOSE, 0, 0);
    });
}

bool DemoTour::Finish() {
    if (thread_.joinable()) thread_.join();
    return failure_.empty();
}

bool DemoTour::Step(bool ok, const char* what) {
    if (!ok && failure_.empty()) failure_ = what;
    return ok;
}

bool DemoTour::Picture(HWND window, const WCHAR* name, const WCHAR* caption, DWORD waitMs) {
    return Step(SavePictures(window, name, caption, waitMs), "a window picture could not be saved");
}

bool DemoTour::SavePictures(HWND window, const WCHAR* name, const WCHAR* caption, DWORD waitMs) {
    if (folder_.empty()) return true;
    Sleep(waitMs);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(waitMs / 2);
    if (name && !SaveWindowPicture(window, (folder_ + L"\\" + name).c_str())) return false;
    if (IsDialogsOnly()) return true; // no frames of an animation
    WCHAR frame[32];
    wsprintfW(frame, L"tour-%02d.bmp", ++frames_);
    RECT browser = {};
    GetWindowRect(browser_.Window(), &browser);
    return SaveScreenPicture(browser, (folder_ + L"\\" + frame).c_str(), caption);
}

bool DemoTour::AddressBarPicture(const WCHAR* name, const WCHAR* caption) {
    HWND bar = browser_.AddressBar();
    SendMessageW(bar, CB_SHOWDROPDOWN, TRUE, 0);
    bool ok = Step(SendMessageW(bar, CB_GETDROPPEDSTATE, 0, 0) != 0,
                   "the address bar's drop-down did not open");
    if (ok && !folder_.empty()) {
        COMBOBOXINFO combo = {};
        combo.cbSize = sizeof(combo);
        GetComboBoxInfo(reinterpret_cast<HWND>(SendMessageW(bar, CBEM_GETCOMBOCONTROL, 0, 0)),
                        &combo);
        RECT list = {};
        RECT top = {};
        GetWindowRect(combo.hwndList, &list);
        GetWindowRect(browser_.Window(), &top);
        top.bottom = list.bottom + 12;
        ok = Picture(browser_.Window(), nullptr, caption, PaintWaitMs) &&
             Step(SaveScreenPicture(top, (folder_ + L"\\" + name).c_str(), nullptr),
                  "a window picture could not be saved");
    }
    SendMessageW(bar, CB_SHOWDROPDOWN, FALSE, 0);
    return ok;
}

// The pointer goes to the button, which lights up, and clicks it: the toolbar then sends its
// parent WM_COMMAND.
void DemoTour::ClickToolbarButton(WORD commandId, const WCHAR* caption) {
    HWND toolbar = host_.Toolbar();
    LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, commandId, 0);
    RECT rect = {};
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    POINT screen = point;
    ClientToScreen(toolbar, &screen);
    SetCursorPos(screen.x, screen.y);
    Picture(toolbar, nullptr, caption, PaintWaitMs);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    PostMessageW(toolbar, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
}

bool DemoTour::VisitRecordDialog(HWND cleanDialog, int linkId, const WCHAR* caption,
                                 const WCHAR* picture, const WCHAR* frameCaption) {
    PostClick(cleanDialog, linkId, STN_CLICKED);
    HWND records = WaitForDialog(caption, DialogWaitMs);
    if (!Step(records != nullptr, "a record dialog did not open")) return false;
    if (!Step(WaitForRows(GetDlgItem(records, IDC_RECORD_LIST), DialogWaitMs),
              "a record dialog listed no records"))
        return false;
    if (!Picture(records, picture, frameCaption, PaintWaitMs)) return false;
    PostMessageW(records, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return Step(WaitForWindowGone(records, DialogWaitMs), "a record dialog did not close");
}

void DemoTour::Walk() {
    HWND frame = browser_.Window();
    if (!Picture(frame, L"main-window.bmp",
                 L"A browser with the Vela toolbar: its search box and the \"Clear\" button",
                 PaintWaitMs))
        return;
    if (!AddressBarPicture(L"address-bar-before.bmp",
                           L"The address bar keeps the addresses typed into it"))
        return;

    ClickToolbarButton(ReferenceHost::ClearCommandId, L"Press \"Clear\"");
    HWND clean = WaitForDialog(CleanCaption, DialogWaitMs);
    if (!Step(clean != nullptr, "pressing Clear opened no clean dialog")) return;
    // The pointer leaves the scene.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    if (IsDialogsOnly()) return WalkDialogs(clean);
    if (!Picture(clean, nullptr, L"The kinds of traces to clean", PaintWaitMs)) return;

    if (!VisitRecordDialog(clean, IDC_LINK_ADDRESS_BAR, AddressRecordsCaption,
                           L"record-dialog-address-bar.bmp",
                           L"Single address-bar records, with their site icons and page titles"))
        return;
    if (!VisitRecordDialog(clean, IDC_LINK_SEARCH_RECORDS, SearchRecordsCaption,
                           L"record-dialog-search.bmp", L"Single search-box records"))
        return;

    PressButton(clean, IDC_SELECT_ALL);
    if (!Picture(clean, L"clean-dialog.bmp", L"Every kind ticked", PaintWaitMs)) return;

    PostClick(clean, IDC_CLEAN_NOW, BN_CLICKED);
    HWND progress = WaitForDialog(ProgressCaption, DialogWaitMs);
    if (!Step(progress != nullptr, "cleaning showed no progress dialog")) return;
    // The clean takes a moment per category; the pictures are taken while it runs, and are
    // left out when it was quicker.
    SavePictures(progress, L"progress-dialog.bmp", L"Cleaning", PaintWaitMs / 2);
    if (!Step(WaitForWindowGone(progress, CleanWaitMs), "the clean did not finish")) return;

    after_ = CountTraces(browser_.AddressBar(), host_, history_);
    PostMessageW(clean, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!Step(WaitForWindowGone(clean, DialogWaitMs), "the clean dialog did not close")) return;
    AddressBarPicture(L"address-bar-after.bmp", L"Cleaned: the address bar's list is empty");
}

void DemoTour::WalkDialogs(HWND clean) {
    if (!Picture(clean, DialogPicture(L"clean-dialog").c_str(), nullptr, PaintWaitMs)) return;
    if (!VisitRecordDialog(clean, IDC_LINK_ADDRESS_BAR, AddressRecordsCaption,
                           DialogPicture(L"record-dialog-address-bar").c_str(), nullptr))
        return;
    if (!VisitRecordDialog(clean, IDC_LINK_SEARCH_RECORDS, SearchRecordsCaption,
                           DialogPicture(L"record-dialog-search").c_str(), nullptr))
        return;
    PostMessageW(clean, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Step(WaitForWindowGone(clean, DialogWaitMs), "the clean dialog did not close");
}
