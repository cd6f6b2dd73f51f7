// Where the stores are, as the module sees them on this system, the dialogs' captions and
// controls, and the tools that empty the stores and give the machine's own state back.
#pragma once

#include <windows.h>
#include <string>

#include "env/Handles.h"

class UrlHistoryStandIn;

namespace hostile {

// Places of the stores, as the module sees them on this system.

const WCHAR CleanCaption[] = L"清理上网痕迹";
const WCHAR AddressRecordsCaption[] = L"删除地址栏记录";
const WCHAR SearchRecordsCaption[] = L"删除搜索记录";
const WCHAR ProgressCaption[] = L"正在清理...";
const int AddressLinkId = 1189;
const int SearchLinkId = 1190;
const int CleanNowId = 1145;

const DWORD AddressBarBit = 0x01;
const DWORD HistoryBit = 0x02;
const DWORD FormDataBit = 0x04;
const DWORD SearchBit = 0x08;
const DWORD PasswordsBit = 0x10;
const DWORD TemporaryFilesBit = 0x20;
const DWORD CookiesBit = 0x40;

const WCHAR IeUserKey[] = L"Software\\Microsoft\\Internet Explorer";
const WCHAR IntelliFormsKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms";
const WCHAR ProtectedStorageKey[] = L"Software\\Microsoft\\Protected Storage System Provider";
const WCHAR ItemType[] = L"e161255a-37c3-11d2-bcaa-00c04fd929db";
const WCHAR OstleUserKey[] = L"Software\\Corvane\\Ostle";
const WCHAR OstleMachineKey[] = L"SOFTWARE\\Corvane\\Ostle";
const WCHAR HotKeysKey[] = L"SOFTWARE\\Corvane\\Ostle\\HotKeys";
const WCHAR IdentityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const DWORD SiteUser = 3;

struct Places {
    std::wstring toolbarKey;      // the per-user settings key of this system
    std::wstring otherToolbarKey; // the other one, which the module never uses here
    std::wstring dataFolder;
    std::wstring visitFolder;
    std::wstring visitFile;
    std::wstring psUserKey;
    std::wstring psTypeKey;
    std::wstring psDataKey;
    std::wstring outsideFolder; // a folder of the user's own files, outside every store
};

Places FindPlaces();
bool IsNt6();
void DeleteFolderTree(const std::wstring& path);
void MakeFolders(const std::wstring& path);
UniqueRegKey CreateKey(HKEY root, const std::wstring& path);
// Everything the rounds write, gone: the stores, their sentinels, the cache.
void ResetStores(const Places& places);

// What the run changes on the machine beyond the user's stores, given back however it ends.

const WCHAR IeMachineKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
// The URL history stand-in, when its DLL is beside the program.
extern UrlHistoryStandIn* g_history;
void SaveMachineState();
// With unload false the stand-in's registration is given back but its DLL stays loaded.
void RestoreMachineState(bool unload = true);

} // namespace hostile
