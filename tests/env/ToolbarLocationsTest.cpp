#include "TestSupport.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <string>

#include "EnvTestSupport.h"
#include "env/Handles.h"
#include "env/ToolbarLocations.h"

namespace {

std::wstring SpecialFolder(int csidl) {
    WCHAR path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE);
    return path;
}

std::wstring ToolbarPath(int kind) {
    WCHAR path[MAX_PATH] = {};
    EXPECT_NE(0, GetToolbarPath(kind, path, MAX_PATH)) << "kind " << kind;
    return path;
}

std::wstring SettingsKey() {
    WCHAR key[MAX_PATH] = {};
    GetToolbarKeyPath(key, MAX_PATH, nullptr);
    return key;
}

// Compares file-system paths the way the file system does: letter case ignored.
#define EXPECT_SAME_PATH(expected, actual)                                                         \
    EXPECT_EQ(0, lstrcmpiW((expected).c_str(), (actual).c_str()))                                  \
        << "expected " << Narrow(expected) << "\n  actual " << Narrow(actual)

class ToolbarLocationsTest : public testing::Test {
protected:
    void SetUp() override { DeleteToolbarRegistryState(); }
    void TearDown() override { DeleteToolbarRegistryState(); }

    static std::wstring SettingsSubKey(const wchar_t* subKey) {
        return SettingsKey() + L"\\" + subKey;
    }
};

TEST_F(ToolbarLocationsTest, WindowsXpUsesTheClassicKeyAndRoamingDataFolder) {
    ONLY_ON(WinVersion::WinXp);
    EXPECT_STREQ(L"SOFTWARE\\Corvane\\VelaToolbar", SettingsKey().c_str());
    EXPECT_SAME_PATH(SpecialFolder(CSIDL_APPDATA) + L"\\CORVANE\\VelaToolbar",
                     ToolbarPath(DataFolder));
}

TEST_F(ToolbarLocationsTest, WindowsVistaUsesAppDataLowAndLocalLow) {
    ONLY_ON(WinVersion::Vista);
    EXPECT_STREQ(L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar", SettingsKey().c_str());
    WCHAR profile[MAX_PATH] = {};
    lstrcpynW(profile, SpecialFolder(CSIDL_APPDATA).c_str(), MAX_PATH);
    PathRemoveFileSpecW(profile);
    EXPECT_SAME_PATH(std::wstring(profile) + L"\\LocalLow\\CORVANE\\VelaToolbar",
                     ToolbarPath(DataFolder));
}

TEST_F(ToolbarLocationsTest, KeyPathJoinsTheSubKey) {
    WCHAR path[MAX_PATH] = {};
    ASSERT_EQ(1, GetToolbarKeyPath(path, MAX_PATH, L"HistoryClean"));
    EXPECT_EQ(SettingsKey() + L"\\HistoryClean", std::wstring(path));
}

TEST_F(ToolbarLocationsTest, KeyPathWithoutRoomGivesZeroAndLeavesTheBuffer) {
    WCHAR path[8];
    wmemset(path, L'x', 8);
    EXPECT_EQ(0, GetToolbarKeyPath(path, 0, L"HistoryClean"));
    EXPECT_EQ(0, GetToolbarKeyPath(nullptr, MAX_PATH, L"HistoryClean"));
    EXPECT_EQ(L'x', path[0]);
}

TEST_F(ToolbarLocationsTest, KeyPathIsCutAndTerminatedWithinTheCapacity) {
    WCHAR path[16];
    wmemset(path, L'x', 16);
    ASSERT_EQ(1, GetToolbarKeyPath(path, 10, L"HistoryClean"));
    EXPECT_EQ(SettingsKey().substr(0, 9), std::wstring(path));
    EXPECT_EQ(L'x', path[10]);

    wmemset(path, L'x', 16);
    ASSERT_EQ(1, GetToolbarKeyPath(path, 10, nullptr));
    EXPECT_EQ(SettingsKey().substr(0, 9), std::wstring(path));
}

TEST_F(ToolbarLocationsTest, ReadOfAMissingValueKeepsThePreset) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(0, ReadToolbarDword(L"HistoryClean", L"AutoClean", &value));
    EXPECT_EQ(0xDEADBEEFu, value);
    ASSERT_EQ(1, WriteToolbarDword(L"HistoryClean", L"Other", 1));
    EXPECT_EQ(0, ReadToolbarDword(L"HistoryClean", L"AutoClean", &value));
    EXPECT_EQ(0xDEADBEEFu, value);
}

TEST_F(ToolbarLocationsTest, ReadOfAValueLongerThanFourBytesFailsAndKeepsThePreset) {
    BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(SetRegistryValue(HKEY_CURRENT_USER, SettingsSubKey(L"HistoryClean").c_str(),
                                 L"AutoClean", REG_BINARY, eight, sizeof(eight)));
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(0, ReadToolbarDword(L"HistoryClean", L"AutoClean", &value));
    EXPECT_EQ(0xDEADBEEFu, value);
}

TEST_F(ToolbarLocationsTest, ReadTakesFourBytesOfAnyType) {
    DWORD stored = 0x01020304;
    ASSERT_TRUE(SetRegistryValue(HKEY_CURRENT_USER, SettingsSubKey(L"iebar").c_str(), L"join",
                                 REG_BINARY, &stored, sizeof(stored)));
    DWORD value = 0;
    EXPECT_EQ(1, ReadToolbarDword(L"iebar", L"join", &value));
    EXPECT_EQ(0x01020304u, value);
    EXPECT_EQ(0, ReadToolbarDword(L"iebar", L"join", nullptr));
}

TEST_F(ToolbarLocationsTest, WriteCreatesTheKeyWithADword) {
    ASSERT_EQ(1, WriteToolbarDword(L"HistoryClean", L"AutoClean", 7));
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, SettingsSubKey(L"HistoryClean").c_str(), 0, KEY_READ,
                            key.Put()));
    DWORD type = 0, data = 0, size = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), L"AutoClean", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&data), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(7u, data);

    DWORD readBack = 0;
    EXPECT_EQ(1, ReadToolbarDword(L"HistoryClean", L"AutoClean", &readBack));
    EXPECT_EQ(7u, readBack);
}

TEST_F(ToolbarLocationsTest, MachineValuesAreReadFromTheMachineKey) {
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Version", L"4,1,1,10"));
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Install", L"D:\\Vela"));
    WCHAR text[64] = {};
    ASSERT_EQ(1, ReadToolbarVersion(text, 64));
    EXPECT_STREQ(L"4,1,1,10", text);
    ASSERT_EQ(1, ReadToolbarInstallPath(text, 64));
    EXPECT_STREQ(L"D:\\Vela", text);
    EXPECT_EQ(0, ReadToolbarVersion(text, 0));
    EXPECT_EQ(0, ReadToolbarVersion(nullptr, 64));
}

TEST_F(ToolbarLocationsTest, MissingOrTooLongMachineValueGivesZero) {
    WCHAR text[8] = {};
    EXPECT_EQ(0, ReadToolbarVersion(text, 8));
    ASSERT_TRUE(
        SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Version", L"4.1.1.10.20.30"));
    EXPECT_EQ(0, ReadToolbarVersion(text, 8));
}

TEST_F(ToolbarLocationsTest, DefaultInstallFolderIsOnTheSystemDrive) {
    WCHAR system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring expected = std::wstring(system, 3) + L"Program Files\\Corvane\\VelaToolbar";
    EXPECT_SAME_PATH(expected, ToolbarPath(InstallFolder));

    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Install",
                                L"C:\\no such folder\\VelaToolbar"));
    EXPECT_SAME_PATH(expected, ToolbarPath(InstallFolder));
}

TEST_F(ToolbarLocationsTest, ExistingInstallFolderIsTaken) {
    std::wstring folder = SpecialFolder(CSIDL_APPDATA) + L"\\VelaInstallTest";
    CreatedFolders cleanup(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ToolbarMachineKey, L"Install", folder.c_str()));
    EXPECT_EQ(folder, ToolbarPath(InstallFolder));
}

TEST_F(ToolbarLocationsTest, SystemFolders) {
    WCHAR windows[MAX_PATH] = {}, system[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    EXPECT_SAME_PATH(std::wstring(windows), ToolbarPath(WindowsFolder));
    EXPECT_SAME_PATH(std::wstring(system), ToolbarPath(SystemFolder));
    std::wstring tempFolder = ToolbarPath(TempFolder);
    EXPECT_SAME_PATH(std::wstring(temp), tempFolder);
    EXPECT_EQ(L'\\', tempFolder.back());
    EXPECT_SAME_PATH(std::wstring(windows) + L"\\downlo~1", ToolbarPath(DownloadFolder));

    WCHAR parent[MAX_PATH] = {};
    ASSERT_EQ(1, GetWindowsFolder(parent, MAX_PATH));
    EXPECT_SAME_PATH(std::wstring(windows), std::wstring(parent));
}

TEST_F(ToolbarLocationsTest, FoldersBelowTheDataFolder) {
    std::wstring data = ToolbarPath(DataFolder);
    EXPECT_EQ(data + L"\\btns", ToolbarPath(ButtonsFolder));
    EXPECT_EQ(data + L"\\dlls", ToolbarPath(DllsFolder));
    EXPECT_EQ(data + L"\\users", ToolbarPath(UsersFolder));
    EXPECT_SAME_PATH(SpecialFolder(CSIDL_LOCAL_APPDATA) + L"\\CORVANE\\VelaToolbar",
                     ToolbarPath(LocalDataFolder));
}

TEST_F(ToolbarLocationsTest, UnknownKindsGiveZeroAndLeaveTheBuffer) {
    for (int kind : {5, 8, 12, 40, -1}) {
        WCHAR path[MAX_PATH];
        wmemset(path, L'x', MAX_PATH);
        EXPECT_EQ(0, GetToolbarPath(kind, path, MAX_PATH)) << "kind " << kind;
        EXPECT_EQ(L'x', path[0]) << "kind " << kind;
        EXPECT_EQ(L'x', path[MAX_PATH - 1]) << "kind " << kind;
    }
}

class CreateDirectoryTreeTest : public testing::Test {
protected:
    void SetUp() override {
        WCHAR temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        PathAppendW(temp, L"VelaTreeTest");
        base_ = temp;
        DeleteTree(base_);
        ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
    }
    void TearDown() override { DeleteTree(base_); }

    std::wstring base_;
};

TEST_F(CreateDirectoryTreeTest, CreatesEveryMissingFolder) {
    std::wstring deepest = base_ + L"\\one\\two\\three";
    ASSERT_EQ(1, CreateDirectoryTree(deepest.c_str(), nullptr));
    EXPECT_TRUE(IsDirectory(base_ + L"\\one"));
    EXPECT_TRUE(IsDirectory(base_ + L"\\one\\two"));
    EXPECT_TRUE(IsDirectory(deepest));
}

TEST_F(CreateDirectoryTreeTest, TrailingBackslashIsAccepted) {
    std::wstring path = base_ + L"\\a\\b\\";
    ASSERT_EQ(1, CreateDirectoryTree(path.c_str(), nullptr));
    EXPECT_TRUE(IsDirectory(base_ + L"\\a\\b"));
}

// CreateDirectoryW would fail on an existing folder, so 1 means it was not called.
TEST_F(CreateDirectoryTreeTest, ExistingDirectoryGivesOne) {
    EXPECT_EQ(1, CreateDirectoryTree(base_.c_str(), nullptr));
}

TEST_F(CreateDirectoryTreeTest, NoPathGivesZero) {
    EXPECT_EQ(0, CreateDirectoryTree(nullptr, nullptr));
    EXPECT_EQ(0, CreateDirectoryTree(L"", nullptr));
}

TEST_F(CreateDirectoryTreeTest, FileInTheWayGivesZero) {
    std::wstring file = base_ + L"\\file";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);
    EXPECT_EQ(0, CreateDirectoryTree(file.c_str(), nullptr));
    EXPECT_EQ(0, CreateDirectoryTree((file + L"\\below").c_str(), nullptr));
}

TEST_F(CreateDirectoryTreeTest, MissingDriveGivesZero) {
    DWORD drives = GetLogicalDrives();
    wchar_t letter = 0;
    for (wchar_t candidate = L'Z'; candidate >= L'D' && !letter; candidate--) {
        if (!(drives & (1u << (candidate - L'A')))) letter = candidate;
    }
    ASSERT_NE(0, letter) << "every drive letter is mapped";
    std::wstring path = std::wstring(1, letter) + L":\\vela\\one\\two";
    EXPECT_EQ(0, CreateDirectoryTree(path.c_str(), nullptr)) << Narrow(path);
    EXPECT_EQ(0, CreateDirectoryTree((std::wstring(1, letter) + L":\\").c_str(), nullptr));
}

} // namespace
