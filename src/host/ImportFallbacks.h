// Stand-ins for the KERNEL32 functions that the static C++ runtime's thread library
// (winpthreads) imports although Windows 2000 or XP lacks them: GetTickCount64 (Vista) and
// Add/RemoveVectoredExceptionHandler (XP). A DLL that imports a missing function does not
// load at all, so the module defines those import slots itself (ImportFallbacks.cpp; the DLL
// links that object first) and each stand-in looks the real function up at run time.
#pragma once

#include <windows.h>

// Widens GetTickCount to 64 bits by counting its wraps, for systems without GetTickCount64.
// Zero-initialised so that it works before any constructor of the module has run.
class TickCountExtender {
public:
    // The 64-bit count of milliseconds; serialised, so wraps are counted once.
    ULONGLONG Now();
    // One step of Now for a given 32-bit reading; the caller serialises. For tests.
    ULONGLONG Advance(DWORD ticks);

private:
    LONG busy_ = 0;
    DWORD last_ = 0;
    DWORD wraps_ = 0;
};
