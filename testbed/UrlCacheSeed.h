// Seeds the current user's WinINet URL cache with real entries and lists what it holds.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct CacheEntry {
    std::wstring name; // lpszSourceUrlName
    DWORD type;        // CacheEntryType
};

// An ordinary (NORMAL_CACHE_ENTRY) entry backed by a real file in the cache folder. `header`,
// when given, is stored as the entry's header info and lengthens its record.
bool SeedCacheEntry(const wchar_t* url, const std::wstring& header = std::wstring());
// An entry whose record needs more than `minimumRecordBytes` (default: well past the 10,240
// bytes a first enumeration buffer holds), made so by a long header.
bool SeedOversizedEntry(const wchar_t* url, DWORD minimumRecordBytes = 16000);
// A cookie entry (COOKIE_CACHE_ENTRY, with a file); name like "Cookie:user@example.com/".
bool SeedCookie(const wchar_t* name, const std::wstring& header = std::wstring());
// A history entry (URLHISTORY_CACHE_ENTRY, no file); name like
// "Visited: user@http://example.com/".
bool SeedHistoryEntry(const wchar_t* name);

// Every entry, in the cache's own order, enumerated with no search pattern.
std::vector<CacheEntry> ListCacheEntries();
// The names only, sorted, for comparisons.
std::vector<std::wstring> ListCacheEntryNames();
// Bytes the cache needs for the record of `url` (GetUrlCacheEntryInfoW), 0 if it has none.
DWORD CacheEntryRecordSize(const wchar_t* url);
// Deletes every entry the cache lists; true when none is left afterwards.
bool ClearUrlCache();
