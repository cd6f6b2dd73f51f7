// What the record dialog needs of the window that opens it: a window to be modal over, the
// browser frame whose address bar holds the address-bar records, and the host's site, which
// reaches the toolbar's search box.
#pragma once

#include <windows.h>

#include "host/ButtonHost.h"

class RecordOwner {
public:
    // The window the record dialog is shown over, or null.
    virtual HWND OwnerWindow() const = 0;
    // The browser frame whose address bar is listed, or null.
    virtual HWND BrowserWindow() const = 0;
    // The host's site, or null.
    virtual IButtonSite* Site() const = 0;

protected:
    ~RecordOwner() = default;
};
