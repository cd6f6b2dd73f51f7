#include "testbed/SharedMemoryBlock.h"

#include <cstring>

#include "host/ButtonHost.h"

SharedMemoryBlock::SharedMemoryBlock() {
    mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      ToolbarSharedMemorySize, ToolbarSharedMemoryName));
    if (!mapping_) return;
    view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, 0, 0, ToolbarSharedMemorySize));
    // A mapping still held open elsewhere comes back with its old content.
    if (view_) memset(view_.Get(), 0, ToolbarSharedMemorySize);
}

void SharedMemoryBlock::SetUserNumber(DWORD userNumber) {
    WriteWord(ToolbarSharedUserOffset, userNumber);
}

void SharedMemoryBlock::SetCompanion(DWORD value) {
    WriteWord(ToolbarSharedExtraOffset, value);
}

void SharedMemoryBlock::WriteWord(DWORD offset, DWORD value) {
    if (!view_ || offset + sizeof(DWORD) > ToolbarSharedMemorySize) return;
    *reinterpret_cast<volatile DWORD*>(static_cast<BYTE*>(view_.Get()) + offset) = value;
}

DWORD SharedMemoryBlock::ReadWord(DWORD offset) const {
    if (!view_ || offset + sizeof(DWORD) > ToolbarSharedMemorySize) return 0;
    return *reinterpret_cast<volatile DWORD*>(static_cast<BYTE*>(view_.Get()) + offset);
}
