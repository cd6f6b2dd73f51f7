// Content entries of the current user's WinINet URL cache, as the browser leaves them after a
// download: a small file under the cache folder, committed for a URL.
#pragma once

#include <windows.h>

// Creates (or replaces) the entry for url with a few bytes of content; true when committed.
bool SeedUrlCacheEntry(const WCHAR* url);
bool UrlCacheEntryExists(const WCHAR* url);
void DeleteUrlCacheEntryOf(const WCHAR* url);
