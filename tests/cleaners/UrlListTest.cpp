#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "cleaners/UrlList.h"

namespace {

std::vector<std::wstring> Texts(const UrlList& list) {
    std::vector<std::wstring> texts;
    for (UrlEntry* entry = list.First(); entry; entry = entry->next)
        texts.push_back(entry->record.text);
    return texts;
}

std::vector<std::wstring> TextsBackwards(const UrlList& list) {
    UrlEntry* last = list.First();
    while (last && last->next)
        last = last->next;
    std::vector<std::wstring> texts;
    for (UrlEntry* entry = last; entry; entry = entry->prev)
        texts.insert(texts.begin(), entry->record.text);
    return texts;
}

TEST(UrlRecord, KeepsAtMost2083UnitsAndZeroFillsTheRest) {
    std::wstring longUrl = L"http://a/" + std::wstring(3000, L'x');
    UrlRecord record(longUrl.c_str());
    EXPECT_EQ(2083u, wcslen(record.text));
    EXPECT_EQ(0, wcsncmp(record.text, longUrl.c_str(), 2083));

    UrlRecord shortRecord(L"ab");
    int nonZero = 0;
    for (int i = 2; i < UrlRecordUnits; i++)
        if (shortRecord.text[i]) nonZero++;
    EXPECT_EQ(0, nonZero);
}

TEST(UrlList, RemoveTakesOnlyTheFirstOfEqualEntries) {
    UrlList list;
    list.Append(UrlRecord(L"http://a/"));
    list.Append(UrlRecord(L"http://b/"));
    list.Append(UrlRecord(L"http://a/"));
    ASSERT_EQ(1, list.Remove(L"http://a/"));
    std::vector<std::wstring> expected = {L"http://b/", L"http://a/"};
    EXPECT_EQ(expected, Texts(list));
    EXPECT_EQ(expected, TextsBackwards(list));
    EXPECT_EQ(2, list.Count());
    EXPECT_TRUE(list.Contains(L"http://a/"));
}

TEST(UrlList, AppendAfterRemovingTheLastEntryLinksAtTheNewEnd) {
    UrlList list;
    list.Append(UrlRecord(L"1"));
    list.Append(UrlRecord(L"2"));
    ASSERT_EQ(1, list.Remove(L"2"));
    list.Append(UrlRecord(L"3"));
    std::vector<std::wstring> expected = {L"1", L"3"};
    EXPECT_EQ(expected, Texts(list));
    EXPECT_EQ(expected, TextsBackwards(list));
    ASSERT_EQ(1, list.Remove(L"1"));
    ASSERT_EQ(1, list.Remove(L"3"));
    EXPECT_EQ(nullptr, list.First());
    EXPECT_EQ(0, list.Count());
    list.Append(UrlRecord(L"4"));
    EXPECT_EQ(std::vector<std::wstring>{L"4"}, Texts(list));
}

TEST(UrlList, MatchingIsExactAndCaseSensitive) {
    UrlList list;
    list.Append(UrlRecord(L"http://a/"));
    EXPECT_FALSE(list.Contains(L"HTTP://A/"));
    EXPECT_FALSE(list.Contains(L"http://a"));
    EXPECT_EQ(0, list.Remove(L"HTTP://A/"));
    EXPECT_EQ(1, list.Count());
}

} // namespace
