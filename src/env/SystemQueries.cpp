#include "env/SystemQueries.h"

#include <shlwapi.h>
#include <cwchar>
#include <cstdlib>

namespace {

// Zero-filled, so a failing GetVersionExW leaves platform 0 and every test false.
OSVERSIONINFOW ReadVersion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version)) version = OSVERSIONINFOW{};
    return version;
}

bool IsNtVersion(const OSVERSIONINFOW& v, DWORD major, DWORD minor) {
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion == major &&
           v.dwMinorVersion == minor;
}

} // namespace

BOOL IsWindows2000() { return IsNtVersion(ReadVersion(), 5, 0); }

BOOL IsWindowsXP() { return IsNtVersion(ReadVersion(), 5, 1); }

BOOL IsNt6OrLater() {
    OSVERSIONINFOW v = ReadVersion();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion > 5;
}

BYTE GetOsVersionCode() {
    OSVERSIONINFOW v = ReadVersion();
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMajorVersion == 4) return 1;
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;
    if (v.dwMajorVersion == 6) return 5;
    if (v.dwMajorVersion != 5) return 0;
    switch (v.dwMinorVersion) {
    case 0: return 2;
    case 1: return 3;
    case 2: return 4;
    default: return 0;
    }
}

int ParseIeMajorVersion(const WCHAR* version) {
    // _wtoi stops at the first point, so it converts exactly the text before it.
    if (!version || !wcschr(version, L'.')) return 0;
    return _wtoi(version);
}

int ReadIeMajorVersion() {
    WCHAR version[260] = {};
    DWORD size = sizeof(version);
    if (SHGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version",
                    nullptr, version, &size) != ERROR_SUCCESS)
        return 0;
    // The value may fill the buffer without a terminator.
    version[259] = L'\0';
    return ParseIeMajorVersion(version);
}

int GetIeMajorVersion() {
    // Read once: the flag is set before the first read, which happens while the module
    // loads, so later callers on any thread only see the kept value.
    static bool read = false;
    static int major = 0;
    if (read) return major;
    read = true;
    major = ReadIeMajorVersion();
    return major;
}

BOOL IsIexploreProcess(HMODULE module) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH - 1);
    return _wcsicmp(PathFindFileNameW(path), L"IEXPLORE.EXE") == 0;
}
