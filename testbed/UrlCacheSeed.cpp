#include "testbed/UrlCacheSeed.h"

#include <wininet.h>
#include <algorithm>
#include <memory>

namespace {

bool Commit(const wchar_t* url, DWORD type, const std::wstring& header, bool withFile) {
    WCHAR file[MAX_PATH] = {};
    if (withFile) {
        if (!CreateUrlCacheEntryW(url, 0, L"htm", file, 0)) return false;
        HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        static const char content[] = "<html>seeded</html>";
        DWORD written = 0;
        BOOL wrote = WriteFile(handle, content, sizeof(content) - 1, &written, nullptr);
        CloseHandle(handle);
        if (!wrote) return false;
    }
    FILETIME never = {};
    std::wstring headerCopy = header;
    return CommitUrlCacheEntryW(url, withFile ? file : nullptr, never, never, type,
                                headerCopy.empty() ? nullptr : &headerCopy[0],
                                static_cast<DWORD>(headerCopy.size()), nullptr, nullptr) != FALSE;
}

// Walks the cache with a buffer that grows to whatever an entry needs.
template <typename Visit> void EnumerateCache(Visit visit) {
    DWORD capacity = 4096;
    std::unique_ptr<BYTE[]> block(new BYTE[capacity]());
    auto entry = [&] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(block.get()); };
    auto grow = [&](DWORD size) {
        capacity = size;
        block.reset(new BYTE[capacity]());
    };

    DWORD size = capacity;
    HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    while (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > capacity) {
        grow(size);
        find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    }
    if (!find) return;
    for (;;) {
        visit(*entry());
        size = capacity;
        BOOL found = FindNextUrlCacheEntryW(find, entry(), &size);
        while (!found && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > capacity) {
            grow(size);
            found = FindNextUrlCacheEntryW(find, entry(), &size);
        }
        if (!found) break;
    }
    FindCloseUrlCache(find);
}

} // namespace

bool SeedCacheEntry(const wchar_t* url, const std::wstring& header) {
    return Commit(url, NORMAL_CACHE_ENTRY, header, true);
}

bool SeedOversizedEntry(const wchar_t* url, DWORD minimumRecordBytes) {
    // Header text is stored as UTF-16 inside the record, two bytes a character.
    std::wstring header = L"X-Padding: " + std::wstring(minimumRecordBytes / 2, L'p') + L"\r\n";
    return Commit(url, NORMAL_CACHE_ENTRY, header, true) &&
           CacheEntryRecordSize(url) > minimumRecordBytes;
}

bool SeedCookie(const wchar_t* name, const std::wstring& header) {
    return Commit(name, COOKIE_CACHE_ENTRY, header, true);
}

bool SeedHistoryEntry(const wchar_t* name) {
    return Commit(name, URLHISTORY_CACHE_ENTRY, L"", false);
}

std::vector<CacheEntry> ListCacheEntries() {
    std::vector<CacheEntry> entries;
    EnumerateCache([&](const INTERNET_CACHE_ENTRY_INFOW& entry) {
        entries.push_back(
            {entry.lpszSourceUrlName ? entry.lpszSourceUrlName : L"", entry.CacheEntryType});
    });
    return entries;
}

std::vector<std::wstring> ListCacheEntryNames() {
    std::vector<std::wstring> names;
    for (const CacheEntry& entry : ListCacheEntries())
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

DWORD CacheEntryRecordSize(const wchar_t* url) {
    DWORD size = 0;
    if (GetUrlCacheEntryInfoW(url, nullptr, &size)) return 0;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size : 0;
}

bool ClearUrlCache() {
    for (const CacheEntry& entry : ListCacheEntries())
        DeleteUrlCacheEntryW(entry.name.c_str());
    return ListCacheEntries().empty();
}
