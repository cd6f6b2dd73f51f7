#include "records/RecordList.h"

#include <new>
#include <objbase.h>
#include <ole2.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <urlhist.h>
#include <wininet.h>

#include "env/Handles.h"
#include "records/CheckImages.h"

namespace {

const WCHAR ShortcutIconKey[] = L"SOFTWARE\\Classes\\InternetShortcut\\DefaultIcon";
const DWORD CacheInfoBytes = 10240;

} // namespace

RecordItem* NewRecordItem(const WCHAR* url) {
    auto* item = new (std::nothrow) RecordItem();
    if (item && url) lstrcpynW(item->url, url, UrlRecordUnits);
    return item;
}

void FreeRecordItem(RecordItem* item) {
    delete item;
}

HICON LoadDefaultShortcutIcon() {
    WCHAR location[MAX_PATH] = {};
    DWORD size = sizeof(location);
    if (SHGetValueW(HKEY_LOCAL_MACHINE, ShortcutIconKey, nullptr, nullptr, location, &size) !=
        ERROR_SUCCESS)
        return nullptr;
    location[MAX_PATH - 1] = 0;
    int index = PathParseIconLocationW(location);
    HICON icon = nullptr;
    ExtractIconExW(location, index, nullptr, &icon, 1);
    return icon;
}

HICON LoadSiteIcon(const WCHAR* url) {
    if (!url) return nullptr;

    WCHAR host[UrlRecordUnits] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = UrlRecordUnits - 1;
    if (!InternetCrackUrlW(url, lstrlenW(url), ICU_ESCAPE, &parts)) return nullptr;

    // Only the scheme and the host name make the icon's address; port, user and path go.
    WCHAR iconUrl[UrlRecordUnits - 1] = {};
    wnsprintfW(iconUrl, UrlRecordUnits - 1, L"%s://%s/favicon.ico",
               parts.nScheme == INTERNET_SCHEME_HTTPS ? L"https" : L"http", host);

    // DWORDs keep the record's pointers aligned.
    DWORD buffer[CacheInfoBytes / sizeof(DWORD)] = {};
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer);
    info->dwStructSize = CacheInfoBytes;
    DWORD size = CacheInfoBytes;
    if (!GetUrlCacheEntryInfoW(iconUrl, info, &size)) return nullptr;
    if (!info->lpszLocalFileName || !PathFileExistsW(info->lpszLocalFileName)) return nullptr;
    return static_cast<HICON>(
        // The file's image that best fits the system's small icons.
        LoadImageW(nullptr, info->lpszLocalFileName, IMAGE_ICON, RecordPixels(16), RecordPixels(16),
                   LR_LOADFROMFILE));
}

BOOL LookupPageTitle(const WCHAR* url, WCHAR* buffer, int capacity) {
    if (!url || !buffer) return 0;
    HRESULT init = CoInitialize(nullptr);
    BOOL found = 0;
    {
        // The history may live in a local server: created as IUnknown, put into the running
        // state, then asked for the history interface.
        ComPtr<IUnknown> object;
        HRESULT hr =
            CoCreateInstance(CLSID_CUrlHistory, nullptr,
                             CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                             IID_IUnknown, object.PutVoid());
        if (SUCCEEDED(hr)) hr = OleRun(object.Get());
        ComPtr<IUrlHistoryStg> history;
        if (SUCCEEDED(hr)) hr = object->QueryInterface(IID_IUrlHistoryStg, history.PutVoid());
        object.Reset();
        if (SUCCEEDED(hr) && history) {
            STATURL stat = {};
            stat.cbSize = sizeof(stat);
            if (SUCCEEDED(history->QueryUrl(url, 0, &stat))) {
                if (stat.pwcsTitle && capacity > 0) lstrcpynW(buffer, stat.pwcsTitle, capacity);
                found = 1;
            }
            CoTaskMemFree(stat.pwcsUrl);
            CoTaskMemFree(stat.pwcsTitle);
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return found;
}
