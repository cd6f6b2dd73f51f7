#include "host/CloseWatcher.h"

#include <shlwapi.h>

#include "clean/CleanDialog.h"
#include "clean/CleanSettings.h"
#include "cleaners/AddressBars.h"
#include "host/Module.h"

namespace {

// The instance while it lives; the export asks through this so that it never creates one.
CloseWatcher* volatile g_watcher;

const int MaxFrames = 259;

// Filled during one enumeration, on the stack: the enumeration allocates nothing.
struct FrameList {
    HWND frames[MaxFrames];
    int count;
};

BOOL CALLBACK CollectFrame(HWND window, LPARAM param) {
    auto* list = reinterpret_cast<FrameList*>(param);
    if (!IsWindow(window)) return TRUE;
    WCHAR name[260];
    if (!GetClassNameW(window, name, 259)) return TRUE;
    // Exact: a class that differs only in letter case belongs to someone else.
    if (StrCmpW(name, BrowserFrameClass) != 0) return TRUE;
    if (list->count >= MaxFrames) return FALSE;
    list->frames[list->count++] = window;
    return TRUE;
}

enum class Decision { Nothing, CleanNow, HookFrame };

// The common part of the decision. With HookFrame, *frame is the one frame, of this process.
Decision Decide(HWND* frame) {
    if (!GetAutoClean() || AutoCleanSupported() != 1) return Decision::Nothing;

    FrameList list;
    list.count = 0;
    EnumWindows(CollectFrame, reinterpret_cast<LPARAM>(&list));
    if (list.count == 0) return Decision::CleanNow;
    if (list.count > 1) return Decision::Nothing;

    DWORD process = 0;
    GetWindowThreadProcessId(list.frames[0], &process);
    if (process != GetCurrentProcessId()) return Decision::Nothing;
    *frame = list.frames[0];
    return Decision::HookFrame;
}

// The automatic clean of the stored selection, on the calling thread, without windows.
void CleanStoredSelection() {
    CleanDialog dialog;
    dialog.RunAutoClean();
}

// The same inside the module's termination, which may come on any thread that held the last
// reference to the module (a usage ping that outlived the host's hold on it): the address bars
// of other threads are left alone there, since a message to one of them could wait forever.
void CleanStoredSelectionAtTermination() {
    OwnThreadAddressBarsOnly ownThread;
    CleanStoredSelection();
}

} // namespace

CloseWatcher& CloseWatcher::Obtain() {
    // A function-local static is constructed after the module's globals and so destroyed
    // before them: the end-of-module run sees a live button registry.
    static CloseWatcher watcher;
    return watcher;
}

CloseWatcher::CloseWatcher() : subclass_(OwnerPropName, ProcPropName) {
    g_watcher = this;
}

CloseWatcher::~CloseWatcher() {
    DecideAtTermination();
    g_watcher = nullptr;
}

void CloseWatcher::HostReleasedButtons() {
    if (CloseWatcher* watcher = g_watcher) watcher->DecideWhileHostRuns();
}

void CloseWatcher::DecideWhileHostRuns() {
    if (InterlockedCompareExchange(&state_, Deciding, Waiting) != Waiting) return;
    HWND frame = nullptr;
    switch (Decide(&frame)) {
    case Decision::CleanNow:
        CleanStoredSelection();
        InterlockedExchange(&state_, Finished);
        return;
    case Decision::HookFrame:
        if (HookFrame(frame)) return;
        // Not hooked: the frame is left as it was and termination decides again.
        InterlockedExchange(&state_, Waiting);
        return;
    case Decision::Nothing:
        // Buttons may come back and the settings or the frames change before the module goes:
        // the decision stays open for the next end of the buttons or for termination.
        InterlockedExchange(&state_, Waiting);
        return;
    }
}

// Inside the loader's termination of the module, where the module cannot be kept loaded:
// a frame that would be hooked is not, and its clean happens now instead.
void CloseWatcher::DecideAtTermination() {
    if (InterlockedCompareExchange(&state_, Deciding, Waiting) == Waiting) {
        HWND frame = nullptr;
        Decision decision = Decide(&frame);
        InterlockedExchange(&state_, Finished);
        if (decision != Decision::Nothing) CleanStoredSelectionAtTermination();
        return;
    }
    // The hooked frame outlived the process's use of the module (the process is ending): its
    // clean runs now, and the frame gets its own procedure back.
    if (TakeHookedClean()) {
        CleanStoredSelectionAtTermination();
        if (IsWindow(hookedFrame_)) subclass_.Remove(hookedFrame_, CloseHookProc, this);
    }
}

bool CloseWatcher::HookFrame(HWND frame) {
    // The hook keeps the module loaded until the frame is gone; without a reference the frame
    // is not hooked.
    HMODULE module = nullptr;
    if (!AddModuleReference(&module)) return false;
    // Hooked before the hook can run: a frame of another thread may be destroyed at once.
    hookedFrame_ = frame;
    InterlockedExchange(&state_, Hooked);
    if (!subclass_.Install(frame, CloseHookProc, this)) {
        hookedFrame_ = nullptr;
        ReleaseModuleReference(module);
        return false;
    }
    hookModule_ = module;
    return true;
}

bool CloseWatcher::TakeHookedClean() {
    return InterlockedCompareExchange(&state_, Finished, Hooked) == Hooked;
}

LRESULT CALLBACK CloseHookProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    // The names are fixed; an object made with them reads the properties of any hooked frame,
    // also one whose owner mark is already gone.
    static const WindowSubclass names(CloseWatcher::OwnerPropName, CloseWatcher::ProcPropName);
    try {
        WNDPROC previous = names.PreviousProc(frame);
        auto* owner = static_cast<CloseWatcher*>(names.Owner(frame));

        // WM_NCDESTROY as well, for a frame hooked while it was already being destroyed (its
        // toolbar ended the buttons from inside the frame's destruction).
        if (message == WM_DESTROY || message == WM_NCDESTROY) {
            CloseWatcher* watcher = g_watcher;
            if (watcher && watcher->TakeHookedClean()) CleanStoredSelection();
            if (owner) owner->subclass_.Remove(frame, CloseHookProc, owner);
        }
        return CallWindowProcW(previous, frame, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(frame, message, wParam, lParam);
    }
}
