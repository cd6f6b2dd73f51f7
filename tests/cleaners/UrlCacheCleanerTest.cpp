#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <algorithm>

#include "TestSupport.h"
#include "cleaners/UrlCacheCleaner.h"
#include "testbed/UrlCacheSeed.h"

namespace {

using Names = std::vector<std::wstring>;

const wchar_t* const Cookies[] = {L"Cookie:user@example.com/", L"Cookie:user@example.org/"};
const wchar_t* const Pages[] = {L"http://example.com/index.htm", L"http://example.com/logo.gif",
                                L"http://example.org/news.htm"};
const wchar_t HistoryEntry[] = L"Visited: user@http://example.com/index.htm";

std::string Describe(const Names& names) {
    std::string text;
    for (const std::wstring& name : names)
        text += "\n  " + Narrow(name);
    return text.empty() ? " (none)" : text;
}

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

class UrlCacheCleaner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ClearUrlCache()) << Describe(ListCacheEntryNames()); }
    void TearDown() override { ClearUrlCache(); }

    // Two cookies and three ordinary entries.
    void SeedMixedCache() {
        for (const wchar_t* cookie : Cookies)
            ASSERT_TRUE(SeedCookie(cookie)) << Narrow(cookie);
        for (const wchar_t* page : Pages)
            ASSERT_TRUE(SeedCacheEntry(page)) << Narrow(page);
        ASSERT_EQ(5u, ListCacheEntries().size()) << Describe(ListCacheEntryNames());
    }
};

TEST_F(UrlCacheCleaner, CookiesModeDeletesExactlyTheCookies) {
    SeedMixedCache();
    EXPECT_EQ(1, CleanCookies());
    Names left = ListCacheEntryNames();
    EXPECT_EQ(Sorted({Pages[0], Pages[1], Pages[2]}), left) << Describe(left);
}

TEST_F(UrlCacheCleaner, TemporaryFilesModeDeletesEverythingButTheCookies) {
    SeedMixedCache();
    EXPECT_EQ(1, CleanTemporaryFiles());
    Names left = ListCacheEntryNames();
    EXPECT_EQ(Sorted({Cookies[0], Cookies[1]}), left) << Describe(left);
}

TEST_F(UrlCacheCleaner, HistoryRecordsSurviveBothModes) {
    SeedMixedCache();
    ASSERT_TRUE(SeedHistoryEntry(HistoryEntry));
    std::vector<CacheEntry> seeded = ListCacheEntries();
    ASSERT_TRUE(std::any_of(seeded.begin(), seeded.end(), [](const CacheEntry& entry) {
        return entry.name == HistoryEntry && (entry.type & URLHISTORY_CACHE_ENTRY);
    })) << Describe(ListCacheEntryNames());

    EXPECT_EQ(1, CleanTemporaryFiles());
    EXPECT_EQ(1, CleanCookies());
    Names left = ListCacheEntryNames();
    EXPECT_EQ(Names{HistoryEntry}, left) << Describe(left);
}

TEST_F(UrlCacheCleaner, EmptyCacheReturnsZeroInEveryMode) {
    EXPECT_EQ(0, CleanTemporaryFiles());
    EXPECT_EQ(0, CleanCookies());
    EXPECT_EQ(0, CleanUrlCache(2));
}

TEST_F(UrlCacheCleaner, CookiesModeOnACacheWithoutCookiesReturnsZero) {
    for (const wchar_t* page : Pages)
        ASSERT_TRUE(SeedCacheEntry(page));
    EXPECT_EQ(0, CleanCookies());
    Names left = ListCacheEntryNames();
    EXPECT_EQ(3u, left.size()) << Describe(left);
}

TEST_F(UrlCacheCleaner, UnknownModeEnumeratesAndDeletesNothing) {
    SeedMixedCache();
    ASSERT_TRUE(SeedHistoryEntry(HistoryEntry));
    Names before = ListCacheEntryNames();
    EXPECT_EQ(1, CleanUrlCache(2));
    EXPECT_EQ(1, CleanUrlCache(-1));
    Names after = ListCacheEntryNames();
    EXPECT_EQ(before, after) << Describe(after);
}

TEST_F(UrlCacheCleaner, OversizedOnlyEntryGrowsTheFirstBuffer) {
    const wchar_t url[] = L"http://example.com/oversized.htm";
    ASSERT_TRUE(SeedOversizedEntry(url)) << CacheEntryRecordSize(url);
    ASSERT_GT(CacheEntryRecordSize(url), 10240u);
    EXPECT_EQ(1, CleanTemporaryFiles());
    Names left = ListCacheEntryNames();
    EXPECT_TRUE(left.empty()) << Describe(left);
}

TEST_F(UrlCacheCleaner, OversizedEntryAndEveryEntryAfterItAreDeleted) {
    const wchar_t oversized[] = L"http://example.com/oversized.htm";
    const wchar_t larger[] = L"http://example.net/larger.htm";
    for (const wchar_t* page : Pages)
        ASSERT_TRUE(SeedCacheEntry(page));
    ASSERT_TRUE(SeedOversizedEntry(oversized, 16000));
    ASSERT_TRUE(SeedOversizedEntry(larger, 30000));
    ASSERT_TRUE(SeedCacheEntry(L"http://example.net/after.htm"));

    // The case is only made when an oversized entry is not the last one enumerated.
    std::vector<CacheEntry> order = ListCacheEntries();
    auto first = std::find_if(order.begin(), order.end(), [&](const CacheEntry& entry) {
        return entry.name == oversized || entry.name == larger;
    });
    Names orderNames;
    for (const CacheEntry& entry : order)
        orderNames.push_back(entry.name);
    ASSERT_TRUE(first != order.end() && first + 1 != order.end()) << Describe(orderNames);

    EXPECT_EQ(1, CleanTemporaryFiles());
    Names left = ListCacheEntryNames();
    EXPECT_TRUE(left.empty()) << Describe(left);
}

TEST_F(UrlCacheCleaner, OversizedCookieIsDeletedWithTheOtherCookies) {
    const wchar_t oversizedCookie[] = L"Cookie:user@big.example.com/";
    SeedMixedCache();
    ASSERT_TRUE(SeedCookie(oversizedCookie, L"X-Padding: " + std::wstring(9000, L'c') + L"\r\n"));
    ASSERT_GT(CacheEntryRecordSize(oversizedCookie), 10240u);
    EXPECT_EQ(1, CleanCookies());
    Names left = ListCacheEntryNames();
    EXPECT_EQ(Sorted({Pages[0], Pages[1], Pages[2]}), left) << Describe(left);
}

} // namespace
