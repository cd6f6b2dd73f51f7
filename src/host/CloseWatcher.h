// Watches for the browser closing so the stored selection can be cleaned automatically.
// One instance per process, created with the first button.
//
// The decision (automatic clean on and supported, then the "IEFrame" windows on the desktop)
// is made when the host ends its last button, on the host's thread and outside the loader
// lock: no frame left cleans at once, the one frame of this process is hooked and cleaned on
// its destruction, anything else leaves the decision open. Hooking takes a reference on the
// module, so the hook's code stays mapped after the host has unloaded the module; that
// reference is kept for the rest of the process, since no thread can tell when the frame's
// thread has returned through the hook for the last time.
//
// A host that unloads the module without ending its buttons reaches the decision at module
// termination instead, where no reference can be taken: the selection is then cleaned at once
// whenever a frame would have been hooked. A hook that never fired before the process ended
// cleans there too.
#pragma once

#include <windows.h>

#include "ui/WindowSubclass.h"

class CloseWatcher {
public:
    static constexpr WCHAR OwnerPropName[] = L"{2F7AFDCB-514F-4a52-BAA0-318DD50A7A95}";
    static constexpr WCHAR ProcPropName[] = L"{C29927CB-58A0-4bea-9C3F-2FADB4E6D85E}";

    // The first call constructs the watcher and schedules its end-of-module run; later
    // calls return the same instance.
    static CloseWatcher& Obtain();

    // For the export: message 21 has just removed the last button. Makes the decision unless
    // it has been made already; does nothing before the first button created the watcher.
    static void HostReleasedButtons();

    CloseWatcher(const CloseWatcher&) = delete;
    CloseWatcher& operator=(const CloseWatcher&) = delete;

private:
    enum State : LONG {
        Waiting,  // no decision yet, or the last one found nothing to do
        Deciding, // a decision is running
        Hooked,   // a frame carries the close hook, which has not cleaned yet
        Finished, // the selection was cleaned (or the hook has started its clean)
    };

    CloseWatcher();
    ~CloseWatcher();

    void DecideWhileHostRuns();
    void DecideAtTermination();
    // Installs the close hook on frame, with a module reference that keeps it callable.
    bool HookFrame(HWND frame);
    // Hooked to Finished; true for the one caller that gets to run the hooked frame's clean.
    bool TakeHookedClean();

    friend LRESULT CALLBACK CloseHookProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

    WindowSubclass subclass_;
    volatile LONG state_ = Waiting;
    HWND hookedFrame_ = nullptr;
    // Taken when a frame is hooked and never given back: see the note at the top.
    HMODULE hookModule_ = nullptr;
};

// The window procedure of the hooked frame: cleans on its destruction, passes every message
// on, and never lets an exception reach the frame's own procedure.
LRESULT CALLBACK CloseHookProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);
