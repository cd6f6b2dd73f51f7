// The toolbar's registry keys and folders, and the module's small registry operations.
// Every operation returns non-zero for success; capacities count UTF-16 units.
#pragma once

#include <windows.h>

enum ToolbarLocation : int {
    InstallFolder = 0,
    WindowsFolder = 1,
    SystemFolder = 2,
    TempFolder = 3,
    DownloadFolder = 4,
    DataFolder = 6,
    LocalDataFolder = 7,
    ButtonsFolder = 9,
    DllsFolder = 10,
    UsersFolder = 11,
};

inline constexpr WCHAR ToolbarMachineKey[] = L"SOFTWARE\\Corvane\\VelaToolbar";
// The same text as the machine's key: one copy in the module.
inline constexpr const WCHAR* ToolbarUserKeyClassic = ToolbarMachineKey;
inline constexpr WCHAR ToolbarUserKeyLow[] = L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar";

// The per-user settings key under HKCU, optionally followed by "\subKey".
int GetToolbarKeyPath(WCHAR* buffer, int capacity, const WCHAR* subKey);
// Reads a 4-byte value of the settings key's sub key; out keeps its preset on failure.
int ReadToolbarDword(const WCHAR* subKey, const WCHAR* valueName, DWORD* out);
int WriteToolbarDword(const WCHAR* subKey, const WCHAR* valueName, DWORD value);
int ReadToolbarVersion(WCHAR* buffer, int capacity);
int ReadToolbarInstallPath(WCHAR* buffer, int capacity);
int GetToolbarPath(int kind, WCHAR* buffer, int capacity);
int GetDefaultInstallFolder(WCHAR* buffer, int capacity);
int GetWindowsFolder(WCHAR* buffer, int capacity);
// Creates path and every missing folder above it.
int CreateDirectoryTree(const WCHAR* path, SECURITY_ATTRIBUTES* securityAttributes);
