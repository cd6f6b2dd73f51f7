#include "env/UserFiles.h"

#include <shlwapi.h>
#include <cstdio>

#include "env/ToolbarLocations.h"
#include "host/ButtonHost.h"

namespace {

const WCHAR* UserFileName(int fileKind) {
    switch (fileKind) {
    case UserSettingsFile: return L"tb.ini";
    case UserIncFile: return L"inc.ini";
    case UserUpdateFile: return L"up.ini";
    case UserSharedSettingsFile: return L"tb.ini";
    default: return nullptr;
    }
}

} // namespace

int GetUserFilePath(int fileKind, DWORD userNumber, WCHAR* buffer, int capacity,
                    HWND toolbarWindow, BOOL createFolder) {
    if (!buffer) return 0;
    if (fileKind != UserSharedSettingsFile && toolbarWindow) {
        if (!SendMessageW(toolbarWindow, ToolbarConfirmUserMessage, ToolbarConfirmUserWParam,
                          static_cast<LPARAM>(userNumber)))
            userNumber = 0;
    }

    WCHAR path[MAX_PATH] = {};
    GetToolbarPath(DataFolder, path, MAX_PATH);
    PathAppendW(path, L"users");
    WCHAR number[64] = {};
    _snwprintf(number, 63, L"%lu", static_cast<unsigned long>(userNumber));
    PathAppendW(path, number);
    if (createFolder && !PathFileExistsW(path)) CreateDirectoryTree(path, nullptr);

    const WCHAR* fileName = UserFileName(fileKind);
    if (!fileName) return 0;
    PathAppendW(path, fileName);
    lstrcpynW(buffer, path, capacity);
    return 1;
}
