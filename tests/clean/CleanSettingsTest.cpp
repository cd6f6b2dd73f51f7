#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include "TestSupport.h"
#include "clean/CleanSettings.h"
#include "env/SystemQueries.h"

namespace {

// A window with the seven category boxes and the automatic box as real check boxes, the way
// the clean dialog carries them.
class CheckBoxPanel {
public:
    CheckBoxPanel() {
        window_ = CreateWindowExW(0, L"STATIC", L"panel", WS_POPUP, 0, 0, 200, 200, nullptr,
                                  nullptr, nullptr, nullptr);
        for (const CleanCategory& category : CategoryTable)
            AddBox(category.checkBoxId);
        AddBox(AutoCleanCheckBoxId);
    }
    ~CheckBoxPanel() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

    SelectionMask Checked() const {
        SelectionMask mask = 0;
        for (const CleanCategory& category : CategoryTable) {
            if (IsDlgButtonChecked(window_, category.checkBoxId) == BST_CHECKED)
                mask |= category.bit;
        }
        return mask;
    }
    void Check(SelectionMask mask) {
        for (const CleanCategory& category : CategoryTable)
            CheckDlgButton(window_, category.checkBoxId, (mask & category.bit) ? 1 : 0);
    }

private:
    void AddBox(int id) {
        CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    HWND window_;
};

std::wstring SettingsKey() {
    return std::wstring(IsNt6OrLater() ? L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar"
                                       : L"SOFTWARE\\Corvane\\VelaToolbar") +
           L"\\HistoryClean";
}

void StoreDword(const wchar_t* name, DWORD value) {
    SHSetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), name, REG_DWORD, &value, sizeof(value));
}

bool ReadDword(const wchar_t* name, DWORD* value) {
    DWORD size = sizeof(*value);
    DWORD type = 0;
    return SHGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), name, &type, value, &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(DWORD);
}

class CleanSettingsTest : public testing::Test {
protected:
    void SetUp() override { DeleteToolbarRegistryState(); }
    void TearDown() override { DeleteToolbarRegistryState(); }
    CheckBoxPanel panel_;
};

TEST_F(CleanSettingsTest, NothingStoredChecksTheDefaultSelection) {
    LoadSelection(panel_.Get());
    EXPECT_EQ(0x17u, panel_.Checked());
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(panel_.Get(), AutoCleanCheckBoxId));
    EXPECT_EQ(0x17u, CurrentSelection());
}

TEST_F(CleanSettingsTest, StoredSelectionIsChecked) {
    StoreDword(L"UserSelect", 0x68);
    LoadSelection(panel_.Get());
    EXPECT_EQ(0x68u, panel_.Checked());
}

TEST_F(CleanSettingsTest, SelectionLongerThanFourBytesFallsBackToTheDefault) {
    const wchar_t text[] = L"abc";
    SHSetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), L"UserSelect", REG_SZ, text,
                sizeof(text));
    LoadSelection(panel_.Get());
    EXPECT_EQ(0x17u, panel_.Checked());
}

TEST_F(CleanSettingsTest, UnknownBitsCheckNothingAndSaveAsZero) {
    StoreDword(L"UserSelect", 0x80);
    LoadSelection(panel_.Get());
    EXPECT_EQ(0u, panel_.Checked());
    SaveSelection(panel_.Get());
    DWORD stored = 0xFFFF;
    ASSERT_TRUE(ReadDword(L"UserSelect", &stored));
    EXPECT_EQ(0u, stored);
}

TEST_F(CleanSettingsTest, SaveWritesTheCheckedBoxesAsADword) {
    panel_.Check(0x41);
    SaveSelection(panel_.Get());
    DWORD stored = 0;
    ASSERT_TRUE(ReadDword(L"UserSelect", &stored));
    EXPECT_EQ(0x41u, stored);
    EXPECT_EQ(0x41u, CurrentSelection());
}

TEST_F(CleanSettingsTest, AnyNonZeroAutoCleanChecksTheBox) {
    StoreDword(L"AutoClean", 5);
    LoadSelection(panel_.Get());
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(panel_.Get(), AutoCleanCheckBoxId));
    EXPECT_EQ(5u, GetAutoClean());
}

TEST_F(CleanSettingsTest, SetAutoCleanWritesAtOnce) {
    EXPECT_EQ(0u, GetAutoClean());
    EXPECT_NE(0, SetAutoClean(1));
    DWORD stored = 0;
    ASSERT_TRUE(ReadDword(L"AutoClean", &stored));
    EXPECT_EQ(1u, stored);
    EXPECT_NE(0, SetAutoClean(0));
    EXPECT_EQ(0u, GetAutoClean());
}

TEST_F(CleanSettingsTest, SettingsLiveUnderTheVersionsOwnKey) {
    SetAutoClean(1);
    const wchar_t* expected = IsNt6OrLater()
                                  ? L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar\\HistoryClean"
                                  : L"SOFTWARE\\Corvane\\VelaToolbar\\HistoryClean";
    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS,
              SHGetValueW(HKEY_CURRENT_USER, expected, L"AutoClean", nullptr, &value, &size));
    EXPECT_EQ(1u, value);
}

TEST(AutoCleanSupported, NeverInAProcessThatIsNotTheBrowser) {
    // The test program is not IEXPLORE.EXE; the browser-named host has its own tests.
    EXPECT_EQ(0, AutoCleanSupported());
}

} // namespace
