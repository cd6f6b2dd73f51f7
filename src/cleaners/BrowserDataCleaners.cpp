#include "cleaners/BrowserDataCleaners.h"

#include <ole2.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <urlhist.h>
#include <ctime>

#include "cleaners/AddressBars.h"
#include "cleaners/ProtectedStorageCleaner.h"
#include "env/Handles.h"
#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"

namespace {

// Keys below the user's "Software\Microsoft\Internet Explorer".
constexpr WCHAR TypedUrlsKey[] = L"TypedURLs";
constexpr WCHAR FormDataKey[] = L"IntelliForms\\Storage1";
constexpr WCHAR PasswordsKey[] = L"IntelliForms\\Storage2";
constexpr WCHAR Ie6PasswordsKey[] = L"IntelliForms\\SPW";

// Deletes one of the browser's keys above with everything below it. The path is put together
// here so that the module holds the browser's key once.
void DeleteBrowserKey(const WCHAR* key) {
    WCHAR path[MAX_PATH];
    wnsprintfW(path, MAX_PATH, L"Software\\Microsoft\\Internet Explorer\\%s", key);
    SHDeleteKeyW(HKEY_CURRENT_USER, path);
}

// The browser's history may live in a local server, so the object is created as IUnknown,
// made running and only then asked for the interface. Any failing step's code is returned.
HRESULT CreateUrlHistory(ComPtr<IUrlHistoryStg2>* history) {
    ComPtr<IUnknown> unknown;
    HRESULT hr =
        CoCreateInstance(CLSID_CUrlHistory, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr)) return hr;
    hr = OleRun(unknown.Get());
    if (FAILED(hr)) return hr;
    return unknown->QueryInterface(IID_IUrlHistoryStg2, history->PutVoid());
}

} // namespace

void CleanAddressBar() {
    DeleteBrowserKey(TypedUrlsKey);
    ClearAddressBars(nullptr);
}

void CleanHistory() {
    bool comInitialized = SUCCEEDED(CoInitialize(nullptr));
    bool cleared = false;
    {
        ComPtr<IUrlHistoryStg2> history;
        if (SUCCEEDED(CreateUrlHistory(&history))) {
            history->ClearHistory();
            cleared = true;
        }
    } // the interface goes before COM does
    if (comInitialized) CoUninitialize();
    // Without the history object nothing is cleaned, the visit-history file included.
    if (cleared) ResetVisitHistory();
}

int ResetVisitHistory() {
    WCHAR path[MAX_PATH] = {};
    if (!GetToolbarPath(DataFolder, path, 256)) return 0;
    PathAppendW(path, L"visitHistory");
    if (!PathFileExistsW(path)) return 0;
    PathAppendW(path, L"visitHistory.ini");
    if (!PathFileExistsW(path)) return 0;

    WritePrivateProfileStringW(L"frequentlyVisit", nullptr, nullptr, path);
    // Seconds since 1970 as a 4-byte value, stored as hex text with a checksum byte.
    DWORD now = static_cast<DWORD>(time(nullptr));
    WritePrivateProfileStructW(L"general", L"ldfv", &now, sizeof(now), path);
    return 1;
}

void CleanFormData() {
    int ieMajor = LoadedIeMajorVersion;
    if (ieMajor == 7)
        DeleteBrowserKey(FormDataKey);
    else if (ieMajor == 6)
        CleanProtectedStorage();
}

void CleanSavedPasswords() {
    int ieMajor = LoadedIeMajorVersion;
    if (ieMajor == 7)
        DeleteBrowserKey(PasswordsKey);
    else if (ieMajor == 6)
        DeleteBrowserKey(Ie6PasswordsKey);
}
