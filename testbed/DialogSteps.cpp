#include "testbed/DialogSteps.h"

#include <map>
#include <string>
#include <utility>

namespace {

struct PendingStep {
    std::wstring caption;
    HWND owner; // instead of the caption, when set
    DialogStep step;
};

std::map<UINT_PTR, PendingStep>& Pending() {
    static std::map<UINT_PTR, PendingStep> pending;
    return pending;
}

struct Search {
    const wchar_t* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    WCHAR className[32] = {};
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") != 0) return TRUE;
    if (search->owner) {
        if (GetWindow(window, GW_OWNER) != search->owner) return TRUE;
        search->found = window;
        return FALSE;
    }
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
    Search search = {it->second.caption.c_str(), it->second.owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    HWND dialog = search.found;
    if (!dialog) return;
    KillTimer(nullptr, id);
    DialogStep step = std::move(it->second.step);
    Pending().erase(it);
    step(dialog);
}

} // namespace

void WhenDialogShows(const wchar_t* caption, DialogStep step) {
    UINT_PTR id = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, StepTimer);
    if (id) Pending()[id] = PendingStep{caption, nullptr, std::move(step)};
}

void WhenOwnedDialogShows(HWND owner, DialogStep step) {
    UINT_PTR id = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, StepTimer);
    if (id) Pending()[id] = PendingStep{L"", owner, std::move(step)};
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
    Search search = {caption, nullptr, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
