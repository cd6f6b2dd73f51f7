// Counters for the resources a piece of code may leak, read before and after running it
// repeatedly (after one warm-up round, since first use creates lasting objects).
#pragma once

#include <windows.h>
#include <cstdint>
#include <map>
#include <string>

// The value of a freshly created and closed event. Wine hands out the lowest free handle slot,
// so this grows exactly when handles leak (GetProcessHandleCount answers 0 there).
uintptr_t HandleProbe();
// Live GDI objects of the process: GetObjectType for every 16-bit handle index 1..0xFFFF
// (GetGuiResources answers 0 under Wine).
int CountGdiObjects();
// Every live GDI object's handle index with its type, as CountGdiObjects finds them, so that a
// leak can be named; and one line for each object type (OBJ_PEN 1 to OBJ_COLORSPACE 14) whose
// count differs between two such lists.
std::map<uintptr_t, DWORD> LiveGdiObjects();
std::string DescribeGdiDifference(const std::map<uintptr_t, DWORD>& before,
                                  const std::map<uintptr_t, DWORD>& after);
// The process's open handles by object type ("Event", "Key", "Thread", ...): every handle value
// that GetHandleInformation accepts, typed with NtQueryObject. Unlike HandleProbe this counts,
// so it can tell a handle that a loaded and unloaded DLL's runtime keeps from any other.
using HandleCounts = std::map<std::string, int>;
HandleCounts HandleCensus();
// "Event +1, Key -2", or empty when both are the same.
std::string DescribeCensusDifference(const HandleCounts& before, const HandleCounts& after);
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

// Dialogs that came and went over the thread's windows leave parts of them to repaint and
// messages in the queue: probes read after every pending message and paint of the thread find
// it in the same quiet state each time.
void FinishPainting();

// Wine keeps a cache of display DCs for GetDC: an entry stays with the last window that drew
// through it until that window is destroyed, and a new entry is made when none is free, so the
// cache grows to the highest number of windows that have drawn at the same time (a record
// dialog over a clean dialog over the frame at a new high adds some, late in a session). Taking
// more cache DCs at once than a session's windows ever use grows it past that mark during a
// warm-up, so that the GDI count afterwards follows what the code under test holds.
void GrowDisplayDcCache();
