#include "testbed/UrlCacheEntries.h"

#include <wininet.h>

bool SeedUrlCacheEntry(const WCHAR* url) {
    WCHAR file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url, 0, L"htm", file, 0)) return false;
    HANDLE handle =
        CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const char content[] = "<html>cached</html>";
    DWORD written = 0;
    BOOL wrote = WriteFile(handle, content, sizeof(content) - 1, &written, nullptr);
    CloseHandle(handle);
    if (!wrote) return false;
    FILETIME never = {};
    return CommitUrlCacheEntryW(url, file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr,
                                nullptr) != FALSE;
}

bool UrlCacheEntryExists(const WCHAR* url) {
    DWORD size = 0;
    if (GetUrlCacheEntryInfoW(url, nullptr, &size)) return true;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void DeleteUrlCacheEntryOf(const WCHAR* url) {
    DeleteUrlCacheEntryW(url);
}
