// The installation's identity as a 24-byte block rendered in 32 characters.
#pragma once

#include <windows.h>

constexpr int IdentityBlockSize = 24;
constexpr char IdentityAlphabet[] =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!-";

class ClientIdentity {
public:
    ClientIdentity() = default;
    virtual ~ClientIdentity() = default;
    ClientIdentity(const ClientIdentity&) = delete;
    ClientIdentity& operator=(const ClientIdentity&) = delete;

    // The 32-character identity text, collected and encoded on first use.
    const WCHAR* GetIdentityText();
    void CollectIdentity();
    const BYTE* Block() const { return block_; }

private:
    BYTE block_[IdentityBlockSize] = {};
    BOOL collected_ = FALSE;
    WCHAR text_[128] = {};
};

// Base64 bit grouping over IdentityAlphabet, no padding, no terminator written.
// 0 when length is not a multiple of 3 or capacity is below 4 characters per 3 bytes.
int EncodeIdentity(const BYTE* data, int length, char* output, int capacity);
