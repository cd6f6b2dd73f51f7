#include "clean/CleanDialog.h"

#include <commctrl.h>

#include "clean/CleanSettings.h"
#include "clean/UsagePing.h"
#include "cleaners/AddressBars.h"
#include "cleaners/SearchBox.h"
#include "cleaners/TypedUrlStore.h"
#include "host/Module.h"
#include "records/RecordDeleteDialog.h"

namespace {

const int CloseButtonId = 2;
const int CleanNowButtonId = 1145;
const int IntroTextId = 1192;
const int AddressLinkId = 1189;
const int SearchLinkId = 1190;
const int AddressBarBoxId = 1179;
const int SearchRecordsBoxId = 1181;
const int SelectAllButtonId = 1199;
const int InvertButtonId = 1200;
const int DefaultButtonId = 1201;
const int ClearIconId = 112;

const COLORREF LinkColor = RGB(8, 51, 189);

} // namespace

const int LinkIds[] = {AddressLinkId, SearchLinkId};

CleanDialog::CleanDialog()
    : DialogBase(TemplateId), LinkLabelOwner(LinkOwnerProp, LinkProcProp) {}

CleanDialog::~CleanDialog() { WaitForWorker(); }

HRESULT CleanDialog::ShowOverBrowser(IButtonSite* site) {
    if (!site) return S_OK;
    site_ = site;
    HRESULT hr = site->QueryInterface(IID_IWebBrowser2, browser_.PutVoid());
    if (FAILED(hr)) {
        browser_.Reset();
        if (hr != E_NOINTERFACE) {
            site->Release();
            return hr;
        }
    }
    if (browser_) {
        SHANDLE_PTR handle = 0;
        if (SUCCEEDED(browser_->get_HWND(&handle))) browserWindow_ = reinterpret_cast<HWND>(handle);
    }
    site->Release();
    DoModal(ModuleInstance(), browserWindow_);
    return S_OK;
}

BOOL CleanDialog::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result) {
    static const MessageMapEntry<CleanDialog> messageMap[] = {
        {WM_INITDIALOG, &CleanDialog::OnInitDialog},
        {WM_COMMAND, &CleanDialog::OnCommand},
        {WM_CTLCOLORSTATIC, &CleanDialog::OnCtlColorStatic},
        {WM_PAINT, &CleanDialog::OnPaint},
        {WM_DESTROY, &CleanDialog::OnDestroy},
        {WM_CLEAN_CANCEL, &CleanDialog::OnCleanCancel},
    };
    return RouteMessage(messageMap, window, message, wParam, lParam, result);
}

LRESULT CleanDialog::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    CenterWindow(nullptr);
    if (IsZoomed(GetParent(window))) {
        RECT rect;
        GetWindowRect(window, &rect);
        SetWindowPos(window, nullptr, rect.left, rect.top - 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    AttachLinkLabels(window, LinkIds, 2);
    LoadSelection(window);
    UpdateAddressLink();
    UpdateSearchLink();
    UpdateCleanNowButton();
    return 0; // the system does not set the default focus
}

// The address-bar link stays when the browser's address bar or the typed-URL store has
// records to offer.
void CleanDialog::UpdateAddressLink() {
    HWND addressBar = FindAddressBar(browserWindow_);
    bool hasRecords = false;
    if (addressBar) {
        if (SendMessageW(addressBar, CB_GETCOUNT, 0, 0) > 0) {
            hasRecords = true;
        } else {
            UrlList typed;
            TypedUrlStore::Instance().LoadTypedUrls(&typed);
            hasRecords = typed.Count() > 0;
        }
    }
    if (!hasRecords) HideLink(AddressLinkId);
}

void CleanDialog::HideLink(int linkId) {
    ShowWindow(GetDlgItem(window, linkId), SW_HIDE);
}

void CleanDialog::UpdateSearchLink() {
    SearchRecordList records = {};
    bool hasRecords = false;
    if (InitSearchRecordList(&records)) {
        hasRecords = GetSearchRecords(site_.Get(), &records) && records.count > 0;
        FreeSearchRecordList(&records);
    }
    if (!hasRecords) HideLink(SearchLinkId);
}

LRESULT CleanDialog::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    handled = FALSE; // the default handling ends the dialog for "关闭"
    if (HIWORD(wParam) != 0) return 0;

    switch (LOWORD(wParam)) {
    case CleanNowButtonId: StartClean(); break;
    case AddressLinkId: {
        addressLinkUsed_ = TRUE;
        RecordDeleteDialog records;
        RecordOwner owner = AsRecordOwner();
        if (records.ShowForOwner(&owner, AddressBarRecords) == 0) {
            HideLink(AddressLinkId);
            ClearAddressBars(nullptr);
        }
        CheckDlgButton(window, AddressBarBoxId, 0);
        break;
    }
    case SearchLinkId: {
        searchLinkUsed_ = TRUE;
        RecordDeleteDialog records;
        RecordOwner owner = AsRecordOwner();
        if (records.ShowForOwner(&owner, SearchRecords) == 0) HideLink(SearchLinkId);
        CheckDlgButton(window, SearchRecordsBoxId, 0);
        break;
    }
    case AutoCleanCheckBoxId: {
        UINT state = IsDlgButtonChecked(window, AutoCleanCheckBoxId);
        if (state == BST_CHECKED) SetAutoClean(1);
        else if (state == BST_UNCHECKED) SetAutoClean(0);
        break;
    }
    case SelectAllButtonId: CheckAllCategories(); break;
    case InvertButtonId: InvertCategories(); break;
    case DefaultButtonId: CheckDefaultCategories(); break;
    default: break;
    }
    UpdateCleanNowButton();
    return 0;
}

void CleanDialog::CheckAllCategories() {
    for (const CleanCategory& category : CategoryTable)
        CheckDlgButton(window, category.checkBoxId, 1);
}

void CleanDialog::InvertCategories() {
    for (const CleanCategory& category : CategoryTable) {
        bool checked = IsDlgButtonChecked(window, category.checkBoxId) == BST_CHECKED;
        CheckDlgButton(window, category.checkBoxId, checked ? 0 : 1);
    }
}

void CleanDialog::CheckDefaultCategories() {
    for (const CleanCategory& category : CategoryTable)
        CheckDlgButton(window, category.checkBoxId, (DefaultSelection & category.bit) ? 1 : 0);
}

void CleanDialog::UpdateCleanNowButton() {
    bool any = false;
    for (const CleanCategory& category : CategoryTable) {
        if (IsDlgButtonChecked(window, category.checkBoxId) == BST_CHECKED) {
            any = true;
            break;
        }
    }
    EnableWindow(GetDlgItem(window, CleanNowButtonId), any);
}

LRESULT CleanDialog::OnCtlColorStatic(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (id != AddressLinkId && id != SearchLinkId) {
        handled = FALSE;
        return 0;
    }
    LRESULT brush = DefWindowProcW(window, message, wParam, lParam);
    SetTextColor(reinterpret_cast<HDC>(wParam), LinkColor);
    return brush;
}

LRESULT CleanDialog::OnPaint(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    RECT intro;
    GetWindowRect(GetDlgItem(window, IntroTextId), &intro);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&intro), 2);

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    // Shared icon from the module's resources: not destroyed.
    if (HICON icon = LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(ClearIconId))) {
        if (HIMAGELIST images = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1)) {
            ImageList_ReplaceIcon(images, -1, icon);
            ImageList_Draw(images, 0, dc, intro.left - 44, intro.top - 10, ILD_NORMAL);
            ImageList_Destroy(images);
        }
    }
    EndPaint(window, &paint);
    return 0;
}

LRESULT CleanDialog::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    DetachLinkLabels(window, LinkIds, 2);
    SaveSelection(window);
    SendUsagePing(GetAutoClean(), addressLinkUsed_, searchLinkUsed_);
    return 0;
}

LRESULT CleanDialog::OnCleanCancel(UINT, WPARAM, LPARAM, BOOL&) {
    InterlockedExchange(&cancelRequested_, 1);
    return 0;
}
