#include "cleaners/UrlCacheCleaner.h"

#include <wininet.h>
#include <cstring>

#include "env/Handles.h"

namespace {

constexpr DWORD InitialEntryCapacity = 10240;

inline void CloseUrlCacheFind(HANDLE find) {
    FindCloseUrlCache(find);
}
using UniqueUrlCacheFind = UniqueHandle<HANDLE, CloseUrlCacheFind>;

// One heap block for one cache record and its trailing strings. It grows to whatever size the
// cache asks for and never shrinks, so one block serves the whole enumeration.
class CacheEntryBuffer {
public:
    CacheEntryBuffer() = default;
    ~CacheEntryBuffer() { Free(); }
    CacheEntryBuffer(const CacheEntryBuffer&) = delete;
    CacheEntryBuffer& operator=(const CacheEntryBuffer&) = delete;

    // Replaces the block by one of `capacity` bytes; false (and no block) when out of memory.
    bool Allocate(DWORD capacity) {
        Free();
        block_ = HeapAlloc(GetProcessHeap(), 0, capacity);
        capacity_ = block_ ? capacity : 0;
        return block_ != nullptr;
    }

    // Zero-fills the block and sets the record's size and the in/out size to the capacity.
    DWORD Prepare() {
        memset(block_, 0, capacity_);
        Entry()->dwStructSize = capacity_;
        return capacity_;
    }

    INTERNET_CACHE_ENTRY_INFOW* Entry() const {
        return static_cast<INTERNET_CACHE_ENTRY_INFOW*>(block_);
    }
    DWORD Capacity() const { return capacity_; }

private:
    void Free() {
        if (block_) HeapFree(GetProcessHeap(), 0, block_);
        block_ = nullptr;
        capacity_ = 0;
    }

    void* block_ = nullptr;
    DWORD capacity_ = 0;
};

// Cookies are enumerated under their own prefix (matched case-sensitively by some caches);
// everything else walks the whole cache.
const WCHAR* SearchPattern(int mode) {
    return mode == 1 ? L"Cookie:" : nullptr;
}

bool ShouldDelete(int mode, DWORD entryType) {
    switch (mode) {
    case 0:
        return (entryType & (COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY)) == 0;
    case 1:
        return (entryType & COOKIE_CACHE_ENTRY) != 0;
    default:
        return false;
    }
}

// The cache reports ERROR_INSUFFICIENT_BUFFER with the size it needs in `size`. A reported
// size that is not larger than the block could never be satisfied, so it ends the loop.
bool NeedsLargerBuffer(const CacheEntryBuffer& buffer, DWORD size) {
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > buffer.Capacity();
}

} // namespace

int CleanUrlCache(int mode) {
    CacheEntryBuffer buffer;
    if (!buffer.Allocate(InitialEntryCapacity)) return 0;

    const WCHAR* pattern = SearchPattern(mode);
    DWORD size = buffer.Prepare();
    UniqueUrlCacheFind find(FindFirstUrlCacheEntryW(pattern, buffer.Entry(), &size));
    while (!find && NeedsLargerBuffer(buffer, size)) {
        if (!buffer.Allocate(size)) return 0;
        size = buffer.Prepare();
        find.Reset(FindFirstUrlCacheEntryW(pattern, buffer.Entry(), &size));
    }
    if (!find) return 0;

    for (;;) {
        INTERNET_CACHE_ENTRY_INFOW* entry = buffer.Entry();
        if (ShouldDelete(mode, entry->CacheEntryType) && entry->lpszSourceUrlName)
            DeleteUrlCacheEntryW(entry->lpszSourceUrlName);

        size = buffer.Prepare();
        BOOL found = FindNextUrlCacheEntryW(find.Get(), buffer.Entry(), &size);
        while (!found && NeedsLargerBuffer(buffer, size)) {
            if (!buffer.Allocate(size)) return 1;
            size = buffer.Prepare();
            found = FindNextUrlCacheEntryW(find.Get(), buffer.Entry(), &size);
        }
        if (!found) return 1;
    }
}

int CleanTemporaryFiles() {
    return CleanUrlCache(0);
}

int CleanCookies() {
    return CleanUrlCache(1);
}
