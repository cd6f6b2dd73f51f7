#include "env/ToolbarLocations.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <cstdio>

#include "env/SystemQueries.h"

namespace {

// Both first-use values are computed from the same system answer, so two threads racing
// on the first call store the same thing.
const WCHAR* SettingsKey() {
    static const WCHAR* key = IsNt6OrLater() ? ToolbarUserKeyLow : ToolbarUserKeyClassic;
    return key;
}

BOOL DataFolderIsLocalLow() {
    static const BOOL localLow = IsNt6OrLater();
    return localLow;
}

int GetDataFolder(WCHAR* buffer) {
    if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, TRUE)) return 0;
    if (DataFolderIsLocalLow()) {
        PathRemoveFileSpecW(buffer);
        PathAppendW(buffer, L"LocalLow");
    }
    PathAppendW(buffer, L"CORVANE\\VelaToolbar");
    return 1;
}

int ReadMachineString(const WCHAR* valueName, WCHAR* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    DWORD size = static_cast<DWORD>(capacity) * sizeof(WCHAR);
    if (SHGetValueW(HKEY_LOCAL_MACHINE, ToolbarMachineKey, valueName, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return 0;
    // A value stored without its terminator can fill the whole buffer.
    buffer[capacity - 1] = L'\0';
    return 1;
}

} // namespace

int GetToolbarKeyPath(WCHAR* buffer, int capacity, const WCHAR* subKey) {
    if (!buffer || capacity <= 0) return 0;
    if (subKey) {
        _snwprintf(buffer, capacity - 1, L"%s\\%s", SettingsKey(), subKey);
        // A cut text gets no terminator from _snwprintf; the last unit always holds one.
        buffer[capacity - 1] = L'\0';
    } else {
        lstrcpynW(buffer, SettingsKey(), capacity);
    }
    return 1;
}

int ReadToolbarDword(const WCHAR* subKey, const WCHAR* valueName, DWORD* out) {
    if (!out) return 0;
    WCHAR path[MAX_PATH] = {};
    GetToolbarKeyPath(path, MAX_PATH, subKey);
    // Read into a local: a failed read (a value longer than 4 bytes) may still have written
    // part of its data, and callers rely on their preset default surviving a failure. A
    // shorter value overwrites only its own bytes of the preset, as a direct read would.
    DWORD value = *out;
    DWORD size = sizeof(value);
    if (SHGetValueW(HKEY_CURRENT_USER, path, valueName, nullptr, &value, &size) != ERROR_SUCCESS)
        return 0;
    *out = value;
    return 1;
}

int WriteToolbarDword(const WCHAR* subKey, const WCHAR* valueName, DWORD value) {
    WCHAR path[MAX_PATH] = {};
    GetToolbarKeyPath(path, MAX_PATH, subKey);
    return SHSetValueW(HKEY_CURRENT_USER, path, valueName, REG_DWORD, &value, sizeof(value)) ==
           ERROR_SUCCESS;
}

int ReadToolbarVersion(WCHAR* buffer, int capacity) {
    return ReadMachineString(L"Version", buffer, capacity);
}

int ReadToolbarInstallPath(WCHAR* buffer, int capacity) {
    return ReadMachineString(L"Install", buffer, capacity);
}

int GetToolbarPath(int kind, WCHAR* buffer, int capacity) {
    if (!buffer) return 0;
    switch (kind) {
    case InstallFolder:
        buffer[0] = L'\0';
        if (ReadToolbarInstallPath(buffer, capacity) && PathFileExistsW(buffer)) return 1;
        return GetDefaultInstallFolder(buffer, capacity);
    case WindowsFolder: GetWindowsFolder(buffer, capacity); return 1;
    case SystemFolder: GetSystemDirectoryW(buffer, capacity); return 1;
    case TempFolder: GetTempPathW(capacity, buffer); return 1;
    case DownloadFolder:
        GetWindowsFolder(buffer, capacity);
        PathAppendW(buffer, L"downlo~1");
        return 1;
    case DataFolder: return GetDataFolder(buffer);
    case LocalDataFolder:
        if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, TRUE)) return 0;
        PathAppendW(buffer, L"CORVANE\\VelaToolbar");
        return 1;
    case ButtonsFolder:
    case DllsFolder:
    case UsersFolder: {
        if (!GetDataFolder(buffer)) return 0;
        const WCHAR* folder = kind == ButtonsFolder ? L"btns" : kind == DllsFolder ? L"dlls"
                                                                                   : L"users";
        PathAppendW(buffer, folder);
        return 1;
    }
    default: return 0;
    }
}

int GetDefaultInstallFolder(WCHAR* buffer, int capacity) {
    WCHAR folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    PathStripToRootW(folder);
    PathAppendW(folder, L"Program Files\\Corvane\\VelaToolbar");
    lstrcpynW(buffer, folder, capacity);
    return 1;
}

int GetWindowsFolder(WCHAR* buffer, int capacity) {
    if (!GetSystemDirectoryW(buffer, capacity)) return 0;
    PathRemoveBlanksW(buffer);
    PathRemoveBackslashW(buffer);
    PathRemoveFileSpecW(buffer);
    return 1;
}

int CreateDirectoryTree(const WCHAR* path, SECURITY_ATTRIBUTES* securityAttributes) {
    if (!path || !path[0]) return 0;
    if (PathIsDirectoryW(path)) return 1;

    WCHAR parent[MAX_PATH] = {};
    lstrcpynW(parent, path, MAX_PATH);
    PathRemoveBackslashW(parent);
    PathRemoveFileSpecW(parent);
    // A root that does not exist is its own parent: stop instead of recursing forever.
    if (lstrcmpiW(parent, path) == 0 || !parent[0]) return 0;
    if (!CreateDirectoryTree(parent, securityAttributes)) return 0;
    return CreateDirectoryW(path, securityAttributes);
}
