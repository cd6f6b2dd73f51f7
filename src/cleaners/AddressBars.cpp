#include "cleaners/AddressBars.h"

#include <commctrl.h>
#include <shlwapi.h>

namespace {

const WCHAR WorkerClass[] = L"WorkerW";
const WCHAR WorkerClassAnsi[] = L"WorkerA";
const WCHAR RebarClass[] = L"ReBarWindow32";
const WCHAR AddressBandClass[] = L"Address Band Root";
const WCHAR AddressBarClass[] = L"ComboBoxEx32";

// The thread whose address bars alone may be cleared, or 0 for all (OwnThreadAddressBarsOnly).
volatile DWORD g_onlyThread = 0;

// Class names are compared exactly: a class that differs only in case is someone else's.
BOOL HasClass(HWND window, const WCHAR* className) {
    WCHAR name[260] = {};
    if (!GetClassNameW(window, name, 260)) return FALSE;
    return StrCmpW(name, className) == 0;
}

void EmptyAddressBar(HWND addressBar) {
    LRESULT count = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    for (LRESULT i = count - 1; i >= 0; i--)
        SendMessageW(addressBar, CB_DELETESTRING, static_cast<WPARAM>(i), 0);
}

// The index of the entry whose text is url, letter case included, or CB_ERR. The box's exact
// find ignores letter case unless the box has the extended style CBES_EX_CASESENSITIVE, so the
// style is set for this one find when the box lacks it, and taken away again afterwards. Only
// messages without a buffer to fill are sent, so a box of another process answers as well.
LRESULT FindEntryOfSameCase(HWND addressBar, const WCHAR* url) {
    auto style = static_cast<DWORD>(SendMessageW(addressBar, CBEM_GETEXTENDEDSTYLE, 0, 0));
    bool setHere = !(style & CBES_EX_CASESENSITIVE);
    if (setHere)
        SendMessageW(addressBar, CBEM_SETEXTENDEDSTYLE, CBES_EX_CASESENSITIVE,
                     CBES_EX_CASESENSITIVE);
    // A send that fails (the box went away, or its thread hangs) would answer 0, which is the
    // first entry's index: only an answer the box gave is taken.
    DWORD_PTR index = CB_ERR;
    if (!SendMessageTimeoutW(addressBar, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(url), SMTO_ABORTIFHUNG, 5000, &index))
        index = CB_ERR;
    if (setHere) SendMessageW(addressBar, CBEM_SETEXTENDEDSTYLE, CBES_EX_CASESENSITIVE, 0);
    return static_cast<LRESULT>(index);
}

// Called for every descendant of one frame; the first address bar found is the frame's own
// and ends the walk.
BOOL CALLBACK ClearFrameChild(HWND child, LPARAM param) {
    if (!IsWindow(child) || !HasClass(child, AddressBarClass)) return TRUE;
    DWORD onlyThread = g_onlyThread;
    if (onlyThread && GetWindowThreadProcessId(child, nullptr) != onlyThread) return FALSE;
    const WCHAR* url = reinterpret_cast<const WCHAR*>(param);
    if (url) {
        LRESULT index = FindEntryOfSameCase(child, url);
        if (index != CB_ERR) SendMessageW(child, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
        return FALSE;
    }
    EmptyAddressBar(child);
    DWORD process = 0;
    GetWindowThreadProcessId(child, &process);
    if (process == GetCurrentProcessId()) ResetAddressBar(child);
    return FALSE;
}

BOOL CALLBACK ClearFrame(HWND window, LPARAM param) {
    if (IsWindow(window) && HasClass(window, BrowserFrameClass))
        EnumChildWindows(window, ClearFrameChild, param);
    return TRUE;
}

} // namespace

HWND FindAddressBar(HWND frame) {
    // A null parent would make FindWindowExW search the top-level windows instead.
    if (!frame) return nullptr;
    HWND worker = FindWindowExW(frame, nullptr, WorkerClass, nullptr);
    if (!worker) worker = FindWindowExW(frame, nullptr, WorkerClassAnsi, nullptr);
    if (!worker) return nullptr;
    HWND rebar = FindWindowExW(worker, nullptr, RebarClass, nullptr);
    if (!rebar) return nullptr;
    if (HWND bar = FindWindowExW(rebar, nullptr, AddressBarClass, nullptr)) return bar;
    HWND band = FindWindowExW(rebar, nullptr, AddressBandClass, nullptr);
    if (!band) return nullptr;
    return FindWindowExW(band, nullptr, AddressBarClass, nullptr);
}

void ClearAddressBars(const WCHAR* url) {
    EnumWindows(ClearFrame, reinterpret_cast<LPARAM>(url));
}

void ResetAddressBar(HWND addressBar) {
    SendMessageW(addressBar, WM_ADDRESSBAR_RESET, 1, 0);
    SendMessageW(addressBar, WM_ADDRESSBAR_RESET, 0, 0);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, HotKeysKey);
}

OwnThreadAddressBarsOnly::OwnThreadAddressBarsOnly() {
    g_onlyThread = GetCurrentThreadId();
}

OwnThreadAddressBarsOnly::~OwnThreadAddressBarsOnly() {
    g_onlyThread = 0;
}
