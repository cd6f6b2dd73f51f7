// What the record dialog needs of the window that opens it: a window to be modal over, the
// browser frame whose address bar holds the address-bar records, and the host's site, which
// reaches the toolbar's search box. The opener fills it in; any of them may be null.
#pragma once

#include <windows.h>

#include "host/ButtonHost.h"

struct RecordOwner {
    HWND window;        // the window the record dialog is shown over
    HWND browserWindow; // the browser frame whose address bar is listed
    IButtonSite* site;  // the host's site
};
