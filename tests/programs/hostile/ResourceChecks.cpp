#include "programs/hostile/ResourceChecks.h"

#include <tlhelp32.h>

#include <cstdio>

namespace hostile {

ResourceSnapshot QuietSnapshot() {
    FinishPainting();
    return TakeResourceSnapshot();
}

int CountProcessThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) count++;
    CloseHandle(snapshot);
    return count;
}

void MakeLastingObjects() {
    UINT setting = 0;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &setting, 0);
    SystemParametersInfoW(SPI_GETMOUSEHOVERWIDTH, 0, &setting, 0);
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &setting, 0);
    GetDoubleClickTime();
    GrowDisplayDcCache();
}

Resources TakeResources() {
    ResourceSnapshot snapshot = QuietSnapshot();
    return {HandleCensus(), snapshot.gdiObjects, snapshot.threadWindows, CountProcessThreads()};
}

Resources SettledResources(const Resources& expected) {
    Resources now = TakeResources();
    for (int tries = 0;
         tries < 25 && (now.handles != expected.handles || now.threads != expected.threads);
         tries++) {
        Sleep(200);
        now = TakeResources();
    }
    return now;
}

std::string DescribeResources(const Resources& expected, const Resources& now,
                              const std::map<uintptr_t, DWORD>& expectedObjects) {
    char counts[160];
    snprintf(counts, sizeof(counts),
             "%d GDI objects, expected %d; %d windows, expected %d; %d threads, expected %d",
             now.gdiObjects, expected.gdiObjects, now.windows, expected.windows, now.threads,
             expected.threads);
    std::string handles = DescribeCensusDifference(expected.handles, now.handles);
    std::string objects = DescribeGdiDifference(expectedObjects, LiveGdiObjects());
    return "handles " + (handles.empty() ? std::string("as expected") : handles) + "; " + counts +
           (objects.empty() ? std::string() : "\n" + objects.substr(0, objects.size() - 1));
}

HandleCounts Plus(HandleCounts counts, const HandleCounts& added) {
    for (const auto& [type, count] : added)
        counts[type] += count;
    return counts;
}

HandleCounts HandlesKeptPerLoad(const std::wstring& dll) {
    HandleCounts before;
    for (int load = 0; load < 2; load++) {
        before = HandleCensus();
        if (HMODULE module = LoadLibraryW(dll.c_str())) FreeLibrary(module);
    }
    HandleCounts after = HandleCensus();
    HandleCounts kept;
    for (const auto& [type, count] : after) {
        auto found = before.find(type);
        int change = count - (found == before.end() ? 0 : found->second);
        if (change) kept[type] = change;
    }
    return kept;
}

} // namespace hostile
