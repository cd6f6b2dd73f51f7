#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "TestSupport.h"
#include "clean/CleanDialog.h"
#include "clean/CleanSettings.h"
#include "env/SystemQueries.h"
#include "host/ButtonHost.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/ModalScript.h"
#include "testbed/TestBrowser.h"

namespace {

const wchar_t CleanCaption[] = L"清理上网痕迹";
const int CleanNow = 1145;
const int AutoClean = 1191;
const int SelectAll = 1199;
const int Invert = 1200;
const int Default = 1201;

// A top-level window standing in for the browser frame that owns the dialog.
class FrameWindow {
public:
    explicit FrameWindow(int show = SW_SHOWNORMAL) {
        window_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 100, 80, 800, 600,
                                  nullptr, nullptr, nullptr, nullptr);
        ShowWindow(window_, show);
    }
    ~FrameWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

std::wstring SettingsKey() {
    return std::wstring(IsNt6OrLater() ? L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar"
                                       : L"SOFTWARE\\Corvane\\VelaToolbar") +
           L"\\HistoryClean";
}

void StoreSelection(DWORD mask) {
    SHSetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), L"UserSelect", REG_DWORD, &mask,
                sizeof(mask));
}

bool ReadSetting(const wchar_t* name, DWORD* value) {
    DWORD size = sizeof(*value);
    return SHGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), name, nullptr, value, &size) ==
           ERROR_SUCCESS;
}

DWORD CheckedCategories(HWND dialog) {
    DWORD mask = 0;
    for (const CleanCategory& category : CategoryTable)
        if (IsChecked(dialog, category.checkBoxId)) mask |= category.bit;
    return mask;
}

class CleanDialogTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteToolbarRegistryState();
        TurnUsagePingOff();
        site_ = HostSite::Make();
        browser_ = TestBrowser::Make(frame_.Get());
        site_->SetBrowser(browser_.Get());
    }
    void TearDown() override { DeleteToolbarRegistryState(); }

    // Shows the dialog the way the button does, running script inside it.
    bool ShowWith(std::function<void(HWND)> script) {
        ModalScript driver(CleanCaption, script);
        CleanDialog dialog;
        site_->AddRef();
        dialog.ShowOverBrowser(site_.Get());
        return driver.Finish();
    }

    FrameWindow frame_;
    ComPtr<HostSite> site_;
    ComPtr<TestBrowser> browser_;
};

TEST_F(CleanDialogTest, PressingTheButtonOpensTheDialogOverTheBrowserAndReturnsWhenClosed) {
    HostInfo info(L"Clear", 500);
    HWND owner = nullptr;
    DWORD checked = 0;
    ModalScript driver(CleanCaption, [&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        checked = CheckedCategories(dialog);
        PressButton(dialog, IDCANCEL);
    });
    ASSERT_EQ(1, OnButtonMessage(info.Get(), 77, ButtonCreate, site_->AsWParam(), 0));
    EXPECT_EQ(1, OnButtonMessage(info.Get(), 77, ButtonPressed, 0, 0));
    EXPECT_TRUE(driver.Finish());
    OnButtonMessage(info.Get(), 77, ButtonDestroy, 0, 0);

    EXPECT_EQ(frame_.Get(), owner);
    EXPECT_EQ(DefaultSelection, checked) << std::hex << checked;
    DWORD stored = 0;
    ASSERT_TRUE(ReadSetting(L"UserSelect", &stored));
    EXPECT_EQ(DefaultSelection, stored);
}

TEST_F(CleanDialogTest, WithoutASiteNothingIsShown) {
    CleanDialog dialog;
    dialog.ShowOverBrowser(nullptr);
    EXPECT_EQ(nullptr, dialog.window);
    DWORD stored = 0;
    EXPECT_FALSE(ReadSetting(L"UserSelect", &stored));
}

TEST_F(CleanDialogTest, ASiteWithoutBrowserShowsTheDialogWithoutOwner) {
    site_->SetBrowser(nullptr);
    HWND owner = frame_.Get();
    EXPECT_TRUE(ShowWith([&](HWND dialog) { owner = GetWindow(dialog, GW_OWNER); }));
    EXPECT_EQ(nullptr, owner);
}

TEST_F(CleanDialogTest, TheSiteReferenceHandedOverIsReleased) {
    LONG before = site_->RefCount();
    {
        ModalScript driver(CleanCaption, [](HWND) {});
        CleanDialog dialog;
        site_->AddRef();
        dialog.ShowOverBrowser(site_.Get());
        driver.Finish();
        EXPECT_EQ(before + 1, site_->RefCount()); // the dialog's own
    }
    EXPECT_EQ(before, site_->RefCount());
}

TEST_F(CleanDialogTest, SelectAllInvertAndDefault) {
    StoreSelection(0x28);
    DWORD afterAll = 0, afterInvert = 0, afterSecondInvert = 0, afterDefault = 0;
    ShowWith([&](HWND dialog) {
        PressButton(dialog, Invert);
        afterInvert = CheckedCategories(dialog);
        PressButton(dialog, Invert);
        afterSecondInvert = CheckedCategories(dialog);
        PressButton(dialog, SelectAll);
        afterAll = CheckedCategories(dialog);
        PressButton(dialog, Default);
        afterDefault = CheckedCategories(dialog);
    });
    EXPECT_EQ(0x57u, afterInvert);
    EXPECT_EQ(0x28u, afterSecondInvert);
    EXPECT_EQ(0x7Fu, afterAll);
    EXPECT_EQ(0x17u, afterDefault);
}

TEST_F(CleanDialogTest, CleanNowIsEnabledOnlyWhileACategoryIsChecked) {
    StoreSelection(0);
    bool enabledAtOpen = true, enabledAfterCheck = false, enabledAfterUncheck = true;
    ShowWith([&](HWND dialog) {
        HWND cleanNow = GetDlgItem(dialog, CleanNow);
        enabledAtOpen = IsWindowEnabled(cleanNow);
        PressButton(dialog, 1185);
        enabledAfterCheck = IsWindowEnabled(cleanNow);
        PressButton(dialog, 1185);
        enabledAfterUncheck = IsWindowEnabled(cleanNow);
    });
    EXPECT_FALSE(enabledAtOpen);
    EXPECT_TRUE(enabledAfterCheck);
    EXPECT_FALSE(enabledAfterUncheck);
}

TEST_F(CleanDialogTest, AutomaticBoxIsWrittenAtOnceAndTheSelectionOnClose) {
    DWORD autoWhileOpen = 7;
    bool selectionWhileOpen = true;
    ShowWith([&](HWND dialog) {
        PressButton(dialog, AutoClean);
        ReadSetting(L"AutoClean", &autoWhileOpen);
        PressButton(dialog, 1182);
        DWORD ignored;
        selectionWhileOpen = ReadSetting(L"UserSelect", &ignored);
    });
    EXPECT_EQ(1u, autoWhileOpen);
    EXPECT_FALSE(selectionWhileOpen);
    DWORD stored = 0;
    ASSERT_TRUE(ReadSetting(L"UserSelect", &stored));
    EXPECT_EQ(0x37u, stored);
}

TEST_F(CleanDialogTest, MaximisedBrowserPutsTheDialog60PixelsAboveCentre) {
    ShowWindow(frame_.Get(), SW_MAXIMIZE);
    RECT dialogRect = {}, frameRect = {}, work = {};
    ShowWith([&](HWND dialog) { GetWindowRect(dialog, &dialogRect); });
    GetWindowRect(frame_.Get(), &frameRect);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int height = dialogRect.bottom - dialogRect.top;
    int centred = (frameRect.top + frameRect.bottom) / 2 - height / 2;
    if (centred < work.top) centred = work.top;
    EXPECT_EQ(centred - 60, dialogRect.top)
        << "frame " << frameRect.top << ".." << frameRect.bottom << " height " << height;
}

TEST_F(CleanDialogTest, StoredZeroSelectionIsWrittenBackAsZero) {
    StoreSelection(0x80);
    DWORD checked = 99;
    ShowWith([&](HWND dialog) { checked = CheckedCategories(dialog); });
    EXPECT_EQ(0u, checked);
    DWORD stored = 99;
    ASSERT_TRUE(ReadSetting(L"UserSelect", &stored));
    EXPECT_EQ(0u, stored);
}

} // namespace
