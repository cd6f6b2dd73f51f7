// A host record as the toolbar passes it to OnButtonMessage: 276 bytes with the button's
// name pointer at byte 28 and its command id at byte 32.
#pragma once

#include <windows.h>
#include <string>

#include "src/host/ButtonHost.h"

class HostInfo {
public:
    HostInfo(const wchar_t* name, WORD commandId);
    HostInfo(const HostInfo&) = delete;
    HostInfo& operator=(const HostInfo&) = delete;

    const ButtonHostInfo* Get() const { return reinterpret_cast<const ButtonHostInfo*>(bytes_); }
    void SetName(const wchar_t* name);
    void SetCommandId(WORD commandId);

private:
    BYTE bytes_[ButtonHostInfoSize] = {};
    std::wstring name_;
};

// A block of `readable` bytes that ends exactly where a reserved (inaccessible) page begins.
class ShortHostInfo {
public:
    explicit ShortHostInfo(UINT readable);
    ~ShortHostInfo();
    ShortHostInfo(const ShortHostInfo&) = delete;
    ShortHostInfo& operator=(const ShortHostInfo&) = delete;
    const ButtonHostInfo* Get() const { return reinterpret_cast<const ButtonHostInfo*>(block_); }

private:
    BYTE* region_ = nullptr;
    BYTE* block_ = nullptr;
};
