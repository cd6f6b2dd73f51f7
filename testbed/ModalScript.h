// Drives a modal dialog the way a user would while the test's own thread sits in the dialog's
// modal loop: a helper thread waits for the dialog window, then runs a script against it with
// window messages, which the modal loop dispatches on the dialog's thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

// The first visible top-level window of this process with this caption, or null after
// timeoutMs.
HWND WaitForDialog(const wchar_t* caption, int timeoutMs = 10000);
// Waits until window is gone; false after timeoutMs.
bool WaitForWindowGone(HWND window, int timeoutMs = 10000);

class ModalScript {
public:
    // script runs once a window with this caption is up. When the script returns and the window
    // is still there, it is ended with IDCANCEL, so a failing test cannot hang in the loop.
    ModalScript(const wchar_t* caption, std::function<void(HWND dialog)> script);
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Waits for the script thread; true when the dialog appeared and the script ran.
    bool Finish();

private:
    std::thread thread_;
    bool ran_ = false;
};

// A click on a dialog's control as the dialog sees it: WM_COMMAND with BN_CLICKED/STN_CLICKED.
void ClickControl(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
std::wstring WindowText(HWND window);
// A user's click on a button or check box (BM_CLICK): a check box toggles, a disabled control
// does nothing, and the dialog gets its notification.
void PressButton(HWND dialog, int id);
