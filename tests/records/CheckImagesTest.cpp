// The check box images of the record list and the visual-style test, with Wine's light theme
// (on by default), and in a new process that cannot load the visual-style library at all.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <string>

#include "TestSupport.h"
#include "records/CheckImages.h"
#include "records/ChildProcessRun.h"
#include "testbed/DibCanvas.h"

namespace {

// Pixels darker than mid-grey in the middle of image index: where a check mark would be.
int DarkCenterPixels(HIMAGELIST list, int index, int size) {
    DibCanvas image(size, size);
    image.Fill(RGB(255, 255, 255));
    ImageList_Draw(list, index, image.Dc(), 0, 0, ILD_NORMAL);
    int dark = 0;
    for (int y = size / 2 - 3; y < size / 2 + 3; y++) {
        for (int x = size / 2 - 3; x < size / 2 + 3; x++) {
            COLORREF c = image.Pixel(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) dark++;
        }
    }
    return dark;
}

class TestWindow {
public:
    TestWindow()
        : window_(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr)) {}
    ~TestWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

void ExpectCheckImages(int size, bool themed) {
    TestWindow window;
    HIMAGELIST list = CreateCheckImageList(window.Get());
    ASSERT_NE(nullptr, list);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list, &width, &height);
    EXPECT_EQ(size, width);
    EXPECT_EQ(size, height);
    EXPECT_EQ(4, ImageList_GetImageCount(list));
    EXPECT_EQ(0, DarkCenterPixels(list, CheckImageUnchecked, size)) << "index 1 is unticked";
    EXPECT_GT(DarkCenterPixels(list, CheckImageChecked, size), 0) << "index 2 is ticked";
    DibCanvas hot(size, size);
    DibCanvas unticked(size, size);
    ImageList_Draw(list, CheckImageCheckedHot, hot.Dc(), 0, 0, ILD_NORMAL);
    ImageList_Draw(list, CheckImageUnchecked, unticked.Dc(), 0, 0, ILD_NORMAL);
    // Only the visual style has a ticked hot state; the classic list repeats the empty box.
    EXPECT_EQ(!themed, hot.SameBlock(0, 0, unticked, 0, 0, size)) << "index 0";
    ImageList_Destroy(list);
}

TEST(CheckImages, VisualStylesGiveFourImagesOfSixteenPixels) {
    if (!IsThemeActiveSafe()) GTEST_SKIP() << "visual styles are off in this prefix";
    ExpectCheckImages(16, true);
}

// Keeps a DLL from loading into processes of this program's name started while it lives, through
// Wine's per-program DLL overrides (the environment's WINEDLLOVERRIDES is the parent's, not
// the one given to CreateProcess).
class DisabledDll {
public:
    explicit DisabledDll(const wchar_t* dll) : dll_(dll) {
        WCHAR exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        key_ = std::wstring(L"Software\\Wine\\AppDefaults\\") + PathFindFileNameW(exe) +
               L"\\DllOverrides";
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        applied_ = RegSetValueExW(key, dll_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                                  sizeof(WCHAR)) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~DisabledDll() { SHDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
    bool Applied() const { return applied_; }

private:
    std::wstring dll_;
    std::wstring key_;
    bool applied_ = false;
};

TEST(CheckImages, WithoutTheVisualStyleLibraryTheImagesAreClassic) {
    DisabledDll noUxTheme(L"uxtheme");
    ASSERT_TRUE(noUxTheme.Applied());
    ChildRun run =
        RunOwnTestsInNewProcess("CheckImagesNoUxTheme.*", {{ChildModeVariable, L"no-uxtheme"}});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("[  PASSED  ] 1 test.")) << run.output;
}

// Runs only in the process started above, where UxTheme.dll cannot be loaded.
TEST(CheckImagesNoUxTheme, DISABLED_ThemeIsInactiveAndImagesAreClassic) {
    if (ChildMode() != L"no-uxtheme") GTEST_SKIP() << "runs without the visual-style library";
    ASSERT_EQ(nullptr, LoadLibraryW(L"UxTheme.dll")) << "the library is still there";
    EXPECT_EQ(0, IsThemeActiveSafe());
    ExpectCheckImages(14, false);
}

} // namespace
