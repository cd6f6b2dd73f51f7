#include "EnvTestSupport.h"

#include <shlwapi.h>

#include "env/Handles.h"

SavedRegistryValue::SavedRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name)
    : root_(root), key_(key), name_(name) {
    UniqueRegKey opened;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, opened.Put()) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExW(opened.Get(), name, nullptr, &type_, nullptr, &size) != ERROR_SUCCESS)
        return;
    data_.resize(size);
    if (RegQueryValueExW(opened.Get(), name, nullptr, &type_, data_.data(), &size) != ERROR_SUCCESS)
        return;
    data_.resize(size);
    existed_ = true;
}

SavedRegistryValue::~SavedRegistryValue() {
    if (existed_)
        SetRegistryValue(root_, key_.c_str(), name_.c_str(), type_, data_.data(),
                         static_cast<DWORD>(data_.size()));
    else
        DeleteRegistryValue(root_, key_.c_str(), name_.c_str());
}

bool SetRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type,
                      const void* data, DWORD size) {
    UniqueRegKey opened;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, opened.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(opened.Get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool SetRegistryText(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* text) {
    DWORD size = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return SetRegistryValue(root, key, name, REG_SZ, text, size);
}

void DeleteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    SHDeleteValueW(root, key, name);
}

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.Get(), &found));
    }
    find.Reset();
    RemoveDirectoryW(path.c_str());
}

CreatedFolders::CreatedFolders(const std::wstring& path) {
    std::wstring current = path;
    while (!current.empty() && !IsDirectory(current)) {
        outermostMissing_ = current;
        WCHAR parent[MAX_PATH] = {};
        lstrcpynW(parent, current.c_str(), MAX_PATH);
        PathRemoveBackslashW(parent);
        if (!PathRemoveFileSpecW(parent)) break;
        current = parent;
    }
}

CreatedFolders::~CreatedFolders() {
    if (!outermostMissing_.empty()) DeleteTree(outermostMissing_);
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
