// Replaces the window procedure of a window the module does not own. The owner object and the
// previous procedure are kept in two named window properties on the window itself, so no table
// of subclassed windows is needed and a hook finds both from the window handle alone.
#pragma once

#include <windows.h>

class WindowSubclass {
public:
    // Longest property name kept; longer names are cut.
    static const int MaxNameLength = 63;

    // A null name is replaced by a freshly generated GUID in registry format.
    WindowSubclass(const WCHAR* ownerPropName, const WCHAR* procPropName);

    // Marks window with owner and makes hook its procedure. Returns 1 (also when the window
    // already carries the owner mark, which changes nothing), or 0 when the subclass could not
    // be completed after the mark was placed; the mark is then taken away again.
    int Install(HWND window, WNDPROC hook, void* owner);

    // Undoes Install. A non-null owner must match the window's owner mark, or nothing changes.
    // The saved procedure is put back only when expected (null for any) is still current;
    // otherwise another subclass sits on top and only the owner mark is taken away.
    void Remove(HWND window, WNDPROC expected, void* owner);

    // For hook procedures: the owner object, and the procedure to pass messages on to
    // (DefWindowProcW when the saved one is missing or not a valid code pointer).
    void* Owner(HWND window) const;
    WNDPROC PreviousProc(HWND window) const;

    const WCHAR* OwnerPropName() const { return ownerPropName_; }
    const WCHAR* ProcPropName() const { return procPropName_; }

private:
    WCHAR ownerPropName_[MaxNameLength + 1];
    WCHAR procPropName_[MaxNameLength + 1];
};

// Window longs read and written in the window's own character set, so that a window procedure
// saved from an ANSI window is the real ANSI procedure and not a conversion thunk.
LONG GetWindowLongOwnCharset(HWND window, int index);
LONG SetWindowLongOwnCharset(HWND window, int index, LONG value);
