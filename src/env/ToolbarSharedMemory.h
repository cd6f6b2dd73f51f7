// Read-only view of the toolbar's shared-memory block.
#pragma once

#include <windows.h>

class ToolbarSharedMemory {
public:
    ToolbarSharedMemory() = default;
    virtual ~ToolbarSharedMemory();
    ToolbarSharedMemory(const ToolbarSharedMemory&) = delete;
    ToolbarSharedMemory& operator=(const ToolbarSharedMemory&) = delete;

    // Each opens the block when it is not open yet; 0 when it cannot be opened.
    DWORD GetUserNumber();
    DWORD GetUserExtra();
    BOOL IsOpen() const { return view_ != nullptr; }
    BOOL Open();
    void Close();

private:
    BYTE* view_ = nullptr;
    HANDLE mapping_ = nullptr;
    void* baseAddress_ = nullptr;
};

// The process-wide reader, built by the module's static initialisation.
ToolbarSharedMemory& TheToolbarSharedMemory();
