#include "programs/hostile/StorePlaces.h"

#include <shlwapi.h>

#include "env/ToolbarLocations.h"
#include "testbed/KeySecurity.h"
#include "testbed/TypedUrlSeed.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace hostile {

Places FindPlaces() {
    Places places;
    WCHAR buffer[MAX_PATH] = {};
    GetToolbarKeyPath(buffer, MAX_PATH, nullptr);
    places.toolbarKey = buffer;
    places.otherToolbarKey =
        places.toolbarKey == ToolbarUserKeyLow ? ToolbarUserKeyClassic : ToolbarUserKeyLow;
    GetToolbarPath(DataFolder, buffer, MAX_PATH);
    places.dataFolder = buffer;
    places.visitFolder = places.dataFolder + L"\\visitHistory";
    places.visitFile = places.visitFolder + L"\\visitHistory.ini";
    places.psUserKey = std::wstring(ProtectedStorageKey) + L"\\" + CurrentUserSidString();
    places.psTypeKey = places.psUserKey + L"\\Data\\" + ItemType;
    places.psDataKey = places.psTypeKey + L"\\" + ItemType;
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    places.outsideFolder = std::wstring(temp) + L"VelaHostileOutside";
    return places;
}
bool IsNt6() {
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExW(&v);
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion > 5;
}

void DeleteFolderTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFolderTree(path + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

UniqueRegKey CreateKey(HKEY root, const std::wstring& path) {
    UniqueRegKey key;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    return key;
}
void ResetStores(const Places& places) {
    ForceDeleteKeyTree(HKEY_CURRENT_USER, TypedUrlsKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, (std::wstring(IeUserKey) + L"\\TypedURLsKept").c_str());
    ForceDeleteKeyTree(HKEY_CURRENT_USER, IntelliFormsKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, ProtectedStorageKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Corvane");
    ForceDeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\AppDataLow\\Corvane");
    ForceDeleteKeyTree(HKEY_LOCAL_MACHINE, OstleMachineKey);
    SHDeleteValueW(HKEY_CURRENT_USER, IeUserKey, L"VelaKept");
    // The profile functions keep files they have read; forget them before the files change.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places.visitFile.c_str());
    DeleteFolderTree(places.dataFolder);
    DeleteFolderTree(places.outsideFolder);
    ClearUrlCache();
}

UrlHistoryStandIn* g_history = nullptr;

namespace {
StoredValue g_ieVersion;
bool g_ieVersionExisted = false;
} // namespace

void SaveMachineState() {
    StoredValues values = ReadStoredValues(IeMachineKey, HKEY_LOCAL_MACHINE);
    auto found = values.find(L"Version");
    g_ieVersionExisted = found != values.end();
    if (g_ieVersionExisted) g_ieVersion = found->second;
}

void RestoreMachineState(bool unload) {
    if (g_ieVersionExisted)
        SHSetValueW(HKEY_LOCAL_MACHINE, IeMachineKey, L"Version", g_ieVersion.type,
                    g_ieVersion.bytes.data(), static_cast<DWORD>(g_ieVersion.bytes.size()));
    else
        SHDeleteValueW(HKEY_LOCAL_MACHINE, IeMachineKey, L"Version");
    // The stand-in's destructor writes the URL history's registration back and unloads it.
    if (UrlHistoryStandIn* history = g_history) {
        g_history = nullptr;
        if (unload)
            delete history;
        else
            history->RestoreRegistration();
    }
}

} // namespace hostile
