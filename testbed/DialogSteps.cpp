#include "testbed/DialogSteps.h"

#include <map>
#include <string>
#include <utility>

namespace {

struct PendingStep {
    std::wstring caption;
    DialogStep step;
};

// Each thread's own: a thread timer fires only on the thread that set it, and threads of their
// own (the concurrency runs' browser threads) set and run steps at the same time.
std::map<UINT_PTR, PendingStep>& Pending() {
    static thread_local std::map<UINT_PTR, PendingStep> pending;
    return pending;
}

struct Search {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    WCHAR className[32] = {};
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") != 0) return TRUE;
    WCHAR text[260] = {};
    GetWindowTextW(window, text, 260);
    if (lstrcmpW(text, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

void CALLBACK StepTimer(HWND, UINT, UINT_PTR id, DWORD) {
    auto it = Pending().find(id);
    if (it == Pending().end()) {
        KillTimer(nullptr, id);
        return;
    }
    HWND dialog = FindThreadDialog(it->second.caption.c_str());
    if (!dialog) return;
    KillTimer(nullptr, id);
    DialogStep step = std::move(it->second.step);
    Pending().erase(it);
    step(dialog);
}

} // namespace

void WhenDialogShows(const wchar_t* caption, DialogStep step) {
    UINT_PTR id = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, StepTimer);
    if (id) Pending()[id] = PendingStep{caption, std::move(step)};
}

void CancelDialogSteps() {
    for (auto& [id, pending] : Pending())
        KillTimer(nullptr, id);
    Pending().clear();
}

int PendingDialogSteps() {
    return static_cast<int>(Pending().size());
}

HWND FindThreadDialog(const wchar_t* caption) {
    Search search = {caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PressKey(HWND dialog, UINT key, bool withControl) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE control = keys[VK_CONTROL];
    keys[VK_CONTROL] = withControl ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    UINT scan = MapVirtualKeyW(key, 0);
    PostMessageW(focus, WM_KEYDOWN, key, MAKELPARAM(1, scan));
    PostMessageW(focus, WM_KEYUP, key, MAKELPARAM(1, scan | 0xC000));
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    keys[VK_CONTROL] = control;
    SetKeyboardState(keys);
}
