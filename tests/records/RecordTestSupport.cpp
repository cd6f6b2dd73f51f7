#include "records/RecordTestSupport.h"

#include <shlwapi.h>
#include <algorithm>

#include "TestSupport.h"
#include "cleaners/TypedUrlStore.h"
#include "testbed/DialogSteps.h"
#include "testbed/SolidIcons.h"

const wchar_t CleanCaption[] = L"清理上网痕迹";
const wchar_t AddressRecordsCaption[] = L"删除地址栏记录";
const wchar_t SearchRecordsCaption[] = L"删除搜索记录";

namespace {

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

} // namespace

void RecordDialogTest::SetUp() {
    DeleteToolbarRegistryState();
    TurnUsagePingOff();
    DeleteTypedUrls();
    site->SetBrowser(browser.Get());
    site->SetToolbarWindow(toolbar.Window());
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    shortcutIconFile = std::wstring(folder) + L"VelaShortcutIcon.ico";
    ASSERT_TRUE(WriteSolidIconFile(shortcutIconFile, 16, ShortcutIconColor));
    shortcutIcon = std::make_unique<ShortcutIconSetting>((shortcutIconFile + L",0").c_str());
    ASSERT_TRUE(shortcutIcon->Applied());
}

void RecordDialogTest::TearDown() {
    CancelDialogSteps();
    searchBox.reset();
    shortcutIcon.reset();
    DeleteFileW(shortcutIconFile.c_str());
    DeleteTypedUrls();
    DeleteToolbarRegistryState();
}

void RecordDialogTest::AddSearchBox(const std::vector<std::wstring>& records) {
    searchBox = std::make_unique<SearchBoxComponent>(site.Get(), toolbar.Window(), records);
}

void RecordDialogTest::RunThroughLink(int linkId, std::function<void(HWND records)> inRecords,
                                      std::function<void(HWND clean)> afterLink) {
    const wchar_t* caption = linkId == AddressLinkId ? AddressRecordsCaption : SearchRecordsCaption;
    bool recordsShown = false;
    WhenDialogShows(CleanCaption, [&](HWND clean) {
        WhenDialogShows(caption, [&](HWND records) {
            recordsShown = true;
            inRecords(records);
            // A step that stopped at a failed assertion must not leave the dialog open.
            if (IsWindow(records)) PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
        });
        ClickControl(clean, linkId);
        CancelDialogSteps();
        if (afterLink) afterLink(clean);
        PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
    });
    CleanDialog dialog;
    site->AddRef(); // ShowOverBrowser releases the reference its caller added
    dialog.ShowOverBrowser(site.Get());
    CancelDialogSteps();
    EXPECT_TRUE(recordsShown) << "the record dialog did not open";
}

bool StoreDeleted(const std::wstring& url) {
    if (TypedUrlStore::Instance().IsNewSystem()) return Contains(DeletedUrls(), url);
    return !Contains(TypedUrls(), url);
}

std::vector<std::wstring> StoreState() {
    std::vector<std::wstring> state = TypedUrls();
    state.push_back(L"--");
    std::vector<std::wstring> deleted = DeletedUrls();
    state.insert(state.end(), deleted.begin(), deleted.end());
    return state;
}

RecordDeleteDialog* Records(HWND records) {
    return DialogObject<RecordDeleteDialog>(records);
}

HWND ListOf(HWND records) {
    return GetDlgItem(records, ListViewId);
}

int RowCount(HWND records) {
    return static_cast<int>(SendMessageW(ListOf(records), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<Row> Rows(HWND records) {
    std::vector<Row> rows;
    int count = RowCount(records);
    for (int i = 0; i < count; i++) {
        WCHAR text[2100] = {};
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = 2100;
        SendMessageW(ListOf(records), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        Row row;
        row.text = item.pszText ? item.pszText : text;
        row.image = item.iImage;
        if (auto* record = reinterpret_cast<RecordItem*>(item.lParam)) {
            row.hasItem = true;
            row.ticked = record->ticked != 0;
            row.url = record->url;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::wstring> RowTexts(HWND records) {
    std::vector<std::wstring> texts;
    for (const Row& row : Rows(records))
        texts.push_back(row.text);
    return texts;
}

RECT RowBounds(HWND records, int row) {
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(ListOf(records), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    return bounds;
}

void ClickList(HWND records, POINT point, UINT code) {
    HWND list = ListOf(records);
    LVHITTESTINFO hit = {};
    hit.pt = point;
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = ListViewId;
    click.hdr.code = code;
    // A click anywhere on a row reports it, as the list view's own click handling finds it.
    click.iItem =
        static_cast<int>(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    click.ptAction = point;
    SendMessageW(records, WM_NOTIFY, ListViewId, reinterpret_cast<LPARAM>(&click));
}

void ClickTick(HWND records, int row, UINT code) {
    RECT bounds = RowBounds(records, row);
    ClickList(records, POINT{8, (bounds.top + bounds.bottom) / 2}, code);
}

POINT DeleteLinkPoint(HWND records, int row) {
    RECT bounds = RowBounds(records, row);
    // The link takes clicks on DeleteLinkWidth - 1 pixels from one past its left edge; where
    // "删除" is measured in a font without its glyphs that may be very few.
    return POINT{bounds.right - 35 + (DeleteLinkWidth + 1) / 2, (bounds.top + bounds.bottom) / 2};
}

void ClickDeleteLink(HWND records, int row) {
    ClickList(records, DeleteLinkPoint(records, row));
}

bool ButtonEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool ControlVisible(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void CloseDialog(HWND dialog) {
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::string Describe(const std::vector<std::wstring>& texts) {
    std::string text = "{";
    for (const std::wstring& entry : texts)
        text += " \"" + Narrow(entry) + "\"";
    return text + " }";
}

std::string Describe(const RECT& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}
