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

std::string ResourceSnapshot::Describe() const {
    char text[128];
    snprintf(text, sizeof(text), "handle probe 0x%lx, %d GDI objects, %d windows",
             static_cast<unsigned long>(handleProbe), gdiObjects, threadWindows);
    return text;
}

ResourceSnapshot TakeResourceSnapshot() {
    return {HandleProbe(), CountGdiObjects(), CountThreadWindows()};
}
