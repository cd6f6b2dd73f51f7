// String constants kept in the module as scrambled bytes and descrambled on first use.
#pragma once

#include <windows.h>

// The four key bytes every HiddenString of the process descrambles with.
extern const BYTE HiddenStringKeyTable[4];
// The text handed out whenever a constant cannot be descrambled; never freed.
extern const WCHAR HiddenStringEmptyText[1];

class HiddenString {
public:
    // Copies length bytes of scrambled; a copy that cannot be made leaves the text empty.
    HiddenString(BYTE seed, const BYTE* scrambled, int length);
    ~HiddenString();
    HiddenString(const HiddenString&) = delete;
    HiddenString& operator=(const HiddenString&) = delete;

    // The descrambled text (one unit per scrambled byte), made on the first call and kept;
    // HiddenStringEmptyText when that is impossible. Never null.
    const WCHAR* Text();

private:
    const WCHAR* text_ = nullptr;
    BYTE* scrambled_ = nullptr;
    int length_ = 0;
    BYTE seed_ = 0;
};

// Writes length units and a terminator into out; 0 (out untouched) when capacity is less
// than length + 1 units.
int DescrambleBytes(BYTE seed, const BYTE* scrambled, int length, WCHAR* out, int capacity);
