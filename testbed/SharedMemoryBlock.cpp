#include "testbed/SharedMemoryBlock.h"

#include <cstring>

#include "host/ButtonHost.h"

SharedMemoryBlock::SharedMemoryBlock(DWORD size, DWORD flags)
    : size_(size), committed_((flags & SEC_RESERVE) == 0) {
    mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | flags, 0,
                                      size_, ToolbarSharedMemoryName));
    if (!mapping_) return;
    view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size_));
    // A mapping still held open elsewhere comes back with its old content.
    if (view_ && committed_) memset(view_.Get(), 0, size_);
}

void SharedMemoryBlock::SetUserNumber(DWORD userNumber) {
    WriteWord(ToolbarSharedUserOffset, userNumber);
}

void SharedMemoryBlock::SetCompanion(DWORD value) {
    WriteWord(ToolbarSharedExtraOffset, value);
}

void SharedMemoryBlock::WriteWord(DWORD offset, DWORD value) {
    if (!view_ || !committed_ || offset + sizeof(DWORD) > size_) return;
    *reinterpret_cast<volatile DWORD*>(static_cast<BYTE*>(view_.Get()) + offset) = value;
}

DWORD SharedMemoryBlock::ReadWord(DWORD offset) const {
    if (!view_ || !committed_ || offset + sizeof(DWORD) > size_) return 0;
    return *reinterpret_cast<volatile DWORD*>(static_cast<BYTE*>(view_.Get()) + offset);
}

void SharedMemoryBlock::WriteBytes(const BYTE* bytes, DWORD count) {
    if (!view_ || !committed_) return;
    memcpy(view_.Get(), bytes, count < size_ ? count : size_);
}
