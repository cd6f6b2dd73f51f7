// The toolbar's shared-memory block as the toolbar publishes it: a paging-file mapping named
// "{138957F9-3748-42b7-884D-1CDE0A092AAA}" of 80 bytes, user number at byte 8 and its
// companion word at byte 12. Starts zeroed; the mapping is closed on destruction.
// The module's reader keeps its own view once it has opened the block, which keeps the
// mapping alive: a test that needs the block absent closes that reader as well.
#pragma once

#include <windows.h>

#include "env/Handles.h"

class SharedMemoryBlock {
public:
    SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    BOOL IsValid() const { return static_cast<bool>(view_); }
    void SetUserNumber(DWORD userNumber);
    void SetCompanion(DWORD value);
    void WriteWord(DWORD offset, DWORD value);
    DWORD ReadWord(DWORD offset) const;

private:
    UniqueHandleValue mapping_;
    UniqueView view_;
};
