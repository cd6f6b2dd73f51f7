#include "testbed/SiteIconCache.h"

#include <wininet.h>

#include "testbed/SolidIcons.h"

bool SeedSiteIcon(const wchar_t* iconUrl, const std::vector<BYTE>& iconFile) {
    WCHAR file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(iconUrl, 0, L"ico", file, 0)) return false;
    if (!WriteIconFile(file, iconFile)) return false;
    FILETIME never = {};
    return CommitUrlCacheEntryW(iconUrl, file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0,
                                nullptr, nullptr) != FALSE;
}

bool SeedSiteIcon(const wchar_t* iconUrl, COLORREF color) {
    return SeedSiteIcon(iconUrl, SolidIconFileBytes(16, color));
}

bool RemoveSiteIcon(const wchar_t* iconUrl) {
    return DeleteUrlCacheEntryW(iconUrl) != FALSE;
}
