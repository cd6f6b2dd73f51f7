#include "records/RecordSources.h"

#include <commctrl.h>

#include "cleaners/SearchBox.h"
#include "cleaners/TypedUrlStore.h"
#include "records/RecordList.h"
#include "records/RecordListView.h"

namespace {

// The title buffers: 259 units with the terminator.
const int TitleUnits = 259;

} // namespace

void FillAddressBarRecords(RecordListView& list, HWND addressBar) {
    // The clean dialog offers this list only beside an address bar. One not found now (gone,
    // or a call that failed) lists nothing, and that empty list must not read as "every record
    // deleted", which would empty every browser's address bar.
    if (!IsWindow(addressBar)) {
        list.MarkIncomplete();
        return;
    }
    list.BuildSiteIconList(addressBar);

    LRESULT boxCount = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    if (boxCount == 0) {
        UrlList typed;
        TypedUrlStore::Instance().LoadTypedUrls(&typed);
        for (UrlEntry* entry = typed.First(); entry; entry = entry->next) {
            const WCHAR* url = entry->record.text;
            WCHAR title[TitleUnits + 1] = {};
            bool titled = LookupPageTitle(url, title, TitleUnits) && title[0];
            UniqueIcon icon(LoadSiteIcon(url));
            int image = list.AddSiteIcon(icon.Get());
            list.InsertRow(titled ? title : url, image, NewRecordItem(url));
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
            list.MarkIncomplete();
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
        int image = item.iImage > 0 ? item.iImage : list.DefaultIconIndex();
        list.InsertRow(titled ? title : url, image, fits ? NewRecordItem(url) : nullptr);
    }
}

void FillSearchRecords(RecordListView& list, IButtonSite* site) {
    SearchRecordList records = {};
    if (!InitSearchRecordList(&records)) return;
    if (GetSearchRecords(site, &records)) {
        SearchRecordNode* node = records.sentinel->next;
        for (size_t left = CountSearchRecords(&records); left > 0; left--, node = node->next) {
            WCHAR text[260] = {};
            lstrcpynW(text, node->text, 260); // the host's text may lack its terminator
            list.InsertRow(text, 0, NewRecordItem(nullptr));
        }
    }
    FreeSearchRecordList(&records);
}
