#include "testbed/HostInfo.h"

#include <cstring>

HostInfo::HostInfo(const wchar_t* name, WORD commandId) {
    SetName(name);
    SetCommandId(commandId);
}

void HostInfo::SetName(const wchar_t* name) {
    const wchar_t* pointer = nullptr;
    if (name) {
        name_ = name;
        pointer = name_.c_str();
    }
    memcpy(bytes_ + ButtonHostInfoNameOffset, &pointer, sizeof(pointer));
}

void HostInfo::SetCommandId(WORD commandId) {
    memcpy(bytes_ + ButtonHostInfoCommandIdOffset, &commandId, sizeof(commandId));
}

ShortHostInfo::ShortHostInfo(UINT readable) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize;
    // Two pages reserved, only the first committed: reading past it faults.
    region_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE, PAGE_NOACCESS));
    if (!region_) return;
    VirtualAlloc(region_, page, MEM_COMMIT, PAGE_READWRITE);
    block_ = region_ + page - readable;
}

ShortHostInfo::~ShortHostInfo() {
    if (region_) VirtualFree(region_, 0, MEM_RELEASE);
}
