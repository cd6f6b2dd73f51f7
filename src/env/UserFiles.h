// Paths of the toolbar's per-user configuration files.
#pragma once

#include <windows.h>

enum UserFileKind : int {
    UserSettingsFile = 0,       // "tb.ini", user confirmed by the toolbar
    UserIncFile = 1,            // "inc.ini", confirmed
    UserUpdateFile = 2,         // "up.ini", confirmed
    UserSharedSettingsFile = 3, // "tb.ini", user number used unchanged
};

// Data folder\users\<userNumber>\<file>. A kind other than 3 with a toolbar window asks the
// toolbar to confirm the user number and falls back to user 0 when it does not.
int GetUserFilePath(int fileKind, DWORD userNumber, WCHAR* buffer, int capacity,
                    HWND toolbarWindow, BOOL createFolder);
