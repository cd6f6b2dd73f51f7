// The rows of the record deletion dialog and the lookups behind them.
#include "records/RecordList.h"

#include <new>
#include <objbase.h>
#include <ole2.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <urlhist.h>
#include <wininet.h>

#include "clean/CleanDialog.h"
#include "cleaners/AddressBars.h"
#include "cleaners/SearchBox.h"
#include "cleaners/TypedUrlStore.h"
#include "records/RecordDeleteDialog.h"

namespace {

const WCHAR ShortcutIconKey[] = L"SOFTWARE\\Classes\\InternetShortcut\\DefaultIcon";
// The callers' title buffers: 259 units with the terminator.
const int TitleUnits = 259;
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
        LoadImageW(nullptr, info->lpszLocalFileName, IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
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

BOOL RecordDeleteDialog::BuildSiteIconList() {
    HWND addressBar = OwnerAddressBar();
    if (!IsWindow(addressBar)) return 0;
    if (siteIcons_) {
        // The list view may still show the old list; it must not keep a destroyed one.
        if (SendMessageW(listView_, LVM_GETIMAGELIST, LVSIL_SMALL, 0) ==
            reinterpret_cast<LRESULT>(siteIcons_.Get()))
            SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        siteIcons_.Reset();
        defaultIconIndex_ = -1;
    }

    auto boxImages =
        reinterpret_cast<HIMAGELIST>(SendMessageW(addressBar, CBEM_GETIMAGELIST, 0, 0));
    if (!boxImages) return 0;
    // A copy, so that the box's own image indexes stay valid in the list.
    siteIcons_.Reset(ImageList_Duplicate(boxImages));
    UniqueIcon icon(LoadDefaultShortcutIcon());
    if (icon) defaultIconIndex_ = ImageList_ReplaceIcon(siteIcons_.Get(), -1, icon.Get());
    return 1;
}

void RecordDeleteDialog::FillAddressBarRecords() {
    HWND addressBar = OwnerAddressBar();
    // The clean dialog offers this list only beside an address bar. One not found now (gone,
    // or a call that failed) lists nothing, and that empty list must not read as "every record
    // deleted", which would empty every browser's address bar.
    if (!IsWindow(addressBar)) {
        listedWhole_ = false;
        return;
    }
    BuildSiteIconList();
    SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(siteIcons_.Get()));

    const UINT mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    int inserted = 0;
    LRESULT boxCount = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    if (boxCount == 0) {
        UrlList typed;
        TypedUrlStore::Instance().LoadTypedUrls(&typed);
        for (UrlEntry* entry = typed.First(); entry; entry = entry->next) {
            const WCHAR* url = entry->record.text;
            WCHAR title[TitleUnits + 1] = {};
            bool titled = LookupPageTitle(url, title, TitleUnits) && title[0];
            int image = defaultIconIndex_;
            UniqueIcon icon(LoadSiteIcon(url));
            if (icon) image = ImageList_ReplaceIcon(siteIcons_.Get(), -1, icon.Get());
            InsertRow(mask, titled ? title : url, image, NewRecordItem(url), &inserted);
        }
        return;
    }

    for (LRESULT i = 0; i < boxCount; i++) {
        // One unit more than a record holds, to tell an item that does not fit.
        WCHAR text[UrlRecordUnits + 1] = {};
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = UrlRecordUnits + 1;
        if (!SendMessageW(addressBar, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
            listedWhole_ = false;
            continue;
        }
        const WCHAR* url = item.pszText ? item.pszText : text;
        // An item longer than a record is no URL the browser keeps, and cut to a record's
        // length its text would name another record, which deleting the row would delete: its
        // row gets no item, like a row whose item could not be made, and so deletes nothing.
        bool fits = lstrlenW(url) <= UrlRecordUnits - 1;
        WCHAR title[TitleUnits + 1] = {};
        bool titled = LookupPageTitle(url, title, TitleUnits) && title[0];
        // Image 0 of the box is not a site's icon: those rows get the default icon.
        int image = item.iImage > 0 ? item.iImage : defaultIconIndex_;
        InsertRow(mask, titled ? title : url, image, fits ? NewRecordItem(url) : nullptr,
                  &inserted);
    }
}

void RecordDeleteDialog::FillSearchRecords() {
    if (!owner_) return;
    SearchRecordList records = {};
    if (!InitSearchRecordList(&records)) return;
    if (GetSearchRecords(owner_->Site(), &records)) {
        BuildSiteIconList();
        SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL,
                     reinterpret_cast<LPARAM>(siteIcons_.Get()));
        int inserted = 0;
        SearchRecordNode* node = records.sentinel->next;
        for (size_t left = CountSearchRecords(&records); left > 0; left--, node = node->next) {
            WCHAR text[260] = {};
            lstrcpynW(text, node->text, 260); // the host's text may lack its terminator
            InsertRow(LVIF_TEXT | LVIF_PARAM, text, 0, NewRecordItem(nullptr), &inserted);
        }
    }
    FreeSearchRecordList(&records);
}
