// The toolbar's shared-memory block as the toolbar publishes it: a paging-file mapping named
// "{138957F9-3748-42b7-884D-1CDE0A092AAA}" of 80 bytes, user number at byte 8 and its
// companion word at byte 12. Starts zeroed; the mapping is closed on destruction. A broken
// toolbar's block can be made too: another size, or pages only reserved (SEC_RESERVE).
// The module's reader keeps its own view once it has opened the block, which keeps the
// mapping alive: a test that needs the block absent closes that reader as well.
#pragma once

#include <windows.h>

#include "env/Handles.h"

class SharedMemoryBlock {
public:
    // size: the mapping's size in bytes; flags: added to PAGE_READWRITE (SEC_RESERVE).
    explicit SharedMemoryBlock(DWORD size = 80, DWORD flags = 0);
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    BOOL IsValid() const { return static_cast<bool>(view_); }
    void SetUserNumber(DWORD userNumber);
    void SetCompanion(DWORD value);
    void WriteWord(DWORD offset, DWORD value);
    DWORD ReadWord(DWORD offset) const;
    // Copies bytes over the start of the block, as far as its size allows.
    void WriteBytes(const BYTE* bytes, DWORD count);

private:
    UniqueHandleValue mapping_;
    UniqueView view_;
    DWORD size_;
    bool committed_;
};
