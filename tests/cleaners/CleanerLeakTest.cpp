#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <string>

#include "TestSupport.h"
#include "cleaners/ProtectedStorageCleaner.h"
#include "cleaners/UrlCacheCleaner.h"
#include "testbed/KeySecurity.h"
#include "testbed/LeakProbes.h"
#include "testbed/UrlCacheSeed.h"

namespace {

constexpr int Rounds = 8;

const wchar_t ProviderKey[] = L"Software\\Microsoft\\Protected Storage System Provider";

// Runs one warm-up round (first use of WinINet and the registry keeps objects for good), then
// many more, and compares the probes taken around the repeated rounds.
template <typename Round> void ExpectNoLeaks(Round round) {
    round();
    ResourceSnapshot before = TakeResourceSnapshot();
    for (int i = 0; i < Rounds; i++)
        round();
    ResourceSnapshot after = TakeResourceSnapshot();
    EXPECT_EQ(before, after) << "before: " << before.Describe() << "\nafter:  " << after.Describe();
}

// The same for memory: rounds that allocate and free in balance leave the heaps as they were.
template <typename Round> void ExpectNoHeapGrowth(Round round) {
    round();
    SIZE_T before = HeapBytesInUse();
    for (int i = 0; i < Rounds; i++)
        round();
    SIZE_T after = HeapBytesInUse();
    EXPECT_EQ(before, after);
}

TEST(CleanerLeaks, UrlCacheCleanerReleasesWhatItTakes) {
    ASSERT_TRUE(ClearUrlCache());
    ExpectNoLeaks([] {
        ASSERT_TRUE(SeedCookie(L"Cookie:user@example.com/"));
        ASSERT_TRUE(SeedCacheEntry(L"http://example.com/page.htm"));
        ASSERT_TRUE(SeedOversizedEntry(L"http://example.com/oversized.htm"));
        ASSERT_TRUE(SeedOversizedEntry(L"http://example.com/larger.htm", 30000));
        EXPECT_EQ(1, CleanUrlCache(2));
        EXPECT_EQ(1, CleanCookies());
        EXPECT_EQ(1, CleanTemporaryFiles());
        EXPECT_EQ(0, CleanTemporaryFiles());
    });
    EXPECT_TRUE(ClearUrlCache());
}

TEST(CleanerLeaks, UrlCacheCleanerFreesItsMemory) {
    ASSERT_TRUE(ClearUrlCache());
    ASSERT_TRUE(SeedCookie(L"Cookie:user@example.com/"));
    ASSERT_TRUE(SeedCacheEntry(L"http://example.com/page.htm"));
    ASSERT_TRUE(SeedOversizedEntry(L"http://example.com/oversized.htm"));
    // Nothing deleted, so every round walks the same cache, growing the buffer once.
    ExpectNoHeapGrowth([] { EXPECT_EQ(1, CleanUrlCache(2)); });
    EXPECT_TRUE(ClearUrlCache());
}

TEST(CleanerLeaks, ProtectedStorageCleanerReleasesWhatItTakes) {
    const std::wstring sid = CurrentUserSidString();
    ASSERT_FALSE(sid.empty());
    const std::wstring userKey = std::wstring(ProviderKey) + L"\\" + sid;
    const std::wstring dataKey = userKey + L"\\Data\\e161255a-37c3-11d2-bcaa-00c04fd929db"
                                           L"\\e161255a-37c3-11d2-bcaa-00c04fd929db";
    const bool providerExisted = KeyExists(HKEY_CURRENT_USER, ProviderKey);
    ASSERT_TRUE(ForceDeleteKeyTree(HKEY_CURRENT_USER, userKey.c_str()));

    ExpectNoLeaks([&] {
        // No user key: every step fails.
        EXPECT_EQ(0, CleanProtectedStorage());
        // A tree whose inner key denies the user.
        const std::wstring inner = dataKey + L"\\Item\\Inner";
        ASSERT_EQ(ERROR_SUCCESS, SHSetValueW(HKEY_CURRENT_USER, inner.c_str(), L"Value", REG_SZ,
                                             L"x", 2 * sizeof(WCHAR)));
        ASSERT_TRUE(
            SetKeySecuritySddl(HKEY_CURRENT_USER, inner.c_str(), L"D:", DACL_SECURITY_INFORMATION));
        EXPECT_EQ(1, CleanProtectedStorage());
        WCHAR sidText[260];
        EXPECT_EQ(1, GetUserSidString(sidText, 260));
        ASSERT_TRUE(ForceDeleteKeyTree(HKEY_CURRENT_USER, userKey.c_str()));
    });
    if (!providerExisted) SHDeleteEmptyKeyW(HKEY_CURRENT_USER, ProviderKey);
}

} // namespace
