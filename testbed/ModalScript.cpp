#include "testbed/ModalScript.h"

namespace {

struct CaptionSearch {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<CaptionSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND WaitForDialog(const wchar_t* caption, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        CaptionSearch search = {caption, nullptr};
        EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(10);
    }
    return nullptr;
}

bool WaitForWindowGone(HWND window, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        if (!IsWindow(window)) return true;
        Sleep(10);
    }
    return !IsWindow(window);
}

ModalScript::ModalScript(const wchar_t* caption, std::function<void(HWND)> script) {
    std::wstring title = caption;
    thread_ = std::thread([this, title, script] {
        HWND dialog = WaitForDialog(title.c_str());
        if (!dialog) return;
        script(dialog);
        ran_ = true;
        if (IsWindow(dialog) && !WaitForWindowGone(dialog, 200))
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
}

ModalScript::~ModalScript() {
    Finish();
}

bool ModalScript::Finish() {
    if (thread_.joinable()) thread_.join();
    return ran_;
}

void ClickControl(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::wstring WindowText(HWND window) {
    WCHAR text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

void PressButton(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}
