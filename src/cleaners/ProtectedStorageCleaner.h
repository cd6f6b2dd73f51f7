// Removes the current user's AutoComplete item tree from the Protected Storage registry tree.
#pragma once

#include <windows.h>

// 1 when the data key tree was deleted, else 0.
int CleanProtectedStorage();
int GetUserSidString(WCHAR* buffer, int capacity);
int ReadKeyDacl(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR* descriptor);
// An absolute descriptor whose DACL grants `user` alone full access to a key and everything
// below it. On failure returns 0 and hands back whatever it allocated (or null) for the
// caller to LocalFree; on success the caller frees the descriptor first, then the ACL.
int BuildUserFullAccess(PSID user, PSECURITY_DESCRIPTOR* descriptor, PACL* acl);
int SetKeyDaclTree(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR descriptor, BOOL recursive);
