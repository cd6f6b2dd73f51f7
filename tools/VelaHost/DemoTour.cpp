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

DemoTour::DemoTour(ReferenceHost& host, const UrlHistoryStandIn& history,
                   const std::wstring& folder)
    : host_(host), history_(history), folder_(folder) {}

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
        PostMessageW(host_.Frame(), WM_CLOSE, 0, 0);
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

bool DemoTour::Picture(HWND window, const WCHAR* name) {
    if (folder_.empty()) return true;
    Sleep(PaintWaitMs);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(PaintWaitMs / 2);
    std::wstring path = folder_ + L"\\" + name;
    return Step(SaveWindowPicture(window, path.c_str()), "a window picture could not be saved");
}

// The toolbar sends its parent WM_COMMAND when a button is clicked with the mouse.
void DemoTour::ClickToolbarButton(WORD commandId) {
    HWND toolbar = host_.Toolbar();
    LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, commandId, 0);
    RECT rect = {};
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(toolbar, WM_LBUTTONUP, 0, point);
}

bool DemoTour::VisitRecordDialog(HWND cleanDialog, int linkId, const WCHAR* caption,
                                 const WCHAR* picture) {
    PostClick(cleanDialog, linkId, STN_CLICKED);
    HWND records = WaitForDialog(caption, DialogWaitMs);
    if (!Step(records != nullptr, "a record dialog did not open")) return false;
    if (!Step(WaitForRows(GetDlgItem(records, IDC_RECORD_LIST), DialogWaitMs),
              "a record dialog listed no records"))
        return false;
    if (!Picture(records, picture)) return false;
    PostMessageW(records, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return Step(WaitForWindowGone(records, DialogWaitMs), "a record dialog did not close");
}

void DemoTour::Walk() {
    HWND frame = host_.Frame();
    if (!Picture(frame, L"main-window.bmp")) return;

    ClickToolbarButton(ReferenceHost::ClearCommandId);
    HWND clean = WaitForDialog(CleanCaption, DialogWaitMs);
    if (!Step(clean != nullptr, "pressing Clear opened no clean dialog")) return;

    if (!VisitRecordDialog(clean, IDC_LINK_ADDRESS_BAR, AddressRecordsCaption,
                           L"record-dialog-address-bar.bmp"))
        return;
    if (!VisitRecordDialog(clean, IDC_LINK_SEARCH_RECORDS, SearchRecordsCaption,
                           L"record-dialog-search.bmp"))
        return;

    PressButton(clean, IDC_SELECT_ALL);
    if (!Picture(clean, L"clean-dialog.bmp")) return;

    PostClick(clean, IDC_CLEAN_NOW, BN_CLICKED);
    HWND progress = WaitForDialog(ProgressCaption, DialogWaitMs);
    if (!Step(progress != nullptr, "cleaning showed no progress dialog")) return;
    // The clean takes a moment per category; the picture is taken while it runs.
    if (!folder_.empty()) {
        Sleep(PaintWaitMs / 2);
        SaveWindowPicture(progress, (folder_ + L"\\progress-dialog.bmp").c_str());
    }
    if (!Step(WaitForWindowGone(progress, CleanWaitMs), "the clean did not finish")) return;

    after_ = CountTraces(host_, history_);
    PostMessageW(clean, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Step(WaitForWindowGone(clean, DialogWaitMs), "the clean dialog did not close");
}
