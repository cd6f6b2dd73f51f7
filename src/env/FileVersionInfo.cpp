#include "env/SystemQueries.h"

#include <cstdio>

FileVersionInfo::FileVersionInfo(const WCHAR* path) {
    if (path) lstrcpynW(path_, path, MAX_PATH);
    loaded_ = Load();
}

FileVersionInfo::~FileVersionInfo() {
    if (block_) HeapFree(GetProcessHeap(), 0, block_);
}

BOOL FileVersionInfo::Load() {
    if (!path_[0]) return FALSE;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path_, &handle);
    if (!size) return FALSE;
    block_ = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block_) return FALSE;
    if (!GetFileVersionInfoW(path_, 0, size, block_)) return FALSE;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(block_, L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return FALSE;
    VS_FIXEDFILEINFO info = *fixed;

    fileVersion_[0] = HIWORD(info.dwFileVersionMS);
    fileVersion_[1] = LOWORD(info.dwFileVersionMS);
    fileVersion_[2] = HIWORD(info.dwFileVersionLS);
    fileVersion_[3] = LOWORD(info.dwFileVersionLS);
    productVersion_[0] = HIWORD(info.dwProductVersionMS);
    productVersion_[1] = LOWORD(info.dwProductVersionMS);
    productVersion_[2] = HIWORD(info.dwProductVersionLS);
    productVersion_[3] = LOWORD(info.dwProductVersionLS);
    fileFlagsMask_ = info.dwFileFlagsMask;
    fileFlags_ = info.dwFileFlags;
    fileOs_ = info.dwFileOS;
    fileType_ = info.dwFileType;
    fileSubtype_ = info.dwFileSubtype;

    QueryStringValue(L"CompanyName", companyName_, MAX_PATH);
    QueryStringValue(L"FileDescription", fileDescription_, MAX_PATH);
    QueryStringValue(L"ProductName", productName_, MAX_PATH);
    return TRUE;
}

// Only the first entry of the translation table names the string table that is looked at.
int FileVersionInfo::QueryStringValue(const WCHAR* name, WCHAR* buffer, int capacity) const {
    if (!block_ || !name || !buffer || capacity <= 0) return 0;
    WORD* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueW(block_, L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &translationSize) ||
        !translation || translationSize < 2 * sizeof(WORD))
        return 0;

    WCHAR subBlock[MAX_PATH] = {};
    _snwprintf(subBlock, MAX_PATH - 1, L"\\StringFileInfo\\%04x%04x\\%s", translation[0],
               translation[1], name);
    WCHAR* value = nullptr;
    UINT valueSize = 0;
    if (!VerQueryValueW(block_, subBlock, reinterpret_cast<void**>(&value), &valueSize) || !value)
        return 0;
    lstrcpynW(buffer, value, capacity);
    return 1;
}

WORD FileVersionInfo::FileVersion(int index) const {
    if (!loaded_ || index < 0 || index > 3) return 0;
    return fileVersion_[index];
}

WORD FileVersionInfo::ProductVersion(int index) const {
    if (!loaded_ || index < 0 || index > 3) return 0;
    return productVersion_[index];
}

int GetFileVersionString(const WCHAR* path, WCHAR* buffer, int capacity) {
    if (!path || !buffer || capacity < 1) return 0;
    FileVersionInfo info(path);
    if (!info.IsLoaded()) return 0;
    _snwprintf(buffer, capacity - 1, L"%d.%d.%d.%d", info.FileVersion(0), info.FileVersion(1),
               info.FileVersion(2), info.FileVersion(3));
    // _snwprintf leaves the text unterminated when it had to cut it.
    buffer[capacity - 1] = L'\0';
    return 1;
}
