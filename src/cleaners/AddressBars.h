// The live address-bar drop-down lists of the browser frame windows.
#pragma once

#include <windows.h>

// Sent to an address bar to make the browser forget what it shows: wParam 1, then 0.
constexpr UINT WM_ADDRESSBAR_RESET = WM_APP + 269;

// The browser frame's window class, and the machine's key of the toolbar's hot keys, which an
// address-bar reset deletes.
inline constexpr WCHAR BrowserFrameClass[] = L"IEFrame";
inline constexpr WCHAR HotKeysKey[] = L"SOFTWARE\\Corvane\\Ostle\\HotKeys";

// The address bar ("ComboBoxEx32") of one browser frame window, or null.
HWND FindAddressBar(HWND frame);
// With a url: removes the entry whose text is url, letter case included, from the address bar
// of every "IEFrame" window. With null: removes every entry from each of them and resets those
// that belong to this process.
void ClearAddressBars(const WCHAR* url);
void ResetAddressBar(HWND addressBar);

// While one lives, ClearAddressBars passes over every address bar that belongs to another thread
// than the one that made it. For code that runs inside the module's termination, which holds the
// loader lock: a message sent to a thread that is waiting for that lock meanwhile would never be
// answered, and both threads would hang. One at a time in the process.
class OwnThreadAddressBarsOnly {
public:
    OwnThreadAddressBarsOnly();
    ~OwnThreadAddressBarsOnly();
    OwnThreadAddressBarsOnly(const OwnThreadAddressBarsOnly&) = delete;
    OwnThreadAddressBarsOnly& operator=(const OwnThreadAddressBarsOnly&) = delete;
};
