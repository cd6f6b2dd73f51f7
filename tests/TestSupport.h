// Helpers shared by the suites: the emulated Windows version, registry clean-up, paths.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <string>

enum class WinVersion { Other, Win2k, WinXp, Win2003, Vista, Win7, Win10 };

inline WinVersion RunningWinVersion() {
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExW(&v);
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) return WinVersion::Other;
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) return WinVersion::Win2k;
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) return WinVersion::WinXp;
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) return WinVersion::Win2003;
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 0) return WinVersion::Vista;
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) return WinVersion::Win7;
    // Windows 8 and 10 tell a program whose manifest does not name them that they are 6.2, as
    // the browser's does not; Wine's "win10" does the same.
    if ((v.dwMajorVersion == 6 && v.dwMinorVersion >= 2) || v.dwMajorVersion == 10)
        return WinVersion::Win10;
    return WinVersion::Other;
}

// Vista and later, where the browser's protected mode moves the toolbar's stores.
inline bool RunsNt6OrLater() {
    WinVersion version = RunningWinVersion();
    return version == WinVersion::Vista || version == WinVersion::Win7 ||
           version == WinVersion::Win10;
}

// A test about one Windows version skips itself in the runs that emulate another.
#define ONLY_ON(version)                                                                           \
    do {                                                                                           \
        if (RunningWinVersion() != (version)) GTEST_SKIP() << "not the emulated version";          \
    } while (0)

// The toolbar's keys, the module's settings and what the tests seed all live below these;
// fixtures call this before and after each test so every test starts from a clean hive.
void DeleteToolbarRegistryState();

// Sets "join" = 0. Each clean dialog that closes sends the usage ping, and the download leaves
// a worker thread of Wine's thread pool alive for some seconds after it; suites that are not
// about the ping call this after DeleteToolbarRegistryState so that the suites counting the
// process's handles and threads find it quiet.
void TurnUsagePingOff();

// Full path of a file next to the running test program (the DLL, helper programs).
std::wstring BinPath(const wchar_t* fileName);

// UTF-8 of a UTF-16 string, for failure messages.
std::string Narrow(const std::wstring& text);
