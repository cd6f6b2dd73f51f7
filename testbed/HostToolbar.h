// The host toolbar as the module sees it: a real common-controls toolbar ("ToolbarWindow32")
// in a visible top-level frame of its own, or in a window the host gives, with buttons of
// chosen command ids. It answers the toolbar's
// private message 0x4C8 (wParam 0x00B20000) with non-zero exactly when lParam is its current
// user, and counts those messages.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <initializer_list>
#include <vector>

#include "env/Handles.h"

class HostToolbar {
public:
    // Without a parent the toolbar gets a frame of its own; with one it is a child of that
    // window, which then receives its WM_COMMAND notifications, and the owner places it.
    explicit HostToolbar(std::initializer_list<WORD> commandIds, HWND parent = nullptr);
    ~HostToolbar();
    HostToolbar(const HostToolbar&) = delete;
    HostToolbar& operator=(const HostToolbar&) = delete;

    HWND Window() const { return toolbar_; }
    HWND Frame() const { return frame_; }

    // The user number the toolbar confirms; 0 until set.
    void SetCurrentUser(DWORD userNumber) { currentUser_ = userNumber; }
    // Every 0x4C8 message received, as the lParam it carried.
    const std::vector<LPARAM>& UserQueries() const { return userQueries_; }
    int UserQueryCount() const { return static_cast<int>(userQueries_.size()); }

    void HideButton(WORD commandId, BOOL hidden);
    // Shows the button as browser toolbars show theirs: its 16 x 16 icon (copied into the
    // toolbar's image list) with its text beside it; with a null icon, the text alone.
    void SetButton(WORD commandId, const WCHAR* text, HICON icon);
    // The button's rectangle in the toolbar's client coordinates (TB_GETRECT).
    RECT ButtonRect(WORD commandId) const;
    // Moves the frame's top-left corner to a screen position.
    void MoveFrame(int x, int y);
    void ShowFrame(BOOL shown);

private:
    static LRESULT CALLBACK ToolbarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void Unhook();

    HWND frame_ = nullptr;
    HWND toolbar_ = nullptr;
    WNDPROC previousProc_ = nullptr;
    UniqueImageList images_; // a toolbar does not own the image list it is given
    DWORD currentUser_ = 0;
    std::vector<LPARAM> userQueries_;
};
