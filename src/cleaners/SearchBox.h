// The toolbar's search box and its history records, reached through the host.
#pragma once

#include <windows.h>

#include "host/ButtonHost.h"

// The toolbar's search "Edit" window (parent "VelaToolbar_SearchBoxContainer"), or null.
HWND FindSearchBox(IButtonSite* site);
// Asks the "S_Box" component to fill list; 1 when the command was delivered, else 0.
int GetSearchRecords(IButtonSite* site, SearchRecordList* list);
void DeleteSearchRecord(IButtonSite* site, const WCHAR* text);
// The search-box history cleaner of the clean run: deletes every record.
void ClearSearchRecords(IButtonSite* site);

// An empty list (sentinel linked to itself) from the process heap, and its release with
// every node the host appended.
BOOL InitSearchRecordList(SearchRecordList* list);
void FreeSearchRecordList(SearchRecordList* list);
// The host's nodes, each once: how many there are from the sentinel's next on, before the walk
// meets the sentinel, a null link or a node it has met already. A list that loops or ends
// without its sentinel is thus read, and freed, up to its last new node and no further.
size_t CountSearchRecords(const SearchRecordList* list);
