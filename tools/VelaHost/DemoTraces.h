// The browsing traces of the demo: seeded into the stores the module cleans, and counted store
// by store before and after a clean.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "tools/VelaHost/ReferenceHost.h"

class AddressBarImages;
class UrlHistoryStandIn;

// How many traces each store holds, in the clean dialog's order of categories.
struct TraceCounts {
    int typedUrls = 0;    // HKCU ...\Internet Explorer\TypedURLs values
    int addressBar = 0;   // entries of the frame's address-bar drop-down
    int history = 0;      // URLs in the browser's URL history
    int visitHistory = 0; // [frequentlyVisit] entries of the toolbar's visitHistory.ini
    int formData = 0;     // IntelliForms\Storage1 values
    int searchRecords = 0;
    int passwords = 0; // IntelliForms\Storage2 values
    int tempFiles = 0; // URL cache entries other than cookies and history
    int cookies = 0;   // URL cache cookie entries
};

// The search box's records of the demo, newest first.
std::vector<std::wstring> DemoSearchRecords();
// Seeds every store: typed URLs and the browser's address bar, history titles, site icons, cache
// entries and cookies, form-data and password values, the visit-history file. The browser
// is Internet Explorer 7, whose form data and passwords live in the IntelliForms keys.
// The address bar's image list is kept in images for as long as the frame lives.
bool SeedDemoTraces(HWND addressBar, UrlHistoryStandIn& history,
                    std::unique_ptr<AddressBarImages>* images);
TraceCounts CountTraces(HWND addressBar, const ReferenceHost& host,
                        const UrlHistoryStandIn& history);
bool IsEmpty(const TraceCounts& counts);
// A table of every store, before and after, on standard output.
void PrintTraceTable(const TraceCounts& before, const TraceCounts& after);
