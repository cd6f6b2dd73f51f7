#include "testbed/SiteIconCache.h"

#include <wininet.h>

#include "testbed/SolidIcons.h"

bool SeedSiteIcon(const wchar_t* iconUrl, COLORREF color) {
    WCHAR file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(iconUrl, 0, L"ico", file, 0)) return false;
    if (!WriteSolidIconFile(file, 16, color)) return false;
    FILETIME never = {};
    return CommitUrlCacheEntryW(iconUrl, file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0,
                                nullptr, nullptr) != FALSE;
}

bool RemoveSiteIcon(const wchar_t* iconUrl) {
    return DeleteUrlCacheEntryW(iconUrl) != FALSE;
}
