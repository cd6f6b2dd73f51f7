#include "testbed/VersionResource.h"

#include <cstring>

namespace {

void Align(std::vector<BYTE>& out) {
    while (out.size() % 4)
        out.push_back(0);
}

void PutWord(std::vector<BYTE>& out, WORD value) {
    out.push_back(LOBYTE(value));
    out.push_back(HIBYTE(value));
}

void PutText(std::vector<BYTE>& out, const std::wstring& text) {
    for (wchar_t c : text)
        PutWord(out, static_cast<WORD>(c));
    PutWord(out, 0);
}

// One node: wLength, wValueLength, wType, key, padding, value, padding, children. The length
// counts everything but the padding after the node itself.
std::vector<BYTE> Node(const std::wstring& key, WORD type, const std::vector<BYTE>& value,
                       WORD valueLength, const std::vector<std::vector<BYTE>>& children) {
    std::vector<BYTE> out;
    PutWord(out, 0);
    PutWord(out, valueLength);
    PutWord(out, type);
    PutText(out, key);
    Align(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const std::vector<BYTE>& child : children) {
        Align(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    WORD length = static_cast<WORD>(out.size());
    memcpy(out.data(), &length, sizeof(length));
    return out;
}

std::vector<BYTE> TextNode(const std::wstring& key, const std::wstring& text) {
    std::vector<BYTE> value;
    PutText(value, text);
    return Node(key, 1, value, static_cast<WORD>(text.size() + 1), {});
}

} // namespace

std::vector<BYTE> BuildVersionResource(const VersionResourceContent& content) {
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = MAKELONG(content.fileVersion[1], content.fileVersion[0]);
    fixed.dwFileVersionLS = MAKELONG(content.fileVersion[3], content.fileVersion[2]);
    fixed.dwProductVersionMS = MAKELONG(content.productVersion[1], content.productVersion[0]);
    fixed.dwProductVersionLS = MAKELONG(content.productVersion[3], content.productVersion[2]);
    fixed.dwFileFlagsMask = 0x3F;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_DLL;
    std::vector<BYTE> fixedBytes(sizeof(fixed));
    memcpy(fixedBytes.data(), &fixed, sizeof(fixed));

    std::vector<std::vector<BYTE>> strings;
    for (const auto& entry : content.strings)
        strings.push_back(TextNode(entry.first, entry.second));
    WCHAR tableName[16] = {};
    wsprintfW(tableName, L"%04x%04x", content.tableLanguage, content.tableCodePage);
    std::vector<std::vector<BYTE>> children;
    children.push_back(Node(L"StringFileInfo", 1, {}, 0, {Node(tableName, 1, {}, 0, strings)}));
    if (!content.translations.empty()) {
        std::vector<BYTE> translation;
        for (const auto& entry : content.translations) {
            PutWord(translation, entry.first);
            PutWord(translation, entry.second);
        }
        WORD size = static_cast<WORD>(translation.size());
        children.push_back(
            Node(L"VarFileInfo", 1, {}, 0, {Node(L"Translation", 0, translation, size, {})}));
    }
    return Node(L"VS_VERSION_INFO", 0, fixedBytes, sizeof(fixed), children);
}

BOOL WriteVersionedCopy(const WCHAR* source, const WCHAR* target,
                        const VersionResourceContent& content) {
    if (!CopyFileW(source, target, FALSE)) return FALSE;
    std::vector<BYTE> block = BuildVersionResource(content);
    HANDLE update = BeginUpdateResourceW(target, FALSE);
    if (!update) return FALSE;
    BOOL ok = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), block.data(),
                              static_cast<DWORD>(block.size()));
    return EndUpdateResourceW(update, !ok) && ok;
}
