// The records each kind of record dialog lists: the entries of the owner's address bar (or,
// while it holds none, the typed URLs), each under its page title and site icon, and the
// toolbar's search-box records.
#pragma once

#include <windows.h>

#include "host/ButtonHost.h"

class RecordListView;

// A record that cannot be listed whole marks the list incomplete, and so does an address bar
// that is not there: an empty list must never read as "every record deleted".
void FillAddressBarRecords(RecordListView& list, HWND addressBar);
void FillSearchRecords(RecordListView& list, IButtonSite* site);
