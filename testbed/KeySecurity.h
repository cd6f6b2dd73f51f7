// Registry key security as tests seed and inspect it: owners and DACLs in SDDL, the trustees
// of a DACL, whole trees, and a deletion that first takes back every key of a tree.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// The process token's user SID as text ("S-1-5-21-..."), or empty.
std::wstring CurrentUserSidString();

// The key's security as SDDL for the parts in `info` (DACL_SECURITY_INFORMATION and/or
// OWNER_SECURITY_INFORMATION); empty when the key cannot be opened for READ_CONTROL.
std::wstring KeySecuritySddl(HKEY root, const wchar_t* path,
                             SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION);
// Applies the parts `info` of an SDDL descriptor to an existing key.
bool SetKeySecuritySddl(HKEY root, const wchar_t* path, const wchar_t* sddl,
                        SECURITY_INFORMATION info);

struct KeyDacl {
    bool readable = false;              // READ_CONTROL granted and the DACL read
    bool present = false;               // the key has a DACL at all
    bool null = false;                  // a present null DACL: open to everyone
    std::vector<std::wstring> trustees; // SID text of every ACE, in order
};
KeyDacl ReadKeyDaclTrustees(HKEY root, const wchar_t* path);

bool KeyExists(HKEY root, const wchar_t* path);
// The names of the key's sub keys; none when it cannot be listed, which listable tells.
std::vector<std::wstring> SubKeyNames(HKEY root, const std::wstring& path,
                                      bool* listable = nullptr);
// `path` and every key below it that can be listed, as full paths, parents first.
std::vector<std::wstring> ListKeyTree(HKEY root, const wchar_t* path);

// Deletes a tree whose keys may deny the user anything: each key is first given to the current
// user as owner with full access. True when the tree is gone.
bool ForceDeleteKeyTree(HKEY root, const wchar_t* path);
