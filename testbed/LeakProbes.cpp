#include "testbed/LeakProbes.h"

#include <cstdio>
#include <vector>

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

std::map<uintptr_t, DWORD> LiveGdiObjects() {
    std::map<uintptr_t, DWORD> objects;
    for (uintptr_t index = 1; index <= 0xFFFF; index++)
        if (DWORD type = GetObjectType(reinterpret_cast<HGDIOBJ>(index))) objects[index] = type;
    return objects;
}

std::string DescribeGdiDifference(const std::map<uintptr_t, DWORD>& before,
                                  const std::map<uintptr_t, DWORD>& after) {
    std::map<DWORD, int> beforeByType;
    std::map<DWORD, int> afterByType;
    for (const auto& [index, type] : before)
        beforeByType[type]++;
    for (const auto& [index, type] : after)
        afterByType[type]++;
    std::string text;
    for (DWORD type = 1; type <= 14; type++) {
        if (beforeByType[type] == afterByType[type]) continue;
        char line[96];
        snprintf(line, sizeof(line), "GDI objects of type %lu: %d before, %d after\n",
                 static_cast<unsigned long>(type), beforeByType[type], afterByType[type]);
        text += line;
    }
    return text;
}

namespace {

// How NtQueryObject hands back a name (a UNICODE_STRING).
struct CountedText {
    USHORT length;
    USHORT capacity;
    const WCHAR* text;
};

} // namespace

HandleCounts HandleCensus() {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    HandleCounts counts;
    if (!query) return counts;
    const int ObjectTypeInformation = 2;
    // Handle values are slots of the process's table, handed out from the lowest free one:
    // the first 1024 of them cover any process of the tests.
    for (uintptr_t value = 4; value < 0x1000; value += 4) {
        auto handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (!GetHandleInformation(handle, &flags)) continue;
        // A UNICODE_STRING with the type's name, followed by the name itself.
        alignas(8) BYTE buffer[512] = {};
        ULONG length = 0;
        std::string type = "?";
        if (query(handle, ObjectTypeInformation, buffer, sizeof(buffer), &length) >= 0) {
            auto* name = reinterpret_cast<const CountedText*>(buffer);
            type.clear();
            for (USHORT i = 0; name->text && i < name->length / 2; i++)
                type += static_cast<char>(name->text[i]);
        }
        counts[type]++;
    }
    return counts;
}

std::string DescribeCensusDifference(const HandleCounts& before, const HandleCounts& after) {
    std::map<std::string, int> change;
    for (const auto& [type, count] : before)
        change[type] -= count;
    for (const auto& [type, count] : after)
        change[type] += count;
    std::string text;
    for (const auto& [type, delta] : change) {
        if (delta == 0) continue;
        if (!text.empty()) text += ", ";
        text += type + (delta > 0 ? " +" : " ") + std::to_string(delta);
    }
    return text;
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

void GrowDisplayDcCache() {
    HWND window = CreateWindowExW(0, L"Static", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    std::vector<HDC> dcs;
    for (int i = 0; i < 128; i++)
        if (HDC dc = GetDCEx(window, nullptr, DCX_CACHE)) dcs.push_back(dc);
    for (HDC dc : dcs)
        ReleaseDC(window, dc);
    DestroyWindow(window);
}

namespace {

BOOL CALLBACK PaintWindow(HWND window, LPARAM) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return TRUE;
}

} // namespace

void FinishPainting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    EnumThreadWindows(GetCurrentThreadId(), PaintWindow, 0);
}
