#include "TestSupport.h"

#include <shlwapi.h>
#include <string>

#include "EnvTestSupport.h"
#include "env/SystemQueries.h"
#include "testbed/VersionResource.h"

namespace {

// A folder of the test's own in the temporary folder, removed afterwards.
class FileVersionInfoTest : public testing::Test {
protected:
    void SetUp() override {
        WCHAR temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        PathAppendW(temp, L"VelaVersionTest");
        folder_ = temp;
        DeleteTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override { DeleteTree(folder_); }

    std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }

    // A copy of the probe program carrying the given version resource.
    std::wstring Versioned(const wchar_t* name, const VersionResourceContent& content) {
        std::wstring path = Path(name);
        EXPECT_TRUE(WriteVersionedCopy(BinPath(L"VersionProbe.exe").c_str(), path.c_str(), content))
            << "could not write " << Narrow(path);
        return path;
    }

    static VersionResourceContent Content4_1_1_10() {
        VersionResourceContent content;
        WORD file[4] = {4, 1, 1, 10}, product[4] = {4, 2, 0, 77};
        memcpy(content.fileVersion, file, sizeof(file));
        memcpy(content.productVersion, product, sizeof(product));
        content.strings = {{L"CompanyName", L"Corvane"},
                           {L"FileDescription", L"Toolbar library"},
                           {L"ProductName", L"VelaToolbar"},
                           {L"Comments", L"seen only through QueryStringValue"}};
        return content;
    }

    std::wstring folder_;
};

TEST_F(FileVersionInfoTest, FileWithoutVersionResourceGivesZero) {
    std::wstring text = Path(L"plain.txt");
    HANDLE file = CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "not a program", 13, &written, nullptr);
    CloseHandle(file);

    WCHAR buffer[64];
    wmemset(buffer, L'x', 64);
    EXPECT_EQ(0, GetFileVersionString(text.c_str(), buffer, 63));
    EXPECT_EQ(L'x', buffer[0]);
    // The probe program is a real PE file with no version resource at all.
    EXPECT_EQ(0, GetFileVersionString(BinPath(L"VersionProbe.exe").c_str(), buffer, 63));
    EXPECT_EQ(0, GetFileVersionString(Path(L"missing.dll").c_str(), buffer, 63));
    EXPECT_EQ(0, GetFileVersionString(nullptr, buffer, 63));

    FileVersionInfo info(text.c_str());
    EXPECT_FALSE(info.IsLoaded());
    EXPECT_EQ(0, info.FileVersion(0));
    EXPECT_EQ(0, info.QueryStringValue(L"CompanyName", buffer, 64));
}

TEST_F(FileVersionInfoTest, FileVersionTextJoinsTheFourNumbersWithPoints) {
    std::wstring dll = Versioned(L"Toolbar.dll", Content4_1_1_10());
    WCHAR buffer[64] = {};
    ASSERT_EQ(1, GetFileVersionString(dll.c_str(), buffer, 63));
    EXPECT_STREQ(L"4.1.1.10", buffer);
}

TEST_F(FileVersionInfoTest, TextIsCutToTheCapacityAndTerminated) {
    std::wstring dll = Versioned(L"Toolbar.dll", Content4_1_1_10());
    WCHAR buffer[8];
    wmemset(buffer, L'x', 8);
    ASSERT_EQ(1, GetFileVersionString(dll.c_str(), buffer, 5));
    EXPECT_STREQ(L"4.1.", buffer);
    EXPECT_EQ(L'x', buffer[5]);
    EXPECT_EQ(0, GetFileVersionString(dll.c_str(), buffer, 0));
}

TEST_F(FileVersionInfoTest, LoadsNumbersAndNamesOfTheFirstTranslation) {
    std::wstring dll = Versioned(L"Toolbar.dll", Content4_1_1_10());
    FileVersionInfo info(dll.c_str());
    ASSERT_TRUE(info.IsLoaded());
    EXPECT_EQ(4, info.FileVersion(0));
    EXPECT_EQ(1, info.FileVersion(1));
    EXPECT_EQ(1, info.FileVersion(2));
    EXPECT_EQ(10, info.FileVersion(3));
    EXPECT_EQ(4, info.ProductVersion(0));
    EXPECT_EQ(2, info.ProductVersion(1));
    EXPECT_EQ(0, info.ProductVersion(2));
    EXPECT_EQ(77, info.ProductVersion(3));
    EXPECT_STREQ(L"Corvane", info.CompanyName());
    EXPECT_STREQ(L"VelaToolbar", info.ProductName());
    EXPECT_STREQ(L"Toolbar library", info.FileDescription());

    WCHAR buffer[8];
    wmemset(buffer, L'x', 8);
    ASSERT_EQ(1, info.QueryStringValue(L"Comments", buffer, 5));
    EXPECT_STREQ(L"seen", buffer);
    EXPECT_EQ(0, info.QueryStringValue(L"LegalCopyright", buffer, 8));
}

TEST_F(FileVersionInfoTest, LargeNumbersKeepTheirSixteenBits) {
    VersionResourceContent content;
    WORD file[4] = {65535, 0, 300, 40000};
    memcpy(content.fileVersion, file, sizeof(file));
    std::wstring dll = Versioned(L"Big.dll", content);
    WCHAR buffer[64] = {};
    ASSERT_EQ(1, GetFileVersionString(dll.c_str(), buffer, 63));
    EXPECT_STREQ(L"65535.0.300.40000", buffer);
}

TEST_F(FileVersionInfoTest, NamesNeedTheTranslationTable) {
    VersionResourceContent content = Content4_1_1_10();
    content.translations.clear();
    std::wstring dll = Versioned(L"NoTranslation.dll", content);
    FileVersionInfo info(dll.c_str());
    ASSERT_TRUE(info.IsLoaded());
    EXPECT_EQ(10, info.FileVersion(3));
    EXPECT_STREQ(L"", info.CompanyName());
    WCHAR buffer[64] = {};
    EXPECT_EQ(0, info.QueryStringValue(L"CompanyName", buffer, 64));
}

TEST_F(FileVersionInfoTest, OnlyTheFirstTranslationIsLookedAt) {
    // One string table, filed as 0804/04b0 (Chinese, PRC; UTF-16).
    VersionResourceContent content = Content4_1_1_10();
    content.tableLanguage = 0x0804;

    content.translations = {{0x0804, 1200}, {0x0409, 1200}};
    std::wstring firstMatches = Versioned(L"FirstMatches.dll", content);
    FileVersionInfo first(firstMatches.c_str());
    ASSERT_TRUE(first.IsLoaded());
    EXPECT_STREQ(L"Corvane", first.CompanyName());

    content.translations = {{0x0409, 1200}, {0x0804, 1200}};
    std::wstring secondMatches = Versioned(L"SecondMatches.dll", content);
    FileVersionInfo second(secondMatches.c_str());
    ASSERT_TRUE(second.IsLoaded());
    EXPECT_STREQ(L"", second.CompanyName());
    WCHAR buffer[64] = {};
    EXPECT_EQ(0, second.QueryStringValue(L"ProductName", buffer, 64));
}

} // namespace
