// Removes entries from the current user's WinINet URL cache: the temporary files or the cookies.
#pragma once

#include <windows.h>

// Mode 0: deletes every entry that is neither a cookie nor a history record. Mode 1: deletes
// every cookie. Any other mode enumerates the cache and deletes nothing. Returns 1 when the
// enumeration started, 0 when the cache held nothing or the entry buffer could not be had.
int CleanUrlCache(int mode);
int CleanTemporaryFiles();
int CleanCookies();
