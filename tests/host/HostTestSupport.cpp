#include "host/HostTestSupport.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <cstdio>

#include "TestSupport.h"
#include "env/ToolbarLocations.h"
#include "env/ToolbarSharedMemory.h"
#include "host/ButtonRegistry.h"
#include "testbed/HostInfo.h"

void HostTest::SetUp() {
    DeleteToolbarRegistryState();
    // The module's reader keeps a view once open; start every test without one.
    TheToolbarSharedMemory().Close();
}

void HostTest::TearDown() {
    DestroyAllButtons();
    TheToolbarSharedMemory().Close();
    RemoveEmptyUserFolders();
    DeleteToolbarRegistryState();
}

void DestroyAllButtons() {
    HostInfo info(L"Clear", 0);
    ButtonRegistry& registry = TheButtonRegistry();
    while (registry.Count() > 0) {
        LONG id = registry.KeyAt(0);
        OnButtonMessage(info.Get(), id, ButtonDestroy, 0, 0);
        if (registry.Find(id)) registry.Remove(id);
    }
}

void RemoveEmptyUserFolders() {
    WCHAR users[MAX_PATH] = {};
    if (!GetToolbarPath(UsersFolder, users, MAX_PATH)) return;
    WCHAR pattern[MAX_PATH] = {};
    lstrcpynW(pattern, users, MAX_PATH);
    PathAppendW(pattern, L"*");
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (!lstrcmpW(found.cFileName, L".") || !lstrcmpW(found.cFileName, L"..")) continue;
            WCHAR folder[MAX_PATH] = {};
            lstrcpynW(folder, users, MAX_PATH);
            PathAppendW(folder, found.cFileName);
            RemoveDirectoryW(folder);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    // users, VelaToolbar, CORVANE: each only when nothing else lives there.
    WCHAR folder[MAX_PATH] = {};
    lstrcpynW(folder, users, MAX_PATH);
    for (int level = 0; level < 3; level++) {
        if (!RemoveDirectoryW(folder)) break;
        PathRemoveFileSpecW(folder);
    }
}

// Built from the special folder itself rather than through the module's own path code.
std::wstring UserFolder(DWORD userNumber) {
    WCHAR path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE);
    if (RunsNt6OrLater()) {
        PathRemoveFileSpecW(path);
        PathAppendW(path, L"LocalLow");
    }
    PathAppendW(path, L"CORVANE\\VelaToolbar\\users");
    WCHAR number[32] = {};
    _snwprintf(number, 31, L"%lu", static_cast<unsigned long>(userNumber));
    PathAppendW(path, number);
    return path;
}

std::wstring UserFile(DWORD userNumber, const wchar_t* fileName) {
    return UserFolder(userNumber) + L"\\" + fileName;
}
