// How a row of the record list is drawn: WM_DRAWITEM sent with a memory device context (a DIB
// section) and the pixels read back, with visual styles (Wine's light theme is on by default)
// and, in new processes, classic with the theme switched off and at 144 DPI.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "TestSupport.h"
#include "records/CheckImages.h"
#include "records/ChildProcessRun.h"
#include "records/RecordTestSupport.h"
#include "testbed/AddressBarImages.h"
#include "testbed/DibCanvas.h"
#include "testbed/OwnerDrawRow.h"

namespace {

const COLORREF SelectedColor = RGB(199, 228, 243);
const COLORREF SeparatorColor = RGB(127, 157, 185);
const COLORREF LinkColor = RGB(8, 51, 189);
const COLORREF SiteColor = RGB(230, 200, 20);
const COLORREF Sentinel = RGB(1, 2, 3);

const wchar_t ThemeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";

void DrawRow(HWND records, int row, UINT state, DibCanvas& canvas) {
    SetWindowLongPtrW(records, DWLP_MSGRESULT, 0);
    SendDrawRow(records, ListOf(records), ListViewId, row, state, canvas.Dc(),
                RECT{0, 0, canvas.Width(), canvas.Height()});
    EXPECT_EQ(TRUE, GetWindowLongPtrW(records, DWLP_MSGRESULT));
}

int CountOtherThan(const DibCanvas& canvas, COLORREF color, int left, int top, int right,
                   int bottom) {
    return (right - left) * (bottom - top) - canvas.CountColor(color, left, top, right, bottom);
}

// A length of the layout at 96 DPI, grown as the system's small icons are (24 pixels at 144).
int Scaled(int pixels) {
    return pixels * GetSystemMetrics(SM_CXSMICON) / 16;
}

// Checks one drawn row against the layout: background, check image at its offset, site icon
// (address-bar rows), text start and end, the "删除" link and the separator.
void CheckRow(HWND records, int row, bool selected, bool themed, bool addressRow) {
    SCOPED_TRACE("row " + std::to_string(row) + (selected ? " selected" : " not selected"));
    const int icon = Scaled(16);
    const int link = Scaled(35);
    RECT bounds = RowBounds(records, row);
    int w = bounds.right - bounds.left;
    int h = bounds.bottom - bounds.top;
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 16);
    DibCanvas canvas(w, h);
    ASSERT_TRUE(canvas.IsReady());
    canvas.Fill(Sentinel);
    DrawRow(records, row, selected ? ODS_SELECTED : 0, canvas);

    COLORREF background = selected ? SelectedColor : GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(background, canvas.Pixel(0, 0)) << DescribeColor(canvas.Pixel(0, 0));
    EXPECT_EQ(background, canvas.Pixel(w - 40, h - 2))
        << DescribeColor(canvas.Pixel(w - 40, h - 2));
    EXPECT_EQ(0, canvas.CountColor(Sentinel, 0, 0, w, h)) << "the whole row is painted";
    EXPECT_EQ(w, canvas.CountColor(SeparatorColor, 0, h - 1, w, h)) << "separator on the last line";
    EXPECT_EQ(0, canvas.CountColor(SeparatorColor, 0, 0, w, h - 1));

    // The check image, at (o, y) with visual styles and (o, y + 1) without.
    HIMAGELIST checks = Records(records)->CheckImageList();
    int size = 0;
    int height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(checks, &size, &height));
    EXPECT_EQ(Scaled(themed ? 16 : 14), size);
    int o = themed ? 1 : 2;
    int y = (h - size) / 2;
    bool ticked = Rows(records)[row].ticked;
    DibCanvas reference(size, size);
    reference.Fill(background);
    ImageList_Draw(checks, ticked ? CheckImageChecked : CheckImageUnchecked, reference.Dc(), 0, 0,
                   ILD_NORMAL);
    int checkTop = themed ? y : y + 1;
    EXPECT_TRUE(canvas.SameBlock(o, checkTop, reference, 0, 0, size))
        << "check image at (" << o << ", " << checkTop << ")";
    EXPECT_FALSE(canvas.SameBlock(o + 1, checkTop, reference, 0, 0, size));
    EXPECT_FALSE(canvas.SameBlock(o, checkTop + 1, reference, 0, 0, size));
    EXPECT_FALSE(canvas.SameBlock(o, checkTop - 1, reference, 0, 0, size));

    int textLeft = o + Scaled(18) + 5;
    if (addressRow) {
        // The site icon, as large as the system's small icons, at (o + 17, y) at 96 DPI.
        int iconLeft = o + Scaled(17);
        EXPECT_EQ(SiteColor, canvas.Pixel(iconLeft, y)) << DescribeColor(canvas.Pixel(iconLeft, y));
        EXPECT_EQ(SiteColor, canvas.Pixel(iconLeft + icon - 1, y + icon - 1));
        EXPECT_NE(SiteColor, canvas.Pixel(iconLeft + icon, y + icon / 2));
        EXPECT_NE(SiteColor, canvas.Pixel(iconLeft + icon / 2, y - 1));
        textLeft = o + link + 5;
        EXPECT_EQ(0, CountOtherThan(canvas, background, iconLeft + icon, 0, textLeft, h - 1));
    } else {
        EXPECT_EQ(0, CountOtherThan(canvas, background, o + size, 0, textLeft, h - 1));
    }
    // The text starts at its offset, ends before the link's margin and lies on the background.
    COLORREF textColor = GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GT(canvas.CountColor(textColor, textLeft, 0, textLeft + 12, h - 1), 0)
        << "text from x = " << textLeft;
    EXPECT_EQ(0, CountOtherThan(canvas, background, w - link - 10, 0, w - link, h - 1));
    if (selected) {
        EXPECT_EQ(0, canvas.CountColor(RGB(255, 255, 255), textLeft, 0, w - link - 10, h - 1))
            << "no text box of another colour";
    }

    // "删除" in the link colour in the last 35 pixels (at 96 DPI), and that colour nowhere else.
    EXPECT_GT(canvas.CountColor(LinkColor, w - link, 0, w, h - 1), 0);
    EXPECT_EQ(0, canvas.CountColor(LinkColor, 0, 0, w - link, h));
}

class RecordDrawingTest : public RecordDialogTest {
public:
    using RecordDialogTest::AddSearchBox;
    using RecordDialogTest::frame;
    using RecordDialogTest::RunAddressRecords;
    using RecordDialogTest::RunThroughLink;

protected:
    void SetUp() override {
        RecordDialogTest::SetUp();
        if (!IsThemeActiveSafe()) GTEST_SKIP() << "visual styles are off in this prefix";
    }
};

// Two address-bar rows (one ticked) and their drawings, selected and not.
void CheckAddressRows(RecordDrawingTest& test, bool themed) {
    AddressBarImages images(test.frame.AddressBar(), {RGB(0, 0, 255), SiteColor});
    AddImageEntries(test.frame.AddressBar(),
                    {{L"http://a.example/", 1}, {L"http://b.example/", 1}});
    test.RunAddressRecords([&](HWND records) {
        ClickTick(records, 1);
        for (int row = 0; row < 2; row++) {
            CheckRow(records, row, false, themed, true);
            CheckRow(records, row, true, themed, true);
        }
        CloseDialog(records);
    });
}

void CheckSearchRow(RecordDrawingTest& test, bool themed) {
    test.AddSearchBox({L"search words"});
    test.RunThroughLink(SearchLinkId, [&](HWND records) {
        CheckRow(records, 0, true, themed, false);
        CloseDialog(records);
    });
}

TEST_F(RecordDrawingTest, AddressRowsWithVisualStyles) {
    CheckAddressRows(*this, true);
}

TEST_F(RecordDrawingTest, SearchRowsWithVisualStyles) {
    CheckSearchRow(*this, true);
}

TEST_F(RecordDrawingTest, OtherOwnerDrawnControlsAreLeftToTheDefault) {
    SeedTypedUrls({L"http://a.example/"});
    RunAddressRecords([&](HWND records) {
        DibCanvas canvas(50, 20);
        canvas.Fill(Sentinel);
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_BUTTON;
        draw.CtlID = DeleteButtonId;
        draw.hwndItem = GetDlgItem(records, DeleteButtonId);
        draw.hDC = canvas.Dc();
        draw.rcItem = RECT{0, 0, 50, 20};
        SetWindowLongPtrW(records, DWLP_MSGRESULT, 0);
        SendMessageW(records, WM_DRAWITEM, DeleteButtonId, reinterpret_cast<LPARAM>(&draw));
        EXPECT_EQ(0, GetWindowLongPtrW(records, DWLP_MSGRESULT));
        EXPECT_EQ(50 * 20, canvas.CountColor(Sentinel, 0, 0, 50, 20));
        CloseDialog(records);
    });
}

// One value of the user's registry, set for the processes started while it lives and put back
// as it was afterwards.
class UserSetting {
public:
    UserSetting(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
        : path_(path), name_(name) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        DWORD previousSize = sizeof(previous_);
        had_ = RegQueryValueExW(key, name, nullptr, &previousType_, previous_, &previousSize) ==
               ERROR_SUCCESS;
        previousSize_ = previousSize;
        applied_ = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) ==
                   ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~UserSetting() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path_, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExW(key, name_, 0, previousType_, previous_, previousSize_);
        else
            RegDeleteValueW(key, name_);
        RegCloseKey(key);
    }
    bool Applied() const { return applied_; }

private:
    const wchar_t* path_;
    const wchar_t* name_;
    BYTE previous_[64] = {};
    DWORD previousType_ = 0;
    DWORD previousSize_ = 0;
    bool had_ = false;
    bool applied_ = false;
};

TEST(RecordClassicDrawing, RowsAreDrawnClassicWhenVisualStylesAreOff) {
    UserSetting classic(ThemeKey, L"ThemeActive", REG_SZ, L"0", 2 * sizeof(WCHAR));
    ASSERT_TRUE(classic.Applied());
    ChildRun run =
        RunOwnTestsInNewProcess("RecordClassicChild.*", {{ChildModeVariable, L"classic"}});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("[  PASSED  ] 3 tests.")) << run.output;
}

// These run only in the new process started above.
class RecordClassicChild : public RecordDrawingTest {
protected:
    void SetUp() override {
        if (ChildMode() != L"classic") GTEST_SKIP() << "runs in a process without visual styles";
        RecordDialogTest::SetUp();
    }
};

TEST_F(RecordClassicChild, DISABLED_AddressRows) {
    ASSERT_EQ(0, IsThemeActiveSafe());
    CheckAddressRows(*this, false);
}

TEST_F(RecordClassicChild, DISABLED_SearchRows) {
    CheckSearchRow(*this, false);
}

TEST_F(RecordClassicChild, DISABLED_CheckImagesAreClassicFrameControls) {
    HIMAGELIST list = CreateCheckImageList(frame.Window());
    ASSERT_NE(nullptr, list);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list, &width, &height);
    EXPECT_EQ(14, width);
    EXPECT_EQ(14, height);
    EXPECT_EQ(4, ImageList_GetImageCount(list));
    // Index 1 is the empty box, 2 the ticked one, 3 the ticked one greyed.
    const UINT states[] = {DFCS_BUTTONCHECK, DFCS_BUTTONCHECK, DFCS_BUTTONCHECK | DFCS_CHECKED,
                           DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE};
    for (int i = 0; i < 4; i++) {
        DibCanvas image(14, 14);
        image.Fill(Sentinel);
        ImageList_Draw(list, i, image.Dc(), 0, 0, ILD_NORMAL);
        DibCanvas expected(14, 14);
        RECT rect = {0, 0, 14, 14};
        DrawFrameControl(expected.Dc(), &rect, DFC_BUTTON, states[i]);
        EXPECT_TRUE(image.SameBlock(0, 0, expected, 0, 0, 14)) << "image " << i;
    }
    ImageList_Destroy(list);
}

// At 144 DPI (150 %) the rows' check images, site icons and link grow with the text.
TEST(RecordDpiDrawing, RowsGrowWithTheSystemsSmallIconsAt144Dpi) {
    DWORD dpi = 144;
    UserSetting setting(L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
    ASSERT_TRUE(setting.Applied());
    ChildRun run = RunOwnTestsInNewProcess("RecordDpiChild.*", {{ChildModeVariable, L"144dpi"}});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("[  PASSED  ] 2 tests.")) << run.output;
}

class RecordDpiChild : public RecordDrawingTest {
protected:
    void SetUp() override {
        if (ChildMode() != L"144dpi") GTEST_SKIP() << "runs in a process at 144 DPI";
        RecordDrawingTest::SetUp();
    }
};

TEST_F(RecordDpiChild, DISABLED_AddressRows) {
    ASSERT_EQ(24, GetSystemMetrics(SM_CXSMICON)) << "the process is not at 144 DPI";
    CheckAddressRows(*this, true);
}

TEST_F(RecordDpiChild, DISABLED_SearchRows) {
    CheckSearchRow(*this, true);
}

} // namespace
