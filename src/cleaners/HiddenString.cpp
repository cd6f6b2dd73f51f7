#include "cleaners/HiddenString.h"

#include <cstring>
#include <new>

const BYTE HiddenStringKeyTable[4] = {0x3D, 0xA7, 0x5E, 0xC1};
const WCHAR HiddenStringEmptyText[1] = {L'\0'};

HiddenString::HiddenString(BYTE seed, const BYTE* scrambled, int length)
    : length_(length), seed_(seed) {
    if (length < 0 || (length > 0 && !scrambled)) return;
    // One byte more than asked for, so that a length of 0 still gets a block of its own.
    scrambled_ = new (std::nothrow) BYTE[static_cast<size_t>(length) + 1];
    if (scrambled_ && length > 0) memcpy(scrambled_, scrambled, static_cast<size_t>(length));
}

HiddenString::~HiddenString() {
    if (text_ != HiddenStringEmptyText) delete[] text_;
    delete[] scrambled_;
}

const WCHAR* HiddenString::Text() {
    if (text_) return text_;
    if (!scrambled_) {
        text_ = HiddenStringEmptyText;
        return text_;
    }
    long long units = static_cast<long long>(length_) + 1;
    WCHAR* block = nullptr;
    if (units > 0 && units <= 0x3FFFFFFF) block = new (std::nothrow) WCHAR[units];
    if (!block) {
        text_ = HiddenStringEmptyText;
        return text_;
    }
    if (!DescrambleBytes(seed_, scrambled_, length_, block, static_cast<int>(units))) {
        delete[] block;
        text_ = HiddenStringEmptyText;
        return text_;
    }
    text_ = block;
    return text_;
}

int DescrambleBytes(BYTE seed, const BYTE* scrambled, int length, WCHAR* out, int capacity) {
    if (length < 0 || !out || capacity <= 0 || capacity - 1 < length) return 0;
    for (int i = 0; i < length; i++) {
        BYTE mask = static_cast<BYTE>(seed + HiddenStringKeyTable[i % 4]);
        BYTE plain = static_cast<BYTE>((scrambled[i] ^ mask) ^ 0x80);
        out[i] = static_cast<WCHAR>(plain);
    }
    out[length] = L'\0';
    return 1;
}
