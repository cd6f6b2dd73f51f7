// Random content for the stores a browser add-on reads, well formed and broken, drawn from one
// seeded generator so that a run can be replayed: URLs (short, exactly 2083 or 2084 units, or
// longer), registry values of the wrong type, empty, without a terminator, of odd or huge
// sizes, key trees deep and wide with keys the user may not open or delete, and files.
#pragma once

#include <windows.h>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

class HostileContent {
public:
    explicit HostileContent(uint32_t seed) : random_(seed) {}

    // 0 ... range - 1 (0 for an empty range).
    unsigned Pick(unsigned range);
    bool Chance(unsigned percent) { return Pick(100) < percent; }
    std::vector<BYTE> Bytes(size_t count);
    // Letters and digits.
    std::wstring Word(size_t length);

    // A URL of about this many units: the scheme and a host made from `host`, then path.
    std::wstring UrlOfLength(size_t units, unsigned host);
    // Mostly short; sometimes exactly 2083 or 2084 units, or longer (up to 5,000).
    std::wstring Url();

    // A REG_SZ holding text and its terminator.
    void WriteString(HKEY key, const std::wstring& name, const std::wstring& text);
    // A value that is no well-formed string: another type, no bytes, an odd count of bytes,
    // text without its terminator, or a huge one (up to two megabytes).
    void WriteBrokenValue(HKEY key, const std::wstring& name);

    // Sub keys under root\path with a few values each; with `denied` some of them refuse the
    // user reading (an empty DACL) or deletion (read access only).
    void AddSubKeys(HKEY root, const std::wstring& path, int count, bool denied);
    // A tree under root\path: a chain `depth` keys deep, a few sub keys beside each, and
    // `width` beside one of them.
    void AddTree(HKEY root, const std::wstring& path, int depth, int width, bool denied);
    // The DACL that refuses the user everything, or allows reading only.
    void Deny(HKEY root, const std::wstring& path);

private:
    std::mt19937 random_;
};
