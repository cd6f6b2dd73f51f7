// Whole images of registry key trees and of files or folders, taken before and after a piece of
// code runs, so that what must not change can be compared byte for byte: values with their
// types, sub keys, the keys' owners and DACLs, file contents and folder listings.
#pragma once

#include <windows.h>
#include <map>
#include <string>
#include <vector>

#include "testbed/TypedUrlSeed.h"

struct KeyImage {
    bool exists = false;
    bool listable = false; // values and sub keys could be read
    std::wstring security; // owner and DACL as SDDL; empty when READ_CONTROL is refused
    StoredValues values;
    std::map<std::wstring, KeyImage> subKeys;
};

KeyImage TakeKeyImage(HKEY root, const std::wstring& path);
// Empty when both are the same; else the first difference found, naming its place under label.
std::string CompareKeyImages(const KeyImage& before, const KeyImage& after,
                             const std::wstring& label);

struct FileImage {
    bool exists = false;
    bool directory = false;
    std::vector<BYTE> bytes;                    // a file's content
    std::map<std::wstring, FileImage> children; // a folder's entries
};

FileImage TakeFileImage(const std::wstring& path);
// Makes or replaces a file holding exactly bytes.
bool WriteFileBytes(const std::wstring& path, const std::vector<BYTE>& bytes);
std::string CompareFileImages(const FileImage& before, const FileImage& after,
                              const std::wstring& label);

// UTF-8, for reports.
std::string Utf8(const std::wstring& text);
