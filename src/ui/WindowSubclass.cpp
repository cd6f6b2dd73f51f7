#include "ui/WindowSubclass.h"

#include <shlwapi.h>

#include <objbase.h>

namespace {

void InitName(WCHAR (&buffer)[WindowSubclass::MaxNameLength + 1], const WCHAR* name) {
    if (name) {
        lstrcpynW(buffer, name, WindowSubclass::MaxNameLength + 1);
        return;
    }
    GUID guid = {};
    CoCreateGuid(&guid);
    wnsprintfW(buffer, WindowSubclass::MaxNameLength + 1,
               L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
               guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
               guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

bool IsUsableProc(LONG proc) {
    return proc && !IsBadCodePtr(reinterpret_cast<FARPROC>(proc));
}

} // namespace

LONG GetWindowLongOwnCharset(HWND window, int index) {
    return IsWindowUnicode(window) ? GetWindowLongW(window, index) : GetWindowLongA(window, index);
}

LONG SetWindowLongOwnCharset(HWND window, int index, LONG value) {
    return IsWindowUnicode(window) ? SetWindowLongW(window, index, value)
                                   : SetWindowLongA(window, index, value);
}

WindowSubclass::WindowSubclass(const WCHAR* ownerPropName, const WCHAR* procPropName) {
    InitName(ownerPropName_, ownerPropName);
    InitName(procPropName_, procPropName);
}

int WindowSubclass::Install(HWND window, WNDPROC hook, void* owner) {
    if (GetPropW(window, ownerPropName_)) return 1;
    if (!SetPropW(window, ownerPropName_, owner)) return 1;

    LONG current = GetWindowLongOwnCharset(window, GWL_WNDPROC);
    if (!current || !SetPropW(window, procPropName_, reinterpret_cast<HANDLE>(current))) {
        RemovePropW(window, ownerPropName_);
        return 0;
    }
    // The previous procedure is non-null, so a zero answer is a refusal (a window of another
    // process, for one): leave the window as it was rather than marked but not hooked.
    if (!SetWindowLongOwnCharset(window, GWL_WNDPROC, reinterpret_cast<LONG>(hook))) {
        RemovePropW(window, procPropName_);
        RemovePropW(window, ownerPropName_);
        return 0;
    }
    return 1;
}

void WindowSubclass::Remove(HWND window, WNDPROC expected, void* owner) {
    if (owner && GetPropW(window, ownerPropName_) != owner) return;

    LONG current = GetWindowLongOwnCharset(window, GWL_WNDPROC);
    if (!expected || current == reinterpret_cast<LONG>(expected)) {
        LONG saved = reinterpret_cast<LONG>(GetPropW(window, procPropName_));
        if (!IsUsableProc(saved)) saved = static_cast<LONG>(GetClassLongW(window, GCL_WNDPROC));
        SetLastError(ERROR_SUCCESS);
        if (SetWindowLongOwnCharset(window, GWL_WNDPROC, saved) || GetLastError() == ERROR_SUCCESS)
            RemovePropW(window, procPropName_);
    }
    RemovePropW(window, ownerPropName_);
}

void* WindowSubclass::Owner(HWND window) const {
    return GetPropW(window, ownerPropName_);
}

WNDPROC WindowSubclass::PreviousProc(HWND window) const {
    LONG saved = reinterpret_cast<LONG>(GetPropW(window, procPropName_));
    return IsUsableProc(saved) ? reinterpret_cast<WNDPROC>(saved) : DefWindowProcW;
}
