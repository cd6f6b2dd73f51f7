// Counters for the resources a piece of code may leak, read before and after running it
// repeatedly (after one warm-up round, since first use creates lasting objects).
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

// The value of a freshly created and closed event. Wine hands out the lowest free handle slot,
// so this grows exactly when handles leak (GetProcessHandleCount answers 0 there).
uintptr_t HandleProbe();
// Live GDI objects of the process: GetObjectType for every 16-bit handle index 1..0xFFFF
// (GetGuiResources answers 0 under Wine).
int CountGdiObjects();
// Top-level windows the thread owns (EnumThreadWindows).
int CountThreadWindows(DWORD threadId = GetCurrentThreadId());

// Bytes in busy blocks of every heap of the process (HeapWalk). Other threads and lazily
// filled caches make this noisy, so compare it only around code that runs on its own.
SIZE_T HeapBytesInUse();

struct ResourceSnapshot {
    uintptr_t handleProbe;
    int gdiObjects;
    int threadWindows;

    bool operator==(const ResourceSnapshot& other) const {
        return handleProbe == other.handleProbe && gdiObjects == other.gdiObjects &&
               threadWindows == other.threadWindows;
    }
    bool operator!=(const ResourceSnapshot& other) const { return !(*this == other); }
    // "handle probe 0x.., 12 GDI objects, 0 windows", for failure messages.
    std::string Describe() const;
};

// All three counters, for the calling thread's windows.
ResourceSnapshot TakeResourceSnapshot();
