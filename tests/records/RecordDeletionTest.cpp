// Ticking and deleting records in the record dialog as the user does it: keys, clicks in the list's
// tick zone and on the rows' delete links, the three buttons, and what reaches the address
// bars, the typed-URL store, the search box and the clean dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include "TestSupport.h"
#include "cleaners/TypedUrlStore.h"
#include "records/RecordTestSupport.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

using Texts = std::vector<std::wstring>;

std::vector<bool> Ticks(HWND records) {
    std::vector<bool> ticks;
    for (const Row& row : Rows(records))
        ticks.push_back(row.ticked);
    return ticks;
}

std::string DescribeTicks(const std::vector<bool>& ticks) {
    std::string text;
    for (bool tick : ticks)
        text += tick ? 'x' : '.';
    return text;
}

// Takes a snapshot of the typed-URL store each time an address bar is asked for one URL, that
// is each time the dialog takes one record off the address bars.
class StoreWatcher {
public:
    explicit StoreWatcher(HWND addressBar) : bar_(addressBar) {
        current_ = this;
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    ~StoreWatcher() {
        SetWindowLongPtrW(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        current_ = nullptr;
    }
    const std::vector<Texts>& Snapshots() const { return snapshots_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == CB_FINDSTRINGEXACT) current_->snapshots_.push_back(StoreState());
        return CallWindowProcW(current_->previous_, window, message, wParam, lParam);
    }

    static StoreWatcher* current_;
    HWND bar_;
    WNDPROC previous_ = nullptr;
    std::vector<Texts> snapshots_;
};

StoreWatcher* StoreWatcher::current_ = nullptr;

const WCHAR Nt6DeletedUrlsKey[] = L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar\\DeletedUrls";

// A URL of exactly units UTF-16 units that starts with start.
std::wstring UrlOfLength(const std::wstring& start, size_t units) {
    return start + std::wstring(units - start.size(), L'a');
}

Texts RowUrls(HWND records) {
    Texts urls;
    for (const Row& row : Rows(records))
        urls.push_back(row.url);
    return urls;
}

int RowOfUrl(HWND records, const std::wstring& url) {
    Texts urls = RowUrls(records);
    for (size_t i = 0; i < urls.size(); i++)
        if (urls[i] == url) return static_cast<int>(i);
    return -1;
}

// Names with the type, size and start of each value, for failure messages.
std::string DescribeValues(const StoredValues& values) {
    std::string text;
    for (const auto& [name, value] : values) {
        std::wstring start(reinterpret_cast<const WCHAR*>(value.bytes.data()),
                           std::min<size_t>(value.bytes.size() / sizeof(WCHAR), 24));
        text += " " + Narrow(name) + "=(type " + std::to_string(value.type) + ", " +
                std::to_string(value.bytes.size()) + " bytes, \"" + Narrow(start.c_str()) + "\")";
    }
    return text;
}

void SetStringValue(const WCHAR* path, const WCHAR* name, const std::wstring& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    StoredValue value = StringValue(text);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ, value.bytes.data(),
                                            static_cast<DWORD>(value.bytes.size())));
    RegCloseKey(key);
}

class RecordDeletionTest : public RecordDialogTest {
protected:
    const Texts threeUrls = {L"http://a.example/", L"http://b.example/", L"http://c.example/"};
};

TEST_F(RecordDeletionTest, ClicksLeftOfSixteenPixelsToggleTheRow) {
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        RECT row1 = RowBounds(records, 1);
        int middle = (row1.top + row1.bottom) / 2;
        ClickList(records, POINT{15, middle});
        EXPECT_EQ(".x.", DescribeTicks(Ticks(records)));
        ClickList(records, POINT{16, middle});
        EXPECT_EQ(".x.", DescribeTicks(Ticks(records))) << "x = 16 is outside the tick zone";
        ClickList(records, POINT{2, middle}); // the list view's rows start 2 pixels in
        EXPECT_EQ("...", DescribeTicks(Ticks(records)));
        // A double click reports its second click as NM_DBLCLK, which toggles once more.
        ClickList(records, POINT{5, middle}, NM_CLICK);
        ClickList(records, POINT{5, middle}, NM_DBLCLK);
        EXPECT_EQ("...", DescribeTicks(Ticks(records)));
        ClickList(records, POINT{5, middle}, NM_DBLCLK);
        EXPECT_EQ(".x.", DescribeTicks(Ticks(records)));
        // Below the last row there is no row to toggle.
        RECT last = RowBounds(records, 2);
        ClickList(records, POINT{5, last.bottom + 20});
        EXPECT_EQ(".x.", DescribeTicks(Ticks(records)));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, DeleteLinkTakesClicksStrictlyInsideItsBounds) {
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        HWND list = ListOf(records);
        RECT r = RowBounds(records, 1);
        int left = r.right - 35;
        int right = left + DeleteLinkWidth;
        ASSERT_GT(DeleteLinkWidth, 1) << "the measured link width";
        int middle = (r.top + r.bottom) / 2;
        auto on = [&](int x, int y) {
            return RecordListView::HitTestDeleteLink(list, POINT{x, y}) != FALSE;
        };
        EXPECT_FALSE(on(left, r.top + 3));
        EXPECT_FALSE(on(left + 1, r.top + 2));
        EXPECT_TRUE(on(left + 1, r.top + 3));
        EXPECT_TRUE(on(right - 1, r.bottom - 6));
        EXPECT_FALSE(on(right, middle));
        EXPECT_FALSE(on(right - 1, r.bottom - 5));
        EXPECT_FALSE(on(left + 1, r.bottom + 200)) << "no row there";

        // Clicks on the edges delete nothing; one pixel inside both deletes that row only.
        ClickList(records, POINT{left, r.top + 3});
        ClickList(records, POINT{left + 1, r.top + 2});
        EXPECT_EQ(threeUrls, RowTexts(records)) << Describe(RowTexts(records));
        ClickList(records, POINT{left + 1, r.top + 3});
        EXPECT_EQ((Texts{L"http://a.example/", L"http://c.example/"}), RowTexts(records))
            << Describe(RowTexts(records));
        EXPECT_TRUE(StoreDeleted(L"http://b.example/"));
        EXPECT_FALSE(StoreDeleted(L"http://a.example/"));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, MouseOverTheDeleteLinkShowsTheHandCursor) {
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        HWND list = ListOf(records);
        RECT r = RowBounds(records, 0);
        int middle = (r.top + r.bottom) / 2;
        ASSERT_GT(DeleteLinkWidth, 1) << "the measured link width";
        HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
        HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
        POINT link = DeleteLinkPoint(records, 0);
        SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(link.x, link.y));
        EXPECT_EQ(hand, GetCursor());
        EXPECT_EQ(TRUE, SendMessageW(list, WM_SETCURSOR, reinterpret_cast<WPARAM>(list),
                                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
        EXPECT_EQ(hand, GetCursor()) << "WM_SETCURSOR keeps the chosen cursor";
        SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(40, middle));
        EXPECT_EQ(arrow, GetCursor());
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, DeleteButtonFollowsTicksUnticksAndDeletions) {
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId)) << "every row starts unticked";
        ClickTick(records, 0);
        EXPECT_TRUE(ButtonEnabled(records, DeleteButtonId));
        ClickTick(records, 2);
        ClickTick(records, 0);
        EXPECT_TRUE(ButtonEnabled(records, DeleteButtonId)) << "row 2 is still ticked";
        ClickTick(records, 2);
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        ClickTick(records, 1);
        ClickDeleteLink(records, 1); // the only ticked row goes
        EXPECT_EQ(2, RowCount(records));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        ClickTick(records, 1);
        ClickDeleteLink(records, 0); // an unticked row goes, a ticked one stays
        EXPECT_TRUE(ButtonEnabled(records, DeleteButtonId));
        ClickDeleteLink(records, 0);
        EXPECT_EQ(0, RowCount(records));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, SelectAllTicksEveryRowAndInvertTwiceRestoresTheTicks) {
    SeedTypedUrls(
        {L"http://a.example/", L"http://b.example/", L"http://c.example/", L"http://d.example/"});
    RunAddressRecords([&](HWND records) {
        ClickTick(records, 1);
        ClickTick(records, 2);
        ClickControl(records, InvertId);
        EXPECT_EQ("x..x", DescribeTicks(Ticks(records)));
        EXPECT_TRUE(ButtonEnabled(records, DeleteButtonId));
        ClickControl(records, InvertId);
        EXPECT_EQ(".xx.", DescribeTicks(Ticks(records)));
        ClickControl(records, SelectAllId);
        EXPECT_EQ("xxxx", DescribeTicks(Ticks(records)));
        ClickControl(records, InvertId);
        EXPECT_EQ("....", DescribeTicks(Ticks(records)));
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        // Other notification codes than a click do nothing.
        SendMessageW(records, WM_COMMAND, MAKEWPARAM(SelectAllId, BN_SETFOCUS), 0);
        EXPECT_EQ("....", DescribeTicks(Ticks(records)));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, BatchDeletionWritesTheStoreOnceAndResetsTheBarWhenItEmptiesTheList) {
    SeedTypedUrls(threeUrls);
    BrowserFrame otherFrame;
    otherFrame.AddEntries({L"http://a.example/", L"http://b.example/", L"http://c.example/",
                           L"http://kept.example/"});
    RunAddressRecords([&](HWND records) {
        ClickTick(records, 0);
        ClickTick(records, 2);
        Texts before = StoreState();
        {
            StoreWatcher watcher(otherFrame.AddressBar());
            ClickControl(records, DeleteButtonId);
            // Each record leaves the address bars during the walk, the store only after it.
            ASSERT_EQ(2u, watcher.Snapshots().size());
            EXPECT_EQ(before, watcher.Snapshots()[0]) << Describe(watcher.Snapshots()[0]);
            EXPECT_EQ(before, watcher.Snapshots()[1]) << Describe(watcher.Snapshots()[1]);
        }
        EXPECT_EQ((Texts{L"http://b.example/"}), RowTexts(records));
        EXPECT_TRUE(StoreDeleted(L"http://a.example/"));
        EXPECT_TRUE(StoreDeleted(L"http://c.example/"));
        EXPECT_FALSE(StoreDeleted(L"http://b.example/"));
        EXPECT_EQ((Texts{L"http://b.example/", L"http://kept.example/"}), otherFrame.Entries())
            << Describe(otherFrame.Entries());
        EXPECT_TRUE(frame.Resets().empty()) << "rows are left";
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));

        ClickControl(records, SelectAllId);
        ClickControl(records, DeleteButtonId);
        EXPECT_EQ(0, RowCount(records));
        EXPECT_EQ((std::vector<WPARAM>{1, 0}), frame.Resets());
        EXPECT_TRUE(otherFrame.Resets().empty()) << "only the owner's address bar is reset";
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, DeletingEveryRowByItsLinkNeverResetsTheAddressBar) {
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        while (RowCount(records) > 0) {
            int before = RowCount(records);
            ClickDeleteLink(records, 0);
            ASSERT_EQ(before - 1, RowCount(records));
        }
        EXPECT_TRUE(frame.Resets().empty());
        for (const std::wstring& url : threeUrls)
            EXPECT_TRUE(StoreDeleted(url)) << Narrow(url);
        EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, AddressRowIsDeletedByItsUrlWhileItShowsThePageTitle) {
    UrlHistoryStandIn history;
    ASSERT_TRUE(history.IsReady());
    history.SetTitle(L"http://b.example/", L"Page B");
    frame.AddEntries(threeUrls);
    BrowserFrame otherFrame;
    otherFrame.AddEntries({L"http://b.example/", L"Page B"});
    SeedTypedUrls(threeUrls);
    RunAddressRecords([&](HWND records) {
        ASSERT_EQ(L"Page B", Rows(records)[1].text);
        ClickDeleteLink(records, 1);
        EXPECT_EQ((Texts{L"http://a.example/", L"http://c.example/"}), RowTexts(records));
        EXPECT_EQ((Texts{L"Page B"}), otherFrame.Entries()) << Describe(otherFrame.Entries());
        EXPECT_EQ((Texts{L"http://a.example/", L"http://c.example/"}), frame.Entries())
            << Describe(frame.Entries());
        EXPECT_TRUE(StoreDeleted(L"http://b.example/"));
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, SearchRowIsDeletedByItsDisplayedText) {
    std::wstring longest(259, L'q'); // as long as the host's record can be
    AddSearchBox({L"alpha", L"beta", longest});
    RunThroughLink(SearchLinkId, [&](HWND records) {
        ClickDeleteLink(records, 2);
        ClickDeleteLink(records, 0);
        EXPECT_EQ((Texts{L"beta"}), RowTexts(records));
        EXPECT_EQ((Texts{L"beta"}), searchBox->Records()) << Describe(searchBox->Records());
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, SearchBatchDeletionDeletesEveryTickedTextFromTheLast) {
    AddSearchBox({L"alpha", L"beta", L"gamma"});
    RunThroughLink(SearchLinkId, [&](HWND records) {
        ClickTick(records, 0);
        ClickTick(records, 2);
        size_t first = searchBox->Commands().size();
        ClickControl(records, DeleteButtonId);
        EXPECT_EQ((Texts{L"beta"}), RowTexts(records));
        const std::vector<SearchCommand>& commands = searchBox->Commands();
        ASSERT_EQ(first + 2, commands.size());
        EXPECT_EQ(L"gamma", commands[first].text);
        EXPECT_EQ(L"alpha", commands[first + 1].text);
        EXPECT_EQ((Texts{L"beta"}), searchBox->Records());
        EXPECT_TRUE(frame.Resets().empty()) << "search deletions leave the address bar alone";
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, ColumnWidensByTheScrollBarOnceWhenTheBarGoes) {
    Texts urls;
    for (int i = 0; i < 20; i++)
        urls.push_back(L"http://site" + std::to_wstring(i) + L".example/");
    frame.AddEntries(urls);
    RunAddressRecords([&](HWND records) {
        HWND list = ListOf(records);
        ASSERT_TRUE(RecordListView::IsVerticalScrollBarVisible(list))
            << "20 rows need the scroll bar";
        auto width = [&] { return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0)); };
        int initial = width();
        int widenings = 0;
        int last = width();
        while (RowCount(records) > 0) {
            bool barBefore = RecordListView::IsVerticalScrollBarVisible(list);
            ClickDeleteLink(records, 0);
            bool barAfter = RecordListView::IsVerticalScrollBarVisible(list);
            if (width() != last) {
                widenings++;
                EXPECT_EQ(last + 18, width());
                EXPECT_TRUE(barBefore && !barAfter) << "widened while the bar stayed";
            }
            last = width();
        }
        EXPECT_EQ(1, widenings);
        // Back to the width of the client area the column was made for, before any row.
        RECT client = {};
        GetClientRect(list, &client);
        EXPECT_EQ(initial + 18, last);
        EXPECT_EQ(client.right, last);
        CloseDialog(records);
    });
}

TEST_F(RecordDeletionTest, ClosingWithRowsLeftKeepsTheLinkAndUnchecksTheBox) {
    SeedTypedUrls(threeUrls);
    BrowserFrame otherFrame;
    otherFrame.AddEntries({L"http://elsewhere.example/"});
    RunAddressRecords(
        [&](HWND records) {
            ClickDeleteLink(records, 0);
            CloseDialog(records);
        },
        [&](HWND clean) {
            EXPECT_TRUE(ControlVisible(clean, AddressLinkId));
            EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(clean, AddressBarBoxId));
            EXPECT_TRUE(DialogObject<CleanDialog>(clean)->AddressLinkUsed());
            EXPECT_FALSE(DialogObject<CleanDialog>(clean)->SearchLinkUsed());
            EXPECT_EQ(1u, otherFrame.Entries().size()) << "address bars are kept";
        });
}

TEST_F(RecordDeletionTest, DeletingEveryAddressRecordHidesTheLinkAndEmptiesTheAddressBars) {
    SeedTypedUrls({L"http://only.example/"});
    BrowserFrame otherFrame;
    otherFrame.AddEntries({L"http://elsewhere.example/"});
    RunAddressRecords(
        [&](HWND records) {
            ClickDeleteLink(records, 0);
            CloseDialog(records);
        },
        [&](HWND clean) {
            EXPECT_FALSE(ControlVisible(clean, AddressLinkId));
            EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(clean, AddressBarBoxId));
            EXPECT_TRUE(otherFrame.Entries().empty()) << Describe(otherFrame.Entries());
        });
}

TEST_F(RecordDeletionTest, DeletingEverySearchRecordHidesTheSearchLink) {
    AddSearchBox({L"alpha", L"beta"});
    RunThroughLink(
        SearchLinkId,
        [&](HWND records) {
            ClickControl(records, SelectAllId);
            ClickControl(records, DeleteButtonId);
            CloseDialog(records);
        },
        [&](HWND clean) {
            EXPECT_FALSE(ControlVisible(clean, SearchLinkId));
            EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(clean, SearchRecordsBoxId));
            EXPECT_TRUE(DialogObject<CleanDialog>(clean)->SearchLinkUsed());
        });
}

// What deleting one record leaves of the user's data, each case as a user meets it: through
// the clean dialog's link, the record dialog and its delete link, on the real registry and a
// real address bar.

// Typed URLs of the browser's maximum length, 2083 units, and of 2082 are listed like any
// other, and deleting another record keeps them. A value too long for a record keeps its name
// and its bytes; before NT 6 the records read close up around it.
TEST_F(RecordDeletionTest, TypedUrlsOfTheBrowsersMaximumLengthAndLongerValuesAreKept) {
    const std::wstring first = L"http://first.example/";
    const std::wstring longest = UrlOfLength(L"http://longest.example/", 2083);
    const std::wstring other = L"http://other.example/";
    const std::wstring nearly = UrlOfLength(L"http://nearly.example/", 2082);
    const std::wstring tooLong = UrlOfLength(L"http://toolong.example/", 5000);
    SeedTypedUrls({first, longest, other, nearly, tooLong});
    StoredValues before = ReadStoredValues(TypedUrlsKey);
    ASSERT_EQ(5u, before.size());
    RunAddressRecords([&](HWND records) {
        EXPECT_EQ((Texts{first, longest, other, nearly}), RowUrls(records));
        ClickDeleteLink(records, RowOfUrl(records, first));
        EXPECT_EQ((Texts{longest, other, nearly}), RowUrls(records));
        CloseDialog(records);
    });
    StoredValues expected = before;
    if (TypedUrlStore::Instance().IsNewSystem()) {
        EXPECT_EQ((Texts{first}), DeletedUrls()) << Describe(DeletedUrls());
    } else {
        expected = {{L"url1", StringValue(longest)},
                    {L"url2", StringValue(other)},
                    {L"url3", StringValue(nearly)},
                    {L"url5", before[L"url5"]}};
    }
    StoredValues after = ReadStoredValues(TypedUrlsKey);
    EXPECT_TRUE(expected == after) << "left:" << DescribeValues(after);
}

// From NT 6 on, earlier deletions stay in "DeletedUrls": one of 2083 units and the one
// after it; and, behind a value whose name is longer than 11 units (skipped, and left as it
// is), the value "3".
TEST_F(RecordDeletionTest, EarlierDeletionsStayWhenOneCannotBeRead) {
    if (!TypedUrlStore::Instance().IsNewSystem())
        GTEST_SKIP() << "deletions rewrite the typed-URL list here";
    const std::wstring longest = UrlOfLength(L"http://longest.example/", 2083);
    const std::wstring a = L"http://a.example/", b = L"http://b.example/";
    const std::wstring c = L"http://c.example/", d = L"http://d.example/";
    const std::wstring e = L"http://e.example/";

    SeedTypedUrls({a, longest, b, c});
    SetStringValue(Nt6DeletedUrlsKey, L"1", longest);
    SetStringValue(Nt6DeletedUrlsKey, L"2", b);
    RunAddressRecords([&](HWND records) {
        ClickDeleteLink(records, RowOfUrl(records, c));
        CloseDialog(records);
    });
    StoredValues expected = {
        {L"1", StringValue(longest)}, {L"2", StringValue(b)}, {L"3", StringValue(c)}};
    StoredValues after = ReadStoredValues(Nt6DeletedUrlsKey);
    EXPECT_TRUE(expected == after) << "left:" << DescribeValues(after);

    DeleteTypedUrls();
    SHDeleteKeyW(HKEY_CURRENT_USER, Nt6DeletedUrlsKey);
    SeedTypedUrls({a, b, c, d, e});
    SetStringValue(Nt6DeletedUrlsKey, L"1", a);
    SetStringValue(Nt6DeletedUrlsKey, L"2", b);
    SetStringValue(Nt6DeletedUrlsKey, L"DeletedEarlier", c); // 14 units
    SetStringValue(Nt6DeletedUrlsKey, L"3", d);
    RunAddressRecords([&](HWND records) {
        ClickDeleteLink(records, RowOfUrl(records, e));
        CloseDialog(records);
    });
    expected = {{L"1", StringValue(a)},
                {L"2", StringValue(b)},
                {L"3", StringValue(d)},
                {L"4", StringValue(e)},
                {L"DeletedEarlier", StringValue(c)}};
    after = ReadStoredValues(Nt6DeletedUrlsKey);
    EXPECT_TRUE(expected == after) << "left:" << DescribeValues(after);
}

// Two entries differing only in letter case are two records: the row's own goes.
TEST_F(RecordDeletionTest, AddressBarLosesTheEntryOfTheRowsLetterCaseOnly) {
    const Texts entries = {L"http://case.example/Page", L"http://case.example/page",
                           L"http://other.example/"};
    frame.AddEntries(entries);
    RunAddressRecords([&](HWND records) {
        ASSERT_EQ(entries, RowUrls(records));
        ClickDeleteLink(records, 1);
        EXPECT_EQ((Texts{entries[0], entries[2]}), RowUrls(records));
        CloseDialog(records);
    });
    EXPECT_EQ((Texts{entries[0], entries[2]}), frame.Entries()) << Describe(frame.Entries());
}

// The row of a URL of 2083 units holds it whole, and deleting the row takes it off the
// address bar.
TEST_F(RecordDeletionTest, AddressBarEntryOfTheBrowsersMaximumLengthIsDeletedByItsRow) {
    const std::wstring other = L"http://other.example/";
    const std::wstring longest = UrlOfLength(L"http://longest.example/", 2083);
    frame.AddEntries({other, longest});
    RunAddressRecords([&](HWND records) {
        ASSERT_EQ((Texts{other, longest}), RowUrls(records));
        ClickDeleteLink(records, 1);
        EXPECT_EQ((Texts{other}), RowUrls(records));
        CloseDialog(records);
    });
    EXPECT_EQ((Texts{other}), frame.Entries()) << Describe(frame.Entries());
}

// An address-bar item one unit longer than a record, whose first 2083 units are a typed URL
// (the case the hostile-stores run met): cut to a record's length its text names that typed URL,
// so its row holds no URL, and its delete link takes only the row away. The typed URL stays.
TEST_F(RecordDeletionTest, AddressBarItemLongerThanARecordDeletesNoOtherRecord) {
    const std::wstring record = UrlOfLength(L"http://twin.example/", 2083);
    const std::wstring longer = record + L"z";
    const std::wstring other = L"http://other.example/";
    SeedTypedUrls({record, other});
    frame.AddEntries({other, longer});
    RunAddressRecords([&](HWND records) {
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(2u, rows.size());
        EXPECT_FALSE(rows[1].hasItem)
            << "its row holds a URL of " << rows[1].url.size() << " units";
        ClickDeleteLink(records, 1);
        EXPECT_EQ((Texts{other}), RowUrls(records));
        CloseDialog(records);
    });
    EXPECT_EQ(2, SendMessageW(frame.AddressBar(), CB_GETCOUNT, 0, 0)) << "entries left";
    EXPECT_EQ((Texts{record, other}), TypedUrls()) << Describe(TypedUrls());
    EXPECT_EQ(Texts{}, DeletedUrls()) << Describe(DeletedUrls());
}

int FocusedRow(HWND records) {
    return static_cast<int>(SendMessageW(ListOf(records), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         MAKELPARAM(LVNI_FOCUSED, 0)));
}

// The tick as accessibility reads it: the item's state image, 1 unticked, 2 ticked.
std::string DescribeStateImages(HWND records) {
    std::string text;
    for (int row = 0; row < RowCount(records); row++) {
        auto state = static_cast<UINT>(
            SendMessageW(ListOf(records), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
        text += std::to_string(state >> 12);
    }
    return text;
}

// Every move of both dialogs by keyboard alone: Tab to the link after its box, Enter opens the
// record dialog on its first row, arrows move, Space ticks, Ctrl+A ticks all, Delete deletes the
// focused row's record and the focus goes on with the next row, Escape closes.
TEST_F(RecordDeletionTest, EveryMoveWorksByKeyboardAlone) {
    SeedTypedUrls(threeUrls);
    AddSearchBox({L"alpha", L"beta"});
    bool addressShown = false;
    bool searchShown = false;
    WhenDialogShows(CleanCaption, [&](HWND clean) {
        SetFocus(GetDlgItem(clean, AddressBarBoxId));
        PressKey(clean, VK_TAB);
        EXPECT_EQ(GetDlgItem(clean, AddressLinkId), GetFocus()) << "Tab after the address box";
        WhenDialogShows(AddressRecordsCaption, [&](HWND records) {
            addressShown = true;
            HWND list = ListOf(records);
            EXPECT_EQ(list, GetFocus());
            EXPECT_EQ(0, FocusedRow(records));
            EXPECT_EQ(threeUrls, RowTexts(records)) << "untitled rows read as their URLs";
            PressKey(records, VK_DOWN);
            EXPECT_EQ(1, FocusedRow(records));
            PressKey(records, VK_SPACE);
            EXPECT_EQ(".x.", DescribeTicks(Ticks(records)));
            EXPECT_EQ("121", DescribeStateImages(records));
            EXPECT_TRUE(ButtonEnabled(records, DeleteButtonId));
            PressKey(records, VK_SPACE);
            EXPECT_EQ("...", DescribeTicks(Ticks(records)));
            EXPECT_FALSE(ButtonEnabled(records, DeleteButtonId));
            PressKey(records, 'A', true);
            EXPECT_EQ("xxx", DescribeTicks(Ticks(records)));
            EXPECT_EQ("222", DescribeStateImages(records));
            PressKey(records, VK_DELETE);
            EXPECT_EQ((Texts{L"http://a.example/", L"http://c.example/"}), RowTexts(records));
            EXPECT_TRUE(StoreDeleted(L"http://b.example/"));
            EXPECT_FALSE(StoreDeleted(L"http://a.example/"));
            EXPECT_EQ(1, FocusedRow(records)) << "the next row";
            PressKey(records, VK_END);
            PressKey(records, VK_DELETE);
            EXPECT_TRUE(StoreDeleted(L"http://c.example/"));
            EXPECT_EQ(0, FocusedRow(records)) << "the previous row, after the last";
            PressKey(records, VK_ESCAPE);
            EXPECT_FALSE(IsWindowVisible(records)) << "Escape did not end the dialog";
        });
        PressKey(clean, VK_RETURN);
        EXPECT_TRUE(addressShown) << "Enter on the address link";

        SetFocus(GetDlgItem(clean, SearchRecordsBoxId));
        PressKey(clean, VK_TAB);
        EXPECT_EQ(GetDlgItem(clean, SearchLinkId), GetFocus()) << "Tab after the search box";
        WhenDialogShows(SearchRecordsCaption, [&](HWND records) {
            searchShown = true;
            PressKey(records, VK_DELETE);
            EXPECT_EQ((Texts{L"beta"}), RowTexts(records));
            EXPECT_EQ((Texts{L"beta"}), searchBox->Records());
            PressKey(records, VK_ESCAPE);
        });
        PressKey(clean, VK_SPACE);
        EXPECT_TRUE(searchShown) << "Space on the search link";
        CancelDialogSteps();
        PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
    });
    CleanDialog dialog;
    site->AddRef(); // ShowOverBrowser releases the reference its caller added
    dialog.ShowOverBrowser(site.Get());
    CancelDialogSteps();
    EXPECT_TRUE(addressShown && searchShown);
}

} // namespace
