// Site icons ("http://host/favicon.ico") as the browser leaves them in the current user's
// WinINet URL cache: a normal cache entry backed by a real .ico file.
#pragma once

#include <windows.h>
#include <vector>

// Caches the .ico file's bytes under iconUrl; true when the entry was committed.
bool SeedSiteIcon(const wchar_t* iconUrl, const std::vector<BYTE>& iconFile);
// Caches a 16 x 16 icon of color.
bool SeedSiteIcon(const wchar_t* iconUrl, COLORREF color);
// Removes the entry and its file; true when there was one.
bool RemoveSiteIcon(const wchar_t* iconUrl);
