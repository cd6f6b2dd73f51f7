// The record dialog shown directly with ShowForOwner: its result, its empty states and what it
// gives back to the list view before the list view goes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "TestSupport.h"
#include "records/RecordTestSupport.h"
#include "testbed/AddressBarImages.h"
#include "testbed/LeakProbes.h"

namespace {

using RecordDeleteDialogTest = RecordDialogTest;

// Runs a record dialog of kind for owner from inside the (shown) clean dialog, with inRecords
// inside it, and returns what ShowForOwner returned.
int ShowFromCleanDialog(RecordKind kind, std::function<void(HWND records)> inRecords,
                        ComPtr<HostSite> site) {
    int result = -2;
    WhenDialogShows(CleanCaption, [&](HWND clean) {
        WhenDialogShows(kind == SearchRecords ? SearchRecordsCaption : AddressRecordsCaption,
                        [&](HWND records) {
                            inRecords(records);
                            if (IsWindow(records)) PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
                        });
        RecordDeleteDialog dialog;
        RecordOwner owner = DialogObject<CleanDialog>(clean)->AsRecordOwner();
        result = dialog.ShowForOwner(&owner, kind);
        CancelDialogSteps();
        PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
    });
    CleanDialog clean;
    site->AddRef();
    clean.ShowOverBrowser(site.Get());
    return result;
}

TEST_F(RecordDeleteDialogTest, WithoutOwnerNothingIsShownAndTheResultIsMinusOne) {
    int windows = CountThreadWindows();
    RecordDeleteDialog dialog;
    EXPECT_EQ(-1, dialog.ShowForOwner(nullptr, AddressBarRecords));
    EXPECT_EQ(windows, CountThreadWindows());
    EXPECT_EQ(0, dialog.Kind());
}

TEST_F(RecordDeleteDialogTest, AnOwnerWithoutAddressBarListsNothingAndReportsNoListKnown) {
    RecordOwner owner = {}; // no window, no browser, no host
    bool shown = false;
    WhenDialogShows(AddressRecordsCaption, [&](HWND records) {
        shown = true;
        EXPECT_EQ(nullptr, GetWindow(records, GW_OWNER));
        EXPECT_EQ(0, RowCount(records));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        ClickControl(records, SelectAllId);
        ClickControl(records, InvertId);
        ClickControl(records, DeleteButtonId);
        EXPECT_EQ(0, RowCount(records));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        CloseDialog(records);
    });
    // Not 0: the owner would take that for "every record deleted" and empty every address bar.
    RecordDeleteDialog dialog;
    EXPECT_EQ(-1, dialog.ShowForOwner(&owner, AddressBarRecords));
    EXPECT_TRUE(shown);
}

TEST_F(RecordDeleteDialogTest, SearchRecordsWithoutSearchBoxGiveAnEmptyList) {
    RecordOwner owner = {};
    WhenDialogShows(SearchRecordsCaption, [&](HWND records) {
        EXPECT_EQ(0, RowCount(records));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        CloseDialog(records);
    });
    RecordDeleteDialog dialog;
    EXPECT_EQ(0, dialog.ShowForOwner(&owner, SearchRecords));
    EXPECT_EQ(0, PendingDialogSteps()) << "the dialog did not open";
}

TEST_F(RecordDeleteDialogTest, AnUnknownKindShowsAnEmptyDialogWithTheTemplateCaption) {
    RecordOwner owner = {};
    WhenDialogShows(L"Dialog", [&](HWND records) {
        EXPECT_EQ(0, RowCount(records));
        CloseDialog(records);
    });
    RecordDeleteDialog dialog;
    EXPECT_EQ(0, dialog.ShowForOwner(&owner, static_cast<RecordKind>(7)));
    EXPECT_EQ(0, PendingDialogSteps()) << "the dialog did not open";
}

TEST_F(RecordDeleteDialogTest, ADialogThatCannotBeShownIsNotReportedAsEmptied) {
    RecordOwner owner = {};
    RecordDeleteDialog dialog;
    dialog.templateId = 9999; // no such template
    EXPECT_EQ(-1, dialog.ShowForOwner(&owner, AddressBarRecords));
}

TEST_F(RecordDeleteDialogTest, ReturnsTheRowsLeftWhenItCloses) {
    SeedTypedUrls({L"http://a.example/", L"http://b.example/", L"http://c.example/"});
    EXPECT_EQ(3, ShowFromCleanDialog(AddressBarRecords, CloseDialog, site));

    int left = ShowFromCleanDialog(
        AddressBarRecords,
        [](HWND records) {
            ClickDeleteLink(records, 1);
            CloseDialog(records);
        },
        site);
    EXPECT_EQ(2, left);

    AddSearchBox({L"alpha", L"beta"});
    left = ShowFromCleanDialog(
        SearchRecords,
        [](HWND records) {
            ClickControl(records, SelectAllId);
            ClickControl(records, DeleteButtonId);
            CloseDialog(records);
        },
        site);
    EXPECT_EQ(0, left);
}

TEST_F(RecordDeleteDialogTest, ClosesWithTheEnterKeyToo) {
    SeedTypedUrls({L"http://a.example/"});
    EXPECT_EQ(1, ShowFromCleanDialog(
                     AddressBarRecords,
                     [](HWND records) { SendMessageW(records, WM_COMMAND, IDOK, 0); }, site));
}

// What the list view holds at the moment it is destroyed.
struct ListViewAtDestroy {
    HWND list = nullptr;
    bool seen = false;
    HFONT font = nullptr;
    HIMAGELIST smallImages = nullptr;
};

ListViewAtDestroy* watched = nullptr;

LRESULT CALLBACK WatchListDestroy(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && watched && message->hwnd == watched->list &&
        message->message == WM_DESTROY) {
        watched->seen = true;
        watched->font = reinterpret_cast<HFONT>(SendMessageW(message->hwnd, WM_GETFONT, 0, 0));
        watched->smallImages = reinterpret_cast<HIMAGELIST>(
            SendMessageW(message->hwnd, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(RecordDeleteDialogTest, ListViewGetsItsFontBackAndNoImageListToDestroy) {
    AddressBarImages images(frame.AddressBar(), {RGB(1, 2, 200), RGB(200, 2, 1)});
    AddImageEntries(frame.AddressBar(), {{L"http://a.example/", 1}, {L"http://b.example/", 0}});
    ListViewAtDestroy atDestroy;
    HFONT dialogFont = nullptr;
    HFONT enlarged = nullptr;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchListDestroy, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    RunAddressRecords([&](HWND records) {
        atDestroy.list = ListOf(records);
        watched = &atDestroy;
        dialogFont = reinterpret_cast<HFONT>(SendMessageW(records, WM_GETFONT, 0, 0));
        enlarged = reinterpret_cast<HFONT>(SendMessageW(ListOf(records), WM_GETFONT, 0, 0));
        EXPECT_NE(nullptr, Records(records)->SiteIconList());
        EXPECT_EQ(records, GetParent(ListOf(records)));
        EXPECT_NE(nullptr, GetWindow(records, GW_OWNER));

        // Rows are twice as tall as the list's own font makes them.
        LOGFONTW normal = {};
        LOGFONTW large = {};
        ASSERT_NE(dialogFont, enlarged);
        GetObjectW(dialogFont, sizeof(normal), &normal);
        GetObjectW(enlarged, sizeof(large), &large);
        EXPECT_EQ(normal.lfHeight * 2, large.lfHeight);
        CloseDialog(records);
    });
    UnhookWindowsHookEx(hook);
    watched = nullptr;

    ASSERT_TRUE(atDestroy.seen);
    EXPECT_EQ(dialogFont, atDestroy.font) << "the list font is given back first";
    EXPECT_EQ(nullptr, atDestroy.smallImages) << "the dialog destroys the site icon list itself";
    EXPECT_EQ(0u, GetObjectType(enlarged)) << "the enlarged font is deleted";
}

} // namespace
