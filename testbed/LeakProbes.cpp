#include "testbed/LeakProbes.h"

#include <cstdio>

uintptr_t HandleProbe() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) return 0;
    CloseHandle(event);
    return reinterpret_cast<uintptr_t>(event);
}

int CountGdiObjects() {
    int count = 0;
    for (uintptr_t index = 1; index <= 0xFFFF; index++)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) count++;
    return count;
}

namespace {

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

} // namespace

int CountThreadWindows(DWORD threadId) {
    int count = 0;
    EnumThreadWindows(threadId, CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

SIZE_T HeapBytesInUse() {
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    if (count > 256) count = 256;
    SIZE_T bytes = 0;
    for (DWORD i = 0; i < count; i++) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

std::string ResourceSnapshot::Describe() const {
    char text[128];
    snprintf(text, sizeof(text), "handle probe 0x%lx, %d GDI objects, %d windows",
             static_cast<unsigned long>(handleProbe), gdiObjects, threadWindows);
    return text;
}

ResourceSnapshot TakeResourceSnapshot() {
    return {HandleProbe(), CountGdiObjects(), CountThreadWindows()};
}
