// The browser's typed-URL list (HKCU "Software\Microsoft\Internet Explorer\TypedURLs", values
// url1 ... url25) and the toolbar's "DeletedUrls" lists, written and read the way the browser
// and the toolbar keep them, for code that needs a known store state.
#pragma once

#include <windows.h>
#include <map>
#include <string>
#include <vector>

extern const WCHAR TypedUrlsKey[];

// Writes urls as url1, url2, ... in order; false when the key cannot be created.
bool SeedTypedUrls(const std::vector<std::wstring>& urls);
void DeleteTypedUrls();
// The typed-URL list as url1, url2, ... in order.
std::vector<std::wstring> TypedUrls();
// The values prefix1 ... prefix25 of HKCU\path that exist, in that order.
std::vector<std::wstring> NumberedValues(const WCHAR* path, const WCHAR* prefix);
// The values 1 ... 25 of both "DeletedUrls" keys (before and from NT 6), in that order.
std::vector<std::wstring> DeletedUrls();

// One registry value as it is stored: its type and its bytes.
struct StoredValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
    bool operator==(const StoredValue& other) const {
        return type == other.type && bytes == other.bytes;
    }
};
using StoredValues = std::map<std::wstring, StoredValue>;

// A REG_SZ of text as the store writes it: its units and the terminator.
StoredValue StringValue(const std::wstring& text);
// Every value of root\path by name, as stored, whatever its size; none when the key is missing.
StoredValues ReadStoredValues(const WCHAR* path, HKEY root = HKEY_CURRENT_USER);
