// What the rows of the record deletion list hold, and the lookups that give an address-bar
// record a readable text and an icon: the page title from the browser's URL history, the
// site's icon from the WinINet URL cache, and the default icon of Internet shortcuts.
#pragma once

#include <windows.h>

#include "cleaners/UrlList.h"

enum RecordKind : LONG {
    AddressBarRecords = 1,
    SearchRecords = 2,
};

// The lParam of every row: the tick and, for address-bar rows, the record's URL.
struct RecordItem {
    LONG ticked;               // non-zero when ticked; every row starts unticked
    WCHAR url[UrlRecordUnits]; // empty for search rows
};

// A new, unticked item with url (null: none), whole up to a record's 2083 units and cut
// there beyond; null when out of memory.
RecordItem* NewRecordItem(const WCHAR* url);
void FreeRecordItem(RecordItem* item);

// The small icon named by the "InternetShortcut" class's DefaultIcon value, or null. The
// caller destroys it.
HICON LoadDefaultShortcutIcon();
// The icon of url's site as the browser cached it ("http://host/favicon.ico", or https for an
// https URL), or null. Nothing is downloaded. The caller destroys it.
HICON LoadSiteIcon(const WCHAR* url);
// Copies url's page title from the URL history into buffer (capacity units including the
// terminator). Non-zero when the history knew the URL, with or without a title.
BOOL LookupPageTitle(const WCHAR* url, WCHAR* buffer, int capacity);
