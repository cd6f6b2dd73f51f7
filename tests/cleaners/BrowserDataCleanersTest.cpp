#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <shlwapi.h>

#include <ctime>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cleaners/BrowserDataCleaners.h"
#include "cleaners/ProtectedStorageCleaner.h"
#include "env/Handles.h"
#include "env/ToolbarLocations.h"
#include "testbed/BrowserFrame.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const WCHAR IeKey[] = L"Software\\Microsoft\\Internet Explorer";
const WCHAR TypedUrlsKey[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";
const WCHAR IntelliFormsKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms";
const WCHAR Storage1Key[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage1";
const WCHAR Storage2Key[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage2";
const WCHAR SpwKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\SPW";
const WCHAR SiblingKey[] = L"Software\\Microsoft\\Internet Explorer\\VelaTestSibling";
const WCHAR ProtectedStorageKey[] = L"Software\\Microsoft\\Protected Storage System Provider";
const WCHAR FormDataType[] = L"e161255a-37c3-11d2-bcaa-00c04fd929db";

bool KeyExists(HKEY root, const std::wstring& path) {
    UniqueRegKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// A key with one string value and, when asked, a sub key with a value of its own.
void SeedKey(const std::wstring& path, bool withSubKey = false) {
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, key.Put(), nullptr))
        << Narrow(path);
    const WCHAR data[] = L"seed";
    RegSetValueExW(key.Get(), L"item", 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                   sizeof(data));
    if (withSubKey) SeedKey(path + L"\\Nested");
}

std::string Describe(const std::vector<std::wstring>& entries) {
    std::string text = "{";
    for (const std::wstring& entry : entries)
        text += " \"" + Narrow(entry) + "\"";
    return text + " }";
}

class BrowserDataCleaners : public testing::Test {
protected:
    void SetUp() override {
        DeleteToolbarRegistryState();
        SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrlsKey);
    }
    void TearDown() override {
        SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrlsKey);
        SHDeleteKeyW(HKEY_CURRENT_USER, SiblingKey);
        DeleteToolbarRegistryState();
    }
};

TEST_F(BrowserDataCleaners, AddressBarCleanerDeletesTheTypedUrlTreeAndEmptiesAddressBars) {
    SeedKey(TypedUrlsKey, true);
    SeedKey(SiblingKey);
    BrowserFrame frame;
    frame.AddEntries({L"http://a.example/", L"http://b.example/"});

    CleanAddressBar();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TypedUrlsKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, SiblingKey));
    EXPECT_TRUE(frame.Entries().empty()) << Describe(frame.Entries());
}

TEST_F(BrowserDataCleaners, AddressBarCleanerEmptiesAddressBarsWithoutATypedUrlKey) {
    BrowserFrame frame;
    frame.AddEntries({L"http://a.example/"});

    CleanAddressBar();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TypedUrlsKey));
    EXPECT_TRUE(frame.Entries().empty()) << Describe(frame.Entries());
}

// The toolbar's "visitHistory" folder in its data folder, removed again with everything the
// test put there.
class VisitHistoryFolder {
public:
    VisitHistoryFolder() {
        WCHAR path[MAX_PATH] = {};
        if (!GetToolbarPath(DataFolder, path, MAX_PATH)) return;
        dataFolder_ = path;
        PathAppendW(path, L"visitHistory");
        folder_ = path;
        PathAppendW(path, L"visitHistory.ini");
        file_ = path;
        Remove();
    }
    ~VisitHistoryFolder() { Remove(); }
    VisitHistoryFolder(const VisitHistoryFolder&) = delete;
    VisitHistoryFolder& operator=(const VisitHistoryFolder&) = delete;

    bool Create() { return CreateDirectoryTree(folder_.c_str(), nullptr) != 0; }
    bool WriteFile(const char* text) {
        UniqueHandleValue file(CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) {
            file.Release();
            return false;
        }
        DWORD written = 0;
        return ::WriteFile(file.Get(), text, lstrlenA(text), &written, nullptr) != 0;
    }
    std::string ReadFile() const {
        std::string text;
        UniqueHandleValue file(CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) {
            file.Release();
            return text;
        }
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
            text.append(buffer, read);
        return text;
    }
    std::wstring Value(const WCHAR* section, const WCHAR* key) const {
        WCHAR value[260] = {};
        GetPrivateProfileStringW(section, key, L"<missing>", value, 260, file_.c_str());
        return value;
    }
    std::vector<std::wstring> SectionNames() const {
        WCHAR names[2048] = {};
        GetPrivateProfileSectionNamesW(names, 2048, file_.c_str());
        std::vector<std::wstring> result;
        for (const WCHAR* name = names; *name; name += lstrlenW(name) + 1)
            result.push_back(name);
        return result;
    }
    bool FolderExists() const { return PathFileExistsW(folder_.c_str()) != FALSE; }
    bool FileExists() const { return PathFileExistsW(file_.c_str()) != FALSE; }
    const std::wstring& File() const { return file_; }
    bool Resolved() const { return !folder_.empty(); }

private:
    void Remove() {
        if (folder_.empty()) return;
        DeleteFileW(file_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring dataFolder_;
    std::wstring folder_;
    std::wstring file_;
};

const char SeededVisitHistory[] = "[general]\r\n"
                                  "user=alice\r\n"
                                  "count=3\r\n"
                                  "[frequentlyVisit]\r\n"
                                  "http://a.example/=5\r\n"
                                  "http://b.example/=2\r\n"
                                  "[recent]\r\n"
                                  "item=http://c.example/\r\n";

class HistoryCleaner : public BrowserDataCleaners {
protected:
    void SetUp() override {
        BrowserDataCleaners::SetUp();
        ASSERT_TRUE(standIn_.IsReady()) << "cannot register " << Narrow(standIn_.DllPath());
        ASSERT_TRUE(visitHistory_.Resolved());
        standIn_.SetTitle(L"http://a.example/", L"Page A");
    }

    UrlHistoryStandIn standIn_;
    VisitHistoryFolder visitHistory_;
};

TEST_F(HistoryCleaner, ClearsTheHistoryOnceAndReleasesTheObject) {
    CleanHistory();
    EXPECT_EQ(1, standIn_.ClearHistoryCalls());
    EXPECT_EQ(0, standIn_.UrlCount());
    EXPECT_EQ(0, standIn_.LiveObjects());
}

TEST_F(HistoryCleaner, ResetsTheVisitHistoryFile) {
    ASSERT_TRUE(visitHistory_.Create());
    ASSERT_TRUE(visitHistory_.WriteFile(SeededVisitHistory));
    DWORD before = static_cast<DWORD>(time(nullptr));

    CleanHistory();

    DWORD after = static_cast<DWORD>(time(nullptr));
    EXPECT_EQ(1, standIn_.ClearHistoryCalls());
    std::vector<std::wstring> sections = visitHistory_.SectionNames();
    ASSERT_EQ(2u, sections.size()) << Describe(sections) << "\n" << visitHistory_.ReadFile();
    EXPECT_EQ(L"general", sections[0]);
    EXPECT_EQ(L"recent", sections[1]);
    EXPECT_EQ(L"alice", visitHistory_.Value(L"general", L"user"));
    EXPECT_EQ(L"3", visitHistory_.Value(L"general", L"count"));
    EXPECT_EQ(L"http://c.example/", visitHistory_.Value(L"recent", L"item"));

    DWORD stamp = 0;
    ASSERT_TRUE(GetPrivateProfileStructW(L"general", L"ldfv", &stamp, sizeof(stamp),
                                         visitHistory_.File().c_str()))
        << "ldfv = " << Narrow(visitHistory_.Value(L"general", L"ldfv"));
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
}

TEST_F(HistoryCleaner, WithoutTheVisitHistoryFolderClearsTheHistoryAndCreatesNothing) {
    EXPECT_EQ(0, ResetVisitHistory());
    CleanHistory();
    EXPECT_EQ(1, standIn_.ClearHistoryCalls());
    EXPECT_FALSE(visitHistory_.FolderExists());
}

TEST_F(HistoryCleaner, WithoutTheVisitHistoryFileCreatesNone) {
    ASSERT_TRUE(visitHistory_.Create());
    EXPECT_EQ(0, ResetVisitHistory());
    CleanHistory();
    EXPECT_EQ(1, standIn_.ClearHistoryCalls());
    EXPECT_FALSE(visitHistory_.FileExists());
}

TEST_F(HistoryCleaner, ResetReportsARewrittenFile) {
    ASSERT_TRUE(visitHistory_.Create());
    ASSERT_TRUE(visitHistory_.WriteFile(SeededVisitHistory));
    EXPECT_EQ(1, ResetVisitHistory());
    EXPECT_EQ(L"<missing>", visitHistory_.Value(L"frequentlyVisit", L"http://a.example/"));
    EXPECT_EQ(0, standIn_.ClearHistoryCalls());
}

TEST_F(HistoryCleaner, ObjectThatCannotBeCreatedLeavesHistoryAndFileAsTheyAre) {
    ASSERT_TRUE(visitHistory_.Create());
    ASSERT_TRUE(visitHistory_.WriteFile(SeededVisitHistory));
    standIn_.FailCreation(E_OUTOFMEMORY);

    CleanHistory();

    EXPECT_EQ(0, standIn_.ClearHistoryCalls());
    EXPECT_TRUE(standIn_.HasUrl(L"http://a.example/"));
    EXPECT_EQ(SeededVisitHistory, visitHistory_.ReadFile());
}

TEST_F(HistoryCleaner, ObjectWithoutTheSecondInterfaceIsReleasedAndNothingChanges) {
    ASSERT_TRUE(visitHistory_.Create());
    ASSERT_TRUE(visitHistory_.WriteFile(SeededVisitHistory));
    standIn_.WithholdStg2(true);

    CleanHistory();

    EXPECT_EQ(0, standIn_.ClearHistoryCalls());
    EXPECT_EQ(0, standIn_.LiveObjects());
    EXPECT_TRUE(standIn_.HasUrl(L"http://a.example/"));
    EXPECT_EQ(SeededVisitHistory, visitHistory_.ReadFile());
}

enum class ThreadCom { None, Apartment, Multithreaded };

// What a thread's COM state looks like after CleanHistory ran on it, given how the thread
// had initialised COM before (or not at all).
struct ComBalanceRun {
    ThreadCom before = ThreadCom::None;
    HRESULT probe = E_FAIL;
    LONG clears = -1;
    UrlHistoryStandIn* standIn = nullptr;
};

DWORD WINAPI RunCleanHistoryOnOwnThread(void* parameter) {
    auto* run = static_cast<ComBalanceRun*>(parameter);
    DWORD model =
        run->before == ThreadCom::Multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED;
    HRESULT own = E_FAIL;
    if (run->before != ThreadCom::None) own = CoInitializeEx(nullptr, model);
    CleanHistory();
    run->clears = run->standIn->ClearHistoryCalls();
    // S_OK: COM was uninitialised on this thread; S_FALSE: it was still on in the same model.
    run->probe = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(run->probe)) CoUninitialize();
    if (SUCCEEDED(own)) CoUninitialize();
    return 0;
}

ComBalanceRun RunOnFreshThread(UrlHistoryStandIn* standIn, ThreadCom before) {
    ComBalanceRun run;
    run.before = before;
    run.standIn = standIn;
    UniqueHandleValue thread(
        CreateThread(nullptr, 0, RunCleanHistoryOnOwnThread, &run, 0, nullptr));
    if (thread) WaitForSingleObject(thread.Get(), INFINITE);
    return run;
}

TEST_F(HistoryCleaner, LeavesComUninitialisedOnAThreadWithoutCom) {
    ComBalanceRun run = RunOnFreshThread(&standIn_, ThreadCom::None);
    EXPECT_EQ(1, run.clears);
    EXPECT_EQ(S_OK, run.probe) << std::hex << run.probe;
}

TEST_F(HistoryCleaner, KeepsTheCallersOwnApartment) {
    ComBalanceRun run = RunOnFreshThread(&standIn_, ThreadCom::Apartment);
    EXPECT_EQ(1, run.clears);
    EXPECT_EQ(S_FALSE, run.probe) << std::hex << run.probe;
}

// CoInitialize answers RPC_E_CHANGED_MODE there, which must not be balanced.
TEST_F(HistoryCleaner, KeepsTheCallersMultithreadedApartment) {
    ComBalanceRun run = RunOnFreshThread(&standIn_, ThreadCom::Multithreaded);
    EXPECT_EQ(S_FALSE, run.probe) << std::hex << run.probe;
}

// Sets HKLM "...\Internet Explorer" "Version" for the life of the object, then writes the
// original value back.
class IeVersionOverride {
public:
    IeVersionOverride() {
        DWORD size = sizeof(original_);
        hadValue_ = SHGetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", &type_, original_, &size) ==
                    ERROR_SUCCESS;
        originalSize_ = size;
    }
    ~IeVersionOverride() {
        if (hadValue_)
            SHSetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", type_, original_, originalSize_);
        else
            SHDeleteValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version");
    }
    IeVersionOverride(const IeVersionOverride&) = delete;
    IeVersionOverride& operator=(const IeVersionOverride&) = delete;

    bool Set(const WCHAR* version) {
        return SHSetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", REG_SZ, version,
                           (lstrlenW(version) + 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
    }

private:
    bool hadValue_ = false;
    DWORD type_ = REG_SZ;
    BYTE original_[520] = {};
    DWORD originalSize_ = 0;
};

// Runs tests/programs/IeVersionCleanProbe.cpp with the given argument; its exit code is the IE
// major version the module loaded with.
DWORD RunProbe(const WCHAR* argument) {
    std::wstring program = BinPath(L"IeVersionCleanProbe.exe");
    std::wstring commandLine = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return 0xFFFFFFFF;
    CloseHandle(process.hThread);
    DWORD exitCode = 0xFFFFFFFE;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    return exitCode;
}

// The IE-version cleaners run in the probe process; the stores they choose from are seeded
// here: the three IntelliForms keys and, for IE 6, the Protected Storage form data with a
// sibling item tree of another type.
class IeVersionCleaners : public testing::Test {
protected:
    void SetUp() override {
        ONLY_ON(WinVersion::WinXp);
        WCHAR sid[260] = {};
        ASSERT_EQ(1, GetUserSidString(sid, 259));
        userKey_ = std::wstring(ProtectedStorageKey) + L"\\" + sid;
        providerExisted_ = KeyExists(HKEY_CURRENT_USER, ProtectedStorageKey);
        userKeyExisted_ = KeyExists(HKEY_CURRENT_USER, userKey_);
        dataKey_ = userKey_ + L"\\Data\\" + FormDataType + L"\\" + FormDataType;
        otherTypeKey_ = userKey_ + L"\\Data\\" + FormDataType + L"\\other-subtype";

        SHDeleteKeyW(HKEY_CURRENT_USER, IntelliFormsKey);
        SeedKey(Storage1Key, true);
        SeedKey(Storage2Key, true);
        SeedKey(SpwKey, true);
        SeedKey(dataKey_, true);
        SeedKey(otherTypeKey_);
    }
    void TearDown() override {
        SHDeleteKeyW(HKEY_CURRENT_USER, IntelliFormsKey);
        if (userKey_.empty()) return;
        if (!providerExisted_)
            SHDeleteKeyW(HKEY_CURRENT_USER, ProtectedStorageKey);
        else if (!userKeyExisted_)
            SHDeleteKeyW(HKEY_CURRENT_USER, userKey_.c_str());
        else
            SHDeleteKeyW(HKEY_CURRENT_USER, (userKey_ + L"\\Data").c_str());
    }

    void RunWithVersion(const WCHAR* version, const WCHAR* argument, DWORD expectedMajor) {
        IeVersionOverride override;
        ASSERT_TRUE(override.Set(version));
        EXPECT_EQ(expectedMajor, RunProbe(argument))
            << "the probe's exit code is the IE major version it saw";
    }

    // Which of the seeded stores are still there, as "S1 S2 SPW PS other".
    std::string Remaining() const {
        std::string text;
        auto add = [&text](bool present, const char* name) {
            if (!present) return;
            if (!text.empty()) text += " ";
            text += name;
        };
        add(KeyExists(HKEY_CURRENT_USER, Storage1Key), "S1");
        add(KeyExists(HKEY_CURRENT_USER, Storage2Key), "S2");
        add(KeyExists(HKEY_CURRENT_USER, SpwKey), "SPW");
        add(KeyExists(HKEY_CURRENT_USER, dataKey_), "PS");
        add(KeyExists(HKEY_CURRENT_USER, otherTypeKey_), "other");
        return text;
    }

    std::wstring userKey_;
    std::wstring dataKey_;
    std::wstring otherTypeKey_;
    bool providerExisted_ = false;
    bool userKeyExisted_ = false;
};

TEST_F(IeVersionCleaners, Ie7FormDataRemovesStorage1Only) {
    RunWithVersion(L"7.0.5730.13", L"forms", 7);
    EXPECT_EQ("S2 SPW PS other", Remaining());
}

TEST_F(IeVersionCleaners, Ie7PasswordsRemoveStorage2Only) {
    RunWithVersion(L"7.0.5730.13", L"passwords", 7);
    EXPECT_EQ("S1 SPW PS other", Remaining());
}

TEST_F(IeVersionCleaners, Ie6PasswordsRemoveSpwOnly) {
    RunWithVersion(L"6.0.2900.5512", L"passwords", 6);
    EXPECT_EQ("S1 S2 PS other", Remaining());
}

TEST_F(IeVersionCleaners, Ie6FormDataRemovesTheProtectedStorageItemTree) {
    RunWithVersion(L"6.0.2900.5512", L"forms", 6);
    EXPECT_EQ("S1 S2 SPW other", Remaining());
}

TEST_F(IeVersionCleaners, Ie8CleansNeitherFormDataNorPasswords) {
    RunWithVersion(L"8.0.6001.18702", L"forms", 8);
    RunWithVersion(L"8.0.6001.18702", L"passwords", 8);
    EXPECT_EQ("S1 S2 SPW PS other", Remaining());
}

TEST_F(IeVersionCleaners, VersionWithoutAPointCleansNothing) {
    RunWithVersion(L"7", L"forms", 0);
    RunWithVersion(L"6", L"passwords", 0);
    EXPECT_EQ("S1 S2 SPW PS other", Remaining());
}

} // namespace
