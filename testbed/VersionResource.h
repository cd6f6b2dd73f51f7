// Gives a copy of a program a version resource of our choosing, so that version queries run
// on real files: the resource is built in memory and written with UpdateResourceW.
#pragma once

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

struct VersionResourceContent {
    WORD fileVersion[4] = {};
    WORD productVersion[4] = {};
    std::vector<std::pair<std::wstring, std::wstring>> strings; // name, value
    // The string table's name: language and code page.
    WORD tableLanguage = 0x0409;
    WORD tableCodePage = 1200;
    // "\VarFileInfo\Translation" entries (language, code page); none: no such block.
    std::vector<std::pair<WORD, WORD>> translations = {{0x0409, 1200}};
};

// The binary VS_VERSIONINFO block of the content.
std::vector<BYTE> BuildVersionResource(const VersionResourceContent& content);

// Copies the PE file source to target and adds the block as version resource 1.
BOOL WriteVersionedCopy(const WCHAR* source, const WCHAR* target,
                        const VersionResourceContent& content);
