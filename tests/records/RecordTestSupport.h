// What the record dialog suites share: a browser frame with an address bar, a host site that
// hands out that browser, a toolbar with the search box, the typed-URL store and a default
// shortcut icon of a known colour; and the user's moves inside the record dialog.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clean/CleanDialog.h"
#include "records/RecordDeleteDialog.h"
#include "testbed/BrowserFrame.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/ModalScript.h"
#include "testbed/SearchBoxComponent.h"
#include "testbed/ShortcutIconSetting.h"
#include "testbed/TestBrowser.h"
#include "testbed/TypedUrlSeed.h"
#include "testbed/DialogSteps.h"
#include "testbed/RecordDialogMoves.h"

constexpr int AddressLinkId = 1189;
constexpr int SearchLinkId = 1190;
constexpr int AddressBarBoxId = 1179;
constexpr int SearchRecordsBoxId = 1181;
constexpr int ListViewId = RecordDeleteDialog::ListViewId;
constexpr int SelectAllId = RecordDeleteDialog::SelectAllButtonId;
constexpr int InvertId = RecordDeleteDialog::InvertButtonId;
constexpr int DeleteButtonId = RecordDeleteDialog::DeleteButtonId;

extern const wchar_t CleanCaption[];
extern const wchar_t AddressRecordsCaption[];
extern const wchar_t SearchRecordsCaption[];

// The colour of the default shortcut icon the fixture installs.
constexpr COLORREF ShortcutIconColor = RGB(200, 30, 30);

class RecordDialogTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the clean dialog over the frame, clicks link linkId and runs inRecords inside the
    // record dialog it opens (which it must close, for example with CloseDialog); afterLink then
    // runs in the clean dialog once the record dialog has returned.
    void RunThroughLink(int linkId, std::function<void(HWND records)> inRecords,
                        std::function<void(HWND clean)> afterLink = {});
    // The same for the address-bar link.
    void RunAddressRecords(std::function<void(HWND records)> inRecords,
                           std::function<void(HWND clean)> afterLink = {}) {
        RunThroughLink(AddressLinkId, std::move(inRecords), std::move(afterLink));
    }
    // Gives the toolbar a search box holding records.
    void AddSearchBox(const std::vector<std::wstring>& records);

    BrowserFrame frame;
    ComPtr<TestBrowser> browser = TestBrowser::Make(frame.Window());
    ComPtr<HostSite> site = HostSite::Make();
    HostToolbar toolbar{300};
    std::unique_ptr<SearchBoxComponent> searchBox;
    std::unique_ptr<ShortcutIconSetting> shortcutIcon;
    std::wstring shortcutIconFile;
};

// Whether the store took url as deleted: gone from the typed-URL list before NT 6, listed
// under "DeletedUrls" from NT 6 on.
bool StoreDeleted(const std::wstring& url);
// The typed list and the deleted list together, to compare the store's state over time.
std::vector<std::wstring> StoreState();

RecordDeleteDialog* Records(HWND records);
std::vector<std::wstring> RowTexts(HWND records);
// A click on the row's delete link, as wide as this process's dialog measured it.
POINT DeleteLinkPoint(HWND records, int row);
void ClickDeleteLink(HWND records, int row);
bool ButtonEnabled(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
void CloseDialog(HWND dialog);

std::string Describe(const std::vector<std::wstring>& texts);
std::string Describe(const RECT& rect);
