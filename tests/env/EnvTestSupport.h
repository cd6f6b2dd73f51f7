// Helpers of the toolbar-environment suites: saving machine-wide registry values around a
// test and removing the folders a test made.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// Remembers one registry value (or its absence) and puts it back on destruction.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

private:
    HKEY root_;
    std::wstring key_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Writes a value, creating its key; the data is taken byte for byte.
bool SetRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type,
                      const void* data, DWORD size);
bool SetRegistryText(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* text);
void DeleteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name);

// Deletes a folder with everything inside it.
void DeleteTree(const std::wstring& path);

// Notes the outermost missing folder on the way to path; deletes it (with everything a test
// put into it) on destruction, so the folders that existed before stay.
class CreatedFolders {
public:
    explicit CreatedFolders(const std::wstring& path);
    ~CreatedFolders();
    CreatedFolders(const CreatedFolders&) = delete;
    CreatedFolders& operator=(const CreatedFolders&) = delete;

private:
    std::wstring outermostMissing_;
};

bool IsDirectory(const std::wstring& path);
