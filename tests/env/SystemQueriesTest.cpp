#include "TestSupport.h"

#include <shlwapi.h>
#include <string>

#include "EnvTestSupport.h"
#include "env/Handles.h"
#include "env/SystemQueries.h"

namespace {

constexpr wchar_t IeKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";

TEST(SystemQueries, WindowsXp) {
    ONLY_ON(WinVersion::WinXp);
    EXPECT_TRUE(IsWindowsXP());
    EXPECT_FALSE(IsWindows2000());
    EXPECT_FALSE(IsNt6OrLater());
    EXPECT_EQ(3, GetOsVersionCode());
}

TEST(SystemQueries, Windows2000) {
    ONLY_ON(WinVersion::Win2k);
    EXPECT_TRUE(IsWindows2000());
    EXPECT_FALSE(IsWindowsXP());
    EXPECT_FALSE(IsNt6OrLater());
    EXPECT_EQ(2, GetOsVersionCode());
}

TEST(SystemQueries, Windows2003IsNoneOfTheThree) {
    ONLY_ON(WinVersion::Win2003);
    EXPECT_FALSE(IsWindows2000());
    EXPECT_FALSE(IsWindowsXP());
    EXPECT_FALSE(IsNt6OrLater());
    EXPECT_EQ(4, GetOsVersionCode());
}

TEST(SystemQueries, WindowsVista) {
    ONLY_ON(WinVersion::Vista);
    EXPECT_TRUE(IsNt6OrLater());
    EXPECT_FALSE(IsWindowsXP());
    EXPECT_FALSE(IsWindows2000());
    EXPECT_EQ(5, GetOsVersionCode());
}

TEST(SystemQueries, Windows7) {
    ONLY_ON(WinVersion::Win7);
    EXPECT_TRUE(IsNt6OrLater());
    EXPECT_FALSE(IsWindowsXP());
    EXPECT_FALSE(IsWindows2000());
    EXPECT_EQ(5, GetOsVersionCode());
}

TEST(IeVersion, NumberBeforeTheFirstPoint) {
    EXPECT_EQ(8, ParseIeMajorVersion(L"8.0.6001.18702"));
    EXPECT_EQ(7, ParseIeMajorVersion(L"7.0"));
    EXPECT_EQ(11, ParseIeMajorVersion(L"11.0.9600"));
    EXPECT_EQ(0, ParseIeMajorVersion(L"8"));
    EXPECT_EQ(0, ParseIeMajorVersion(L""));
    EXPECT_EQ(0, ParseIeMajorVersion(nullptr));
}

class IeVersionRegistry : public testing::Test {
protected:
    SavedRegistryValue saved_{HKEY_LOCAL_MACHINE, IeKey, L"Version"};
};

TEST_F(IeVersionRegistry, ReadsTheMachineValue) {
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, IeKey, L"Version", L"8.0.6001.18702"));
    EXPECT_EQ(8, ReadIeMajorVersion());
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, IeKey, L"Version", L"7.0"));
    EXPECT_EQ(7, ReadIeMajorVersion());
}

TEST_F(IeVersionRegistry, ValueWithoutPointOrMissingGivesZero) {
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, IeKey, L"Version", L"8"));
    EXPECT_EQ(0, ReadIeMajorVersion());
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, IeKey, L"Version");
    EXPECT_EQ(0, ReadIeMajorVersion());
}

// The value is kept from module load: a change later in the process is not seen.
TEST_F(IeVersionRegistry, LoadedVersionIsTheOneFoundAtStartAndStays) {
    EXPECT_EQ(ReadIeMajorVersion(), LoadedIeMajorVersion);
    EXPECT_EQ(LoadedIeMajorVersion, GetIeMajorVersion());
    WCHAR changed[16] = {};
    wsprintfW(changed, L"%d.0", LoadedIeMajorVersion + 3);
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, IeKey, L"Version", changed));
    EXPECT_EQ(LoadedIeMajorVersion + 3, ReadIeMajorVersion());
    EXPECT_EQ(LoadedIeMajorVersion, GetIeMajorVersion());
}

// Runs a copy of the probe program under the given file name; its exit code is
// IsIexploreProcess(nullptr) in that process, or -1 when it could not run.
int ProbeAs(const wchar_t* fileName) {
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    PathAppendW(folder, L"VelaProbe");
    CreateDirectoryW(folder, nullptr);
    std::wstring target = std::wstring(folder) + L"\\" + fileName;
    int result = -1;
    if (CopyFileW(BinPath(L"VersionProbe.exe").c_str(), target.c_str(), FALSE)) {
        std::wstring commandLine = L"\"" + target + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(target.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           folder, &startup, &process)) {
            UniqueHandleValue processHandle(process.hProcess), thread(process.hThread);
            WaitForSingleObject(process.hProcess, INFINITE);
            DWORD code = 0;
            if (GetExitCodeProcess(process.hProcess, &code)) result = static_cast<int>(code);
        }
    }
    DeleteTree(folder);
    return result;
}

TEST(IexploreProcess, TestProgramIsNotTheBrowser) {
    EXPECT_FALSE(IsIexploreProcess(nullptr));
}

TEST(IexploreProcess, ProgramNamedIexploreInAnyCaseIsTheBrowser) {
    EXPECT_EQ(1, ProbeAs(L"iexplore.exe"));
    EXPECT_EQ(1, ProbeAs(L"IExplore.EXE"));
}

TEST(IexploreProcess, OtherNamesAreNotTheBrowser) {
    EXPECT_EQ(0, ProbeAs(L"VersionProbe.exe"));
    EXPECT_EQ(0, ProbeAs(L"iexplore2.exe"));
    EXPECT_EQ(0, ProbeAs(L"myiexplore.exe"));
}

} // namespace
