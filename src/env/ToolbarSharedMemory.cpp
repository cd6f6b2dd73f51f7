#include "env/ToolbarSharedMemory.h"

#include "host/ButtonHost.h"

ToolbarSharedMemory::~ToolbarSharedMemory() {
    Close();
}

BOOL ToolbarSharedMemory::Open() {
    Close();
    mapping_ = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, ToolbarSharedMemoryName);
    if (!mapping_) return FALSE;
    baseAddress_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    // Whoever made the block chose its size and kind: a section made with SEC_RESERVE maps
    // pages that are not committed, and reading them would fault. Only a view whose first
    // block of the toolbar's size can be read is used.
    if (!baseAddress_ || IsBadReadPtr(baseAddress_, ToolbarSharedMemorySize)) {
        Close();
        return FALSE;
    }
    view_ = static_cast<BYTE*>(baseAddress_);
    return TRUE;
}

void ToolbarSharedMemory::Close() {
    view_ = nullptr;
    if (baseAddress_) {
        UnmapViewOfFile(baseAddress_);
        baseAddress_ = nullptr;
    }
    if (mapping_) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
    }
}

// The toolbar writes the block while we read it: each word is one aligned 32-bit read
// through the live view, so a change is seen by the next call without reopening.
DWORD ToolbarSharedMemory::GetUserNumber() {
    if (!view_ && !Open()) return 0;
    return *reinterpret_cast<volatile DWORD*>(view_ + ToolbarSharedUserOffset);
}

DWORD ToolbarSharedMemory::GetUserExtra() {
    if (!view_ && !Open()) return 0;
    return *reinterpret_cast<volatile DWORD*>(view_ + ToolbarSharedExtraOffset);
}
