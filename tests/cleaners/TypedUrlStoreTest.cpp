#include <gtest/gtest.h>

#include <shlwapi.h>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cleaners/TypedUrlStore.h"
#include "env/SystemQueries.h"
#include "testbed/TypedUrlSeed.h"

namespace {

const WCHAR DeletedUrlsKey[] = L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar\\DeletedUrls";
const WCHAR ClassicDeletedUrlsKey[] = L"SOFTWARE\\Corvane\\VelaToolbar\\DeletedUrls";

using Values = std::map<std::wstring, std::wstring>;

#define ONLY_BEFORE_NT6()                                                                          \
    do {                                                                                           \
        if (RunsNt6OrLater()) GTEST_SKIP() << "deletions go to DeletedUrls here";                  \
    } while (0)

#define ONLY_FROM_NT6()                                                                            \
    do {                                                                                           \
        if (!RunsNt6OrLater()) GTEST_SKIP() << "deletions rewrite TypedURLs here";                 \
    } while (0)

void SetString(const WCHAR* path, const WCHAR* name, const std::wstring& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text.c_str()), size));
    RegCloseKey(key);
}

void SetBytes(const WCHAR* path, const WCHAR* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void SetStrings(const WCHAR* path, const Values& values) {
    for (const auto& [name, text] : values)
        SetString(path, name.c_str(), text);
}

bool KeyExists(const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Every value of the key by name, as text; empty when the key is missing.
Values ReadValues(const WCHAR* path) {
    Values values;
    for (const auto& [name, value] : ReadStoredValues(path)) {
        std::wstring units(reinterpret_cast<const WCHAR*>(value.bytes.data()),
                           value.bytes.size() / sizeof(WCHAR));
        values[name] = units.c_str();
    }
    return values;
}

std::vector<std::wstring> Texts(const UrlList& list) {
    std::vector<std::wstring> texts;
    for (UrlEntry* entry = list.First(); entry; entry = entry->next)
        texts.push_back(entry->record.text);
    return texts;
}

int DeleteUrls(TypedUrlStore& store, std::initializer_list<const WCHAR*> urls) {
    store.BeginDeletion();
    for (const WCHAR* url : urls)
        store.MarkDeleted(url);
    return store.CommitDeletion();
}

// Sets a DACL on the key that grants everyone only the rights in allowed; a null one
// (everyone may do everything) when restrict is false. The owner may always change it.
void SetKeyAccess(const WCHAR* path, bool restrict, DWORD allowed) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key));
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    alignas(DWORD) BYTE aclBuffer[256];
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
    InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, restrict ? acl : nullptr, FALSE);
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor));
    FreeSid(everyone);
    RegCloseKey(key);
}

class TypedUrlStoreTest : public testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        DeleteToolbarRegistryState();
        SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrlsKey);
    }

    TypedUrlStore& store = TypedUrlStore::Instance();
};

// Reading the typed-URL list.

TEST_F(TypedUrlStoreTest, LoadsUrl1ToUrl25InNumberOrderSkippingMissingNames) {
    SetString(TypedUrlsKey, L"url25", L"http://y/");
    SetString(TypedUrlsKey, L"url5", L"http://e/");
    SetString(TypedUrlsKey, L"url26", L"http://z/");
    SetString(TypedUrlsKey, L"url0", L"http://zero/");
    SetString(TypedUrlsKey, L"url2", L"http://b/");
    SetString(TypedUrlsKey, L"url1", L"http://a/");
    UrlList list;
    ASSERT_EQ(1, store.LoadTypedUrls(&list));
    std::vector<std::wstring> expected = {L"http://a/", L"http://b/", L"http://e/", L"http://y/"};
    EXPECT_EQ(expected, Texts(list));
}

TEST_F(TypedUrlStoreTest, AValueOfMoreThanARecordsRoomIsNotRead) {
    std::wstring tooLong(2084, L'x'); // 4170 bytes with the terminator
    std::wstring longest(2083, L'y'); // 4168 bytes, a record's whole room
    SetString(TypedUrlsKey, L"url1", tooLong);
    SetString(TypedUrlsKey, L"url2", longest);
    // 4168 bytes without a terminator fill the room with 2084 units: too long as well.
    std::wstring unterminated(2084, L'z');
    SetBytes(TypedUrlsKey, L"url3", REG_SZ, unterminated.c_str(), 4168);
    UrlList list;
    ASSERT_EQ(1, store.LoadTypedUrls(&list));
    ASSERT_EQ(1, list.Count());
    EXPECT_EQ(longest, std::wstring(list.First()->record.text));
}

TEST_F(TypedUrlStoreTest, MissingKeyReturns0AndLeavesTheListAlone) {
    UrlList list;
    list.Append(UrlRecord(L"http://kept/"));
    EXPECT_EQ(0, store.LoadTypedUrls(&list));
    EXPECT_EQ(std::vector<std::wstring>{L"http://kept/"}, Texts(list));
    EXPECT_FALSE(KeyExists(TypedUrlsKey));
}

TEST_F(TypedUrlStoreTest, KeyWithoutUrlValuesReturns1) {
    SetString(TypedUrlsKey, L"other", L"http://a/");
    UrlList list;
    EXPECT_EQ(1, store.LoadTypedUrls(&list));
    EXPECT_EQ(0, list.Count());
}

TEST_F(TypedUrlStoreTest, ProcessStoreIsOneObjectForTheRunningSystem) {
    EXPECT_EQ(&store, &TypedUrlStore::Instance());
    EXPECT_EQ(RunsNt6OrLater(), store.IsNewSystem() != FALSE);
    EXPECT_EQ(IsNt6OrLater() != FALSE, store.IsNewSystem() != FALSE);
}

// Deleting before NT 6: the typed-URL list is rewritten.

TEST_F(TypedUrlStoreTest, DeletionCompactsTheRemainingUrlsAndRemovesHigherNames) {
    ONLY_BEFORE_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"},
                              {L"url2", L"http://b/"},
                              {L"url3", L"http://c/"},
                              {L"url5", L"http://d/"},
                              {L"url7", L"http://e/"},
                              {L"url25", L"http://f/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://b/", L"http://d/", L"http://f/"}));
    Values expected = {{L"url1", L"http://a/"}, {L"url2", L"http://c/"}, {L"url3", L"http://e/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
    EXPECT_FALSE(KeyExists(ClassicDeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, GapInTheListClosesWhenOneUrlIsDeleted) {
    ONLY_BEFORE_NT6();
    SetStrings(TypedUrlsKey,
               {{L"url1", L"http://x/"}, {L"url2", L"http://y/"}, {L"url4", L"http://z/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://y/"}));
    Values expected = {{L"url1", L"http://x/"}, {L"url2", L"http://z/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

TEST_F(TypedUrlStoreTest, UrlMarkedTwiceRemovesOneEqualRecord) {
    ONLY_BEFORE_NT6();
    SetStrings(TypedUrlsKey,
               {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}, {L"url3", L"http://a/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://a/", L"http://a/"}));
    Values expected = {{L"url1", L"http://b/"}, {L"url2", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

TEST_F(TypedUrlStoreTest, UrlNotInTheListIsPassedOver) {
    ONLY_BEFORE_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://q/", L"http://b/"}));
    Values expected = {{L"url1", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

TEST_F(TypedUrlStoreTest, UrlDifferingInCaseIsAnotherRecord) {
    ONLY_BEFORE_NT6();
    SetString(TypedUrlsKey, L"url1", L"http://a/");
    EXPECT_EQ(1, DeleteUrls(store, {L"HTTP://A/"}));
    Values expected = {{L"url1", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

// url1 is too long to be read, so the list is empty.
TEST_F(TypedUrlStoreTest, EmptyListWritesNothingAndReturns0) {
    ONLY_BEFORE_NT6();
    std::wstring tooLong(2084, L'x');
    SetString(TypedUrlsKey, L"url1", tooLong);
    EXPECT_EQ(0, DeleteUrls(store, {tooLong.c_str()}));
    Values expected = {{L"url1", tooLong}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

// A value that is no record keeps its name and its bytes; the records close up around it.
TEST_F(TypedUrlStoreTest, RewriteHoldsAValueItCannotReadInItsPlace) {
    ONLY_BEFORE_NT6();
    std::wstring tooLong(2084, L'x');
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"},
                              {L"url2", tooLong},
                              {L"url3", L"http://b/"},
                              {L"url5", L"http://c/"},
                              {L"url6", L"http://d/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://a/", L"http://c/"}));
    Values expected = {{L"url1", L"http://b/"}, {L"url2", tooLong}, {L"url3", L"http://d/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

TEST_F(TypedUrlStoreTest, MissingListKeyIsNotCreatedAndTheBatchIsDropped) {
    ONLY_BEFORE_NT6();
    EXPECT_EQ(0, DeleteUrls(store, {L"http://a/"}));
    EXPECT_FALSE(KeyExists(TypedUrlsKey));
    // The failed commit still emptied its batch: the next commit deletes nothing.
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"}, {L"url3", L"http://b/"}});
    EXPECT_EQ(1, store.CommitDeletion());
    Values expected = {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}};
    EXPECT_EQ(expected, ReadValues(TypedUrlsKey));
}

// Deleting from NT 6 on: the browser's list stays, DeletedUrls holds what was deleted.

TEST_F(TypedUrlStoreTest, DeletedUrlsGetsNumberedValuesAndTypedUrlsStays) {
    ONLY_FROM_NT6();
    Values typed = {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}, {L"url3", L"http://c/"}};
    SetStrings(TypedUrlsKey, typed);
    EXPECT_EQ(1, DeleteUrls(store, {L"http://c/", L"http://a/", L"http://c/"}));
    EXPECT_EQ(typed, ReadValues(TypedUrlsKey));
    Values expected = {{L"1", L"http://c/"}, {L"2", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, NewDeletionsFollowThePreviousOnesWithoutRepeats) {
    ONLY_FROM_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"},
                              {L"url2", L"http://b/"},
                              {L"url3", L"http://c/"},
                              {L"url4", L"http://d/"}});
    SetStrings(DeletedUrlsKey, {{L"1", L"http://a/"}, {L"2", L"http://b/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://d/", L"http://a/", L"http://c/"}));
    Values expected = {
        {L"1", L"http://a/"}, {L"2", L"http://b/"}, {L"3", L"http://d/"}, {L"4", L"http://c/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, DeletedUrlNoLongerTypedIsPruned) {
    ONLY_FROM_NT6();
    SetString(TypedUrlsKey, L"url1", L"http://y/");
    SetString(DeletedUrlsKey, L"1", L"http://x/");
    EXPECT_EQ(1, DeleteUrls(store, {L"http://y/"}));
    Values expected = {{L"1", L"http://y/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, DeletingAnUntypedUrlAddsAndPrunesIt) {
    ONLY_FROM_NT6();
    SetString(TypedUrlsKey, L"url1", L"http://a/");
    SetStrings(DeletedUrlsKey, {{L"1", L"http://a/"}, {L"2", L"http://gone/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://q/", L"HTTP://A/"}));
    Values expected = {{L"1", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, WithoutTypedListNothingIsPrunedAndOnly25AreWritten) {
    ONLY_FROM_NT6();
    Values old;
    for (int i = 1; i <= 24; i++)
        old[std::to_wstring(i)] = L"http://old" + std::to_wstring(i) + L"/";
    SetStrings(DeletedUrlsKey, old);
    EXPECT_EQ(1, DeleteUrls(store, {L"http://new1/", L"http://new2/"}));
    EXPECT_FALSE(KeyExists(TypedUrlsKey));

    Values written = ReadValues(DeletedUrlsKey);
    ASSERT_EQ(25u, written.size());
    EXPECT_EQ(L"http://new1/", written[L"25"]);
    // The old ones keep the names 1 ... 24 in the order the key lists them.
    std::map<std::wstring, int> oldTexts;
    for (int i = 1; i <= 24; i++)
        oldTexts[written[std::to_wstring(i)]]++;
    std::map<std::wstring, int> expectedOld;
    for (const auto& [name, text] : old)
        expectedOld[text] = 1;
    EXPECT_EQ(expectedOld, oldTexts);
}

TEST_F(TypedUrlStoreTest, ValuesOfAnyNameCountWhenRead) {
    ONLY_FROM_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}});
    SetString(DeletedUrlsKey, L"x", L"http://a/");
    EXPECT_EQ(1, DeleteUrls(store, {L"http://b/"}));
    Values expected = {{L"1", L"http://a/"}, {L"2", L"http://b/"}, {L"x", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

// Names and creation order agree, so Windows and Wine list these values alike.
TEST_F(TypedUrlStoreTest, ReadingSkipsANameLongerThan11UnitsAndGoesOn) {
    ONLY_FROM_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"},
                              {L"url2", L"http://b/"},
                              {L"url3", L"http://c/"},
                              {L"url4", L"http://m/"},
                              {L"url5", L"http://n/"}});
    SetString(DeletedUrlsKey, L"1", L"http://a/");
    SetString(DeletedUrlsKey, L"abcdefghijk", L"http://b/");
    SetString(DeletedUrlsKey, L"mmmmmmmmmmmm", L"http://m/");
    SetString(DeletedUrlsKey, L"n", L"http://n/");
    EXPECT_EQ(1, DeleteUrls(store, {L"http://c/"}));
    Values expected = {
        {L"1", L"http://a/"}, {L"2", L"http://b/"},           {L"3", L"http://n/"},
        {L"4", L"http://c/"}, {L"abcdefghijk", L"http://b/"}, {L"mmmmmmmmmmmm", L"http://m/"},
        {L"n", L"http://n/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

// The value 2 is too long to be read: it is skipped, and the save leaves it in its place.
TEST_F(TypedUrlStoreTest, ReadingSkipsDataOfMoreThanARecordAndTheSaveKeepsIt) {
    ONLY_FROM_NT6();
    std::wstring tooLong(2084, L'x');
    SetStrings(TypedUrlsKey,
               {{L"url1", L"http://a/"}, {L"url2", L"http://c/"}, {L"url3", L"http://d/"}});
    SetStrings(DeletedUrlsKey, {{L"1", L"http://a/"}, {L"2", tooLong}, {L"3", L"http://c/"}});
    EXPECT_EQ(1, DeleteUrls(store, {L"http://d/"}));
    Values expected = {
        {L"1", L"http://a/"}, {L"2", tooLong}, {L"3", L"http://c/"}, {L"4", L"http://d/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, UnreadableDeletedKeyIsNotWrittenOverFromAStaleList) {
    ONLY_FROM_NT6();
    // Another browser recorded a deletion this process has not seen.
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}});
    SetString(DeletedUrlsKey, L"1", L"http://a/");
    SetKeyAccess(DeletedUrlsKey, true, KEY_SET_VALUE);
    TypedUrlStore fresh(TRUE);
    EXPECT_EQ(0, DeleteUrls(fresh, {L"http://b/"}));
    SetKeyAccess(DeletedUrlsKey, false, 0);
    Values expected = {{L"1", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

TEST_F(TypedUrlStoreTest, UnwritableDeletedKeyReturns0AndStaysAsItWas) {
    ONLY_FROM_NT6();
    SetStrings(TypedUrlsKey, {{L"url1", L"http://a/"}, {L"url2", L"http://b/"}});
    SetString(DeletedUrlsKey, L"1", L"http://a/");
    SetKeyAccess(DeletedUrlsKey, true, KEY_QUERY_VALUE);
    EXPECT_EQ(0, DeleteUrls(store, {L"http://b/"}));
    SetKeyAccess(DeletedUrlsKey, false, 0);
    Values expected = {{L"1", L"http://a/"}};
    EXPECT_EQ(expected, ReadValues(DeletedUrlsKey));
}

} // namespace
