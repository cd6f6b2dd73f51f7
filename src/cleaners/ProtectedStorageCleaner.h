// Removes the current user's AutoComplete item tree from the Protected Storage registry tree.
#pragma once

#include <windows.h>

// 1 when the data key tree was deleted, else 0.
int CleanProtectedStorage();
int GetUserSidString(WCHAR* buffer, int capacity);
int ReadKeyDacl(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR* descriptor);
int SetKeyDaclTree(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR descriptor, BOOL recursive);
