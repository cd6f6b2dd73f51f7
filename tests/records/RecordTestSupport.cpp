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

std::vector<std::wstring> RowTexts(HWND records) {
    std::vector<std::wstring> texts;
    for (const Row& row : Rows(records))
        texts.push_back(row.text);
    return texts;
}

POINT DeleteLinkPoint(HWND records, int row) {
    return DeleteLinkPoint(records, row, DeleteLinkWidth);
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
