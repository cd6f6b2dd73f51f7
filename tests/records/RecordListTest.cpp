// The rows the record dialog shows when the user opens it from the clean dialog's links: which
// records, in which order, with which text and which site icon.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "TestSupport.h"
#include "records/RecordTestSupport.h"
#include "testbed/AddressBarImages.h"
#include "testbed/DibCanvas.h"
#include "testbed/SiteIconCache.h"
#include "testbed/SolidIcons.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const COLORREF Blue = RGB(20, 40, 220);
const COLORREF Green = RGB(20, 180, 40);
const COLORREF Yellow = RGB(230, 220, 20);
const COLORREF Violet = RGB(140, 30, 160);

std::string DescribeImage(HWND records, int index) {
    return DescribeColor(ImageCenterColor(Records(records)->SiteIconList(), index));
}

using RecordListTest = RecordDialogTest;

TEST_F(RecordListTest, FilledAddressBarGivesItsItemsInOrderWithTheBoxImages) {
    AddressBarImages images(frame.AddressBar(), {Blue, Green, Yellow});
    AddImageEntries(
        frame.AddressBar(),
        {{L"http://one.example/", 2}, {L"http://two.example/", 0}, {L"http://three.example/", 1}});
    SeedTypedUrls({L"http://typed.example/"}); // not used: the box has items

    RunAddressRecords([&](HWND records) {
        RecordDeleteDialog* dialog = Records(records);
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(3u, rows.size()) << Describe(RowTexts(records));
        EXPECT_EQ(L"http://one.example/", rows[0].text);
        EXPECT_EQ(L"http://two.example/", rows[1].text);
        EXPECT_EQ(L"http://three.example/", rows[2].text);
        EXPECT_EQ(L"http://two.example/", rows[1].url);

        // The box's list copied, with the default icon appended after its images.
        ASSERT_NE(nullptr, dialog->SiteIconList());
        EXPECT_NE(images.List(), dialog->SiteIconList());
        EXPECT_EQ(3, ImageList_GetImageCount(images.List()));
        EXPECT_EQ(3, dialog->DefaultIconIndex());
        EXPECT_EQ(2, rows[0].image);
        EXPECT_EQ(dialog->DefaultIconIndex(), rows[1].image) << "image 0 is shown as the default";
        EXPECT_EQ(1, rows[2].image);
        EXPECT_EQ(Yellow, ImageCenterColor(dialog->SiteIconList(), 2)) << DescribeImage(records, 2);
        EXPECT_EQ(ShortcutIconColor, ImageCenterColor(dialog->SiteIconList(), 3))
            << DescribeImage(records, 3);
        auto listImages = reinterpret_cast<HIMAGELIST>(
            SendMessageW(ListOf(records), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        EXPECT_EQ(dialog->SiteIconList(), listImages);
        for (const Row& row : rows)
            EXPECT_FALSE(row.ticked);
        CloseDialog(records);
    });
}

TEST_F(RecordListTest, EmptyAddressBarGivesTheTypedUrlsWithCachedOrDefaultIcons) {
    AddressBarImages images(frame.AddressBar(), {Blue});
    SeedTypedUrls(
        {L"http://cached.example/page.html", L"http://plain.example/", L"http://other.example/x"});
    ASSERT_TRUE(SeedSiteIcon(L"http://cached.example/favicon.ico", Green));
    ASSERT_TRUE(SeedSiteIcon(L"http://other.example/favicon.ico", Violet));

    RunAddressRecords([&](HWND records) {
        RecordDeleteDialog* dialog = Records(records);
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(3u, rows.size()) << Describe(RowTexts(records));
        EXPECT_EQ(L"http://cached.example/page.html", rows[0].text);
        EXPECT_EQ(L"http://plain.example/", rows[1].text);
        EXPECT_EQ(L"http://other.example/x", rows[2].text);
        EXPECT_EQ(L"http://other.example/x", rows[2].url);

        EXPECT_EQ(1, dialog->DefaultIconIndex());
        EXPECT_EQ(dialog->DefaultIconIndex(), rows[1].image);
        EXPECT_EQ(Green, ImageCenterColor(dialog->SiteIconList(), rows[0].image))
            << DescribeImage(records, rows[0].image);
        EXPECT_EQ(Violet, ImageCenterColor(dialog->SiteIconList(), rows[2].image))
            << DescribeImage(records, rows[2].image);
        EXPECT_EQ(4, ImageList_GetImageCount(dialog->SiteIconList()))
            << "the box's image, the default icon and two site icons";
        CloseDialog(records);
    });
    RemoveSiteIcon(L"http://cached.example/favicon.ico");
    RemoveSiteIcon(L"http://other.example/favicon.ico");
}

TEST_F(RecordListTest, SiteIconsAreLookedUpUnderHttpsOnlyForHttpsUrls) {
    AddressBarImages images(frame.AddressBar(), {Blue});
    SeedTypedUrls({L"https://secure.example:8443/account/login?next=1",
                   L"ftp://files.example/pub/readme.txt", L"http://secure.example/"});
    // The https record must not take the http icon of its host, nor the ftp record one under
    // its own scheme.
    ASSERT_TRUE(SeedSiteIcon(L"https://secure.example/favicon.ico", Green));
    ASSERT_TRUE(SeedSiteIcon(L"http://secure.example/favicon.ico", Yellow));
    ASSERT_TRUE(SeedSiteIcon(L"http://files.example/favicon.ico", Violet));

    RunAddressRecords([&](HWND records) {
        RecordDeleteDialog* dialog = Records(records);
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(3u, rows.size()) << Describe(RowTexts(records));
        EXPECT_EQ(Green, ImageCenterColor(dialog->SiteIconList(), rows[0].image))
            << DescribeImage(records, rows[0].image);
        EXPECT_EQ(Violet, ImageCenterColor(dialog->SiteIconList(), rows[1].image))
            << DescribeImage(records, rows[1].image);
        EXPECT_EQ(Yellow, ImageCenterColor(dialog->SiteIconList(), rows[2].image))
            << DescribeImage(records, rows[2].image);
        CloseDialog(records);
    });
    RemoveSiteIcon(L"https://secure.example/favicon.ico");
    RemoveSiteIcon(L"http://secure.example/favicon.ico");
    RemoveSiteIcon(L"http://files.example/favicon.ico");
}

TEST_F(RecordListTest, RowsShowHistoryTitlesAndTheUrlWhereThereIsNoTitle) {
    UrlHistoryStandIn history;
    ASSERT_TRUE(history.IsReady());
    history.SetTitle(L"http://titled.example/", L"Titled page");
    history.SetTitle(L"http://empty.example/", L"");
    history.SetTitle(L"http://untitled.example/", nullptr);
    AddressBarImages images(frame.AddressBar(), {Blue});
    AddImageEntries(frame.AddressBar(), {{L"http://titled.example/", 0},
                                         {L"http://empty.example/", 0},
                                         {L"http://untitled.example/", 0},
                                         {L"http://unknown.example/", 0}});

    RunAddressRecords([&](HWND records) {
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(4u, rows.size()) << Describe(RowTexts(records));
        EXPECT_EQ(L"Titled page", rows[0].text);
        EXPECT_EQ(L"http://titled.example/", rows[0].url) << "the row keeps its URL";
        EXPECT_EQ(L"http://empty.example/", rows[1].text);
        EXPECT_EQ(L"http://untitled.example/", rows[2].text);
        EXPECT_EQ(L"http://unknown.example/", rows[3].text);
        CloseDialog(records);
    });
    EXPECT_EQ(0, history.LiveObjects()) << "every history object is released";
}

TEST_F(RecordListTest, TypedUrlRowsShowHistoryTitlesToo) {
    UrlHistoryStandIn history;
    ASSERT_TRUE(history.IsReady());
    history.SetTitle(L"http://b.example/", L"Page B");
    SeedTypedUrls({L"http://a.example/", L"http://b.example/"});

    RunAddressRecords([&](HWND records) {
        EXPECT_EQ((std::vector<std::wstring>{L"http://a.example/", L"Page B"}), RowTexts(records))
            << Describe(RowTexts(records));
        CloseDialog(records);
    });
}

TEST_F(RecordListTest, AddressBarWithoutImagesGivesRowsWithoutSiteIconList) {
    frame.AddEntries({L"http://one.example/", L"http://two.example/"});

    RunAddressRecords([&](HWND records) {
        EXPECT_EQ(2, RowCount(records));
        EXPECT_EQ(nullptr, Records(records)->SiteIconList());
        EXPECT_EQ(-1, Records(records)->DefaultIconIndex());
        EXPECT_EQ(0, SendMessageW(ListOf(records), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        CloseDialog(records);
    });
}

TEST_F(RecordListTest, WithoutDefaultShortcutIconRowsKeepTheirPlaceWithoutImage) {
    shortcutIcon.reset(); // the fixture's setting goes first, so the original value comes back
    shortcutIcon = std::make_unique<ShortcutIconSetting>(nullptr);
    ASSERT_TRUE(shortcutIcon->Applied());
    AddressBarImages images(frame.AddressBar(), {Blue, Green});
    AddImageEntries(frame.AddressBar(), {{L"http://one.example/", 1}, {L"http://two.example/", 0}});

    RunAddressRecords([&](HWND records) {
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(2u, rows.size());
        EXPECT_EQ(-1, Records(records)->DefaultIconIndex());
        EXPECT_EQ(2, ImageList_GetImageCount(Records(records)->SiteIconList()));
        EXPECT_EQ(1, rows[0].image);
        EXPECT_EQ(-1, rows[1].image);
        CloseDialog(records);
    });
}

TEST_F(RecordListTest, SearchRecordsAreListedInTheBoxOrderWithoutUrls) {
    AddSearchBox({L"first query", L"第二个", L"third"});

    RunThroughLink(SearchLinkId, [&](HWND records) {
        std::vector<Row> rows = Rows(records);
        ASSERT_EQ(3u, rows.size()) << Describe(RowTexts(records));
        EXPECT_EQ(L"first query", rows[0].text);
        EXPECT_EQ(L"第二个", rows[1].text);
        EXPECT_EQ(L"third", rows[2].text);
        for (const Row& row : rows) {
            EXPECT_TRUE(row.hasItem);
            EXPECT_EQ(L"", row.url);
        }
        CloseDialog(records);
    });
}

} // namespace
