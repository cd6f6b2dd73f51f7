#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "clean/CleanDialog.h"
#include "env/SystemQueries.h"
#include "testbed/HostSite.h"
#include "testbed/ModalScript.h"
#include "testbed/TestBrowser.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const wchar_t CleanCaption[] = L"清理上网痕迹";
const wchar_t ProgressCaption[] = L"正在清理...";
const wchar_t CleanMutex[] = L"CleanMutex_{0A01E936-1B31-4785-BC02-EB6B5FDA6AC5}";
const wchar_t TypedUrls[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";

// Every status line the progress dialog shows, as its static control receives them on the
// dialog's thread.
std::vector<std::wstring>* g_statusLines;
HHOOK g_statusHook;

LRESULT CALLBACK RecordStatusLine(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SETTEXT &&
        GetDlgCtrlID(message->hwnd) == 1195 && message->lParam) {
        std::wstring line = reinterpret_cast<const wchar_t*>(message->lParam);
        if (!line.empty() && (g_statusLines->empty() || g_statusLines->back() != line))
            g_statusLines->push_back(line);
    }
    return CallNextHookEx(g_statusHook, code, wParam, lParam);
}

std::wstring SettingsKey() {
    return std::wstring(IsNt6OrLater() ? L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar"
                                       : L"SOFTWARE\\Corvane\\VelaToolbar") +
           L"\\HistoryClean";
}

void StoreSelection(DWORD mask) {
    SHSetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), L"UserSelect", REG_DWORD, &mask,
                sizeof(mask));
}

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SeedKey(HKEY root, const wchar_t* path) {
    const wchar_t url[] = L"http://seeded.example/";
    SHSetValueW(root, path, L"url1", REG_SZ, url, sizeof(url));
}

int CountNonCookieEntries() {
    int count = 0;
    for (const CacheEntry& entry : ListCacheEntries())
        if (!(entry.type & (COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY))) count++;
    return count;
}

int CountCookies() {
    int count = 0;
    for (const CacheEntry& entry : ListCacheEntries())
        if (entry.type & COOKIE_CACHE_ENTRY) count++;
    return count;
}

class CleanRunTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteToolbarRegistryState();
        TurnUsagePingOff();
        SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrls);
        ClearUrlCache();
        ASSERT_TRUE(SeedCacheEntry(L"http://one.example/page.html"));
        ASSERT_TRUE(SeedCacheEntry(L"http://two.example/page.html"));
        ASSERT_TRUE(SeedCookie(L"Cookie:user@three.example/"));
        ASSERT_TRUE(history_.IsReady());
        frame_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                 700, 500, nullptr, nullptr, nullptr, nullptr);
        site_ = HostSite::Make();
        browser_ = TestBrowser::Make(frame_);
        site_->SetBrowser(browser_.Get());
        g_statusLines = &statusLines_;
        g_statusHook =
            SetWindowsHookExW(WH_CALLWNDPROC, RecordStatusLine, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(g_statusHook);
        history_.SetClearGate(nullptr, nullptr);
        DestroyWindow(frame_);
        ClearUrlCache();
        SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrls);
        DeleteToolbarRegistryState();
    }

    // Opens the clean dialog, presses "立即清理选中的项目" and closes it once the run is over.
    void CleanNow() {
        ModalScript driver(CleanCaption, [](HWND dialog) { PressButton(dialog, 1145); });
        CleanDialog dialog;
        site_->AddRef();
        dialog.ShowOverBrowser(site_.Get());
        EXPECT_TRUE(driver.Finish());
    }

    UrlHistoryStandIn history_;
    HWND frame_ = nullptr;
    ComPtr<HostSite> site_;
    ComPtr<TestBrowser> browser_;
    std::vector<std::wstring> statusLines_;
};

TEST_F(CleanRunTest, OnlyTemporaryFilesAreCleaned) {
    StoreSelection(0x20);
    CleanNow();
    ASSERT_EQ(1u, statusLines_.size());
    EXPECT_EQ(L"正在清理IE临时文件...", statusLines_[0]);
    EXPECT_EQ(0, CountNonCookieEntries());
    EXPECT_EQ(1, CountCookies());
    EXPECT_EQ(0, history_.ClearHistoryCalls());
}

TEST_F(CleanRunTest, AllSevenCategoriesRunInTheTablesOrder) {
    StoreSelection(0x7F);
    SeedKey(HKEY_CURRENT_USER, TypedUrls);
    CleanNow();
    const std::vector<std::wstring> expected = {
        L"正在清理IE地址栏记录...",
        L"正在清理浏览历史记录...",
        L"正在清理自动填写的表单资料...",
        L"正在清理工具栏搜索记录...",
        L"正在清理网页中保存的密码...",
        L"正在清理IE临时文件...",
        L"正在清理Cookie...",
    };
    EXPECT_EQ(expected, statusLines_);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TypedUrls));
    EXPECT_EQ(1, history_.ClearHistoryCalls());
    EXPECT_EQ(0, CountNonCookieEntries());
    EXPECT_EQ(0, CountCookies());
}

TEST_F(CleanRunTest, AnotherRunHoldingTheMutexMeansNothingIsCleaned) {
    HANDLE other = CreateMutexW(nullptr, FALSE, CleanMutex);
    ASSERT_NE(nullptr, other);
    StoreSelection(0x60);
    CleanNow();
    CloseHandle(other);
    EXPECT_TRUE(statusLines_.empty()) << Narrow(statusLines_.front());
    EXPECT_EQ(2, CountNonCookieEntries());
    EXPECT_EQ(1, CountCookies());
}

// Holds the history cleaner inside ClearHistory, presses Cancel on the progress dialog, and
// lets the cleaner go on only once `beforeRelease` has run.
class HeldHistory {
public:
    HeldHistory(UrlHistoryStandIn& history, std::function<void()> beforeRelease)
        : entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        history.SetClearGate(entered_, release_);
        thread_ = std::thread([this, beforeRelease] {
            if (WaitForSingleObject(entered_, 10000) == WAIT_OBJECT_0) {
                if (HWND progress = WaitForDialog(ProgressCaption)) {
                    PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                    WaitForWindowGone(progress);
                }
                beforeRelease();
            }
            SetEvent(release_);
        });
    }
    ~HeldHistory() {
        thread_.join();
        CloseHandle(entered_);
        CloseHandle(release_);
    }

private:
    HANDLE entered_;
    HANDLE release_;
    std::thread thread_;
};

TEST_F(CleanRunTest, CancelDuringTheHistoryCleanerLetsItFinishAndRunsNothingLater) {
    StoreSelection(0x62); // history, temporary files, cookies
    {
        HeldHistory held(history_, [] {});
        CleanNow();
        history_.SetClearGate(nullptr, nullptr);
    }
    EXPECT_EQ(1, history_.ClearHistoryCalls());
    ASSERT_FALSE(statusLines_.empty());
    EXPECT_EQ(L"正在清理浏览历史记录...", statusLines_.back());
    EXPECT_EQ(2, CountNonCookieEntries());
    EXPECT_EQ(1, CountCookies());
}

TEST_F(CleanRunTest, ClosingTheDialogWaitsForACancelledWorkerWithoutDeadlock) {
    StoreSelection(0x22);
    std::atomic<bool> closed{false};
    std::atomic<bool> showReturned{false};
    std::atomic<bool> returnedBeforeRelease{false};
    {
        HeldHistory held(history_, [&] {
            // The user closes the clean dialog while the worker is still inside the cleaner.
            if (HWND dialog = WaitForDialog(CleanCaption)) {
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                closed = WaitForWindowGone(dialog);
            }
            Sleep(200);
            returnedBeforeRelease = showReturned.load();
        });
        ModalScript driver(CleanCaption, [](HWND dialog) { PressButton(dialog, 1145); });
        {
            CleanDialog dialog;
            site_->AddRef();
            dialog.ShowOverBrowser(site_.Get());
        } // the object may go only once its worker is done
        showReturned = true;
        history_.SetClearGate(nullptr, nullptr);
        driver.Finish();
    }
    EXPECT_TRUE(closed);
    EXPECT_FALSE(returnedBeforeRelease);
    EXPECT_EQ(1, history_.ClearHistoryCalls());
    EXPECT_EQ(2, CountNonCookieEntries()) << "the run went on after Cancel";
}

TEST_F(CleanRunTest, AutomaticRunCleansTheStoredSelectionButNotTheSearchRecords) {
    StoreSelection(0x7F);
    SeedKey(HKEY_CURRENT_USER, TypedUrls);
    const wchar_t* toolbarKey = LoadedIeMajorVersion >= 7
                                    ? L"Software\\Corvane\\Ostle\\IE7TypedURLs"
                                    : L"Software\\Corvane\\Ostle\\TypedURLs";
    SeedKey(HKEY_CURRENT_USER, toolbarKey);
    SeedKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Ostle\\HotKeys");
    CleanDialog dialog;
    dialog.RunAutoClean();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TypedUrls));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, toolbarKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Ostle\\HotKeys"));
    EXPECT_EQ(1, history_.ClearHistoryCalls());
    EXPECT_EQ(0, CountNonCookieEntries());
    EXPECT_EQ(0, CountCookies());
    EXPECT_EQ(nullptr, dialog.window) << "the automatic run shows no window";
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane");
}

TEST_F(CleanRunTest, AutomaticRunWithoutAStoredSelectionCleansNothing) {
    SeedKey(HKEY_CURRENT_USER, TypedUrls);
    CleanDialog dialog;
    dialog.RunAutoClean();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, TypedUrls));
    EXPECT_EQ(0, history_.ClearHistoryCalls());
    EXPECT_EQ(2, CountNonCookieEntries());
}

TEST_F(CleanRunTest, AutomaticRunDoesNothingWhileAnotherRunHoldsTheMutex) {
    StoreSelection(0x20);
    HANDLE other = CreateMutexW(nullptr, FALSE, CleanMutex);
    CleanDialog dialog;
    dialog.RunAutoClean();
    CloseHandle(other);
    EXPECT_EQ(2, CountNonCookieEntries());
}

} // namespace
