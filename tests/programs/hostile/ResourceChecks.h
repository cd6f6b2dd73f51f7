// What a round must leave as it found: handles by type, GDI objects, the thread's windows and
// the process's threads.
#pragma once

#include <windows.h>
#include <cstdint>
#include <map>
#include <string>

#include "testbed/LeakProbes.h"

namespace hostile {

// A resource snapshot after the thread's windows have painted.
ResourceSnapshot QuietSnapshot();
int CountProcessThreads();

struct Resources {
    HandleCounts handles;
    int gdiObjects = 0;
    int windows = 0;
    int threads = 0;
    bool operator==(const Resources& other) const {
        return handles == other.handles && gdiObjects == other.gdiObjects &&
               windows == other.windows && threads == other.threads;
    }
};

// What the system reads once per process and keeps open, made before a baseline is taken: the
// mouse settings the list view and the link labels ask for, and the display DC cache (see
// GrowDisplayDcCache).
void MakeLastingObjects();
Resources TakeResources();
// Threads of the system's own that a download left may hold handles for some seconds: handle
// and thread counts that differ are read again for a while before they count as a leak.
Resources SettledResources(const Resources& expected);
std::string DescribeResources(const Resources& expected, const Resources& now,
                              const std::map<uintptr_t, DWORD>& expectedObjects);
HandleCounts Plus(HandleCounts counts, const HandleCounts& added);
// The handles that loading and unloading the module file leaves behind by itself, whatever it
// is asked to do: its static runtime (winpthreads) keeps a thread object for the thread that
// loaded it. Measured on a second load, after the first has loaded what stays for the process.
HandleCounts HandlesKeptPerLoad(const std::wstring& dll);

} // namespace hostile
