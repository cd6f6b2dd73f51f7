#include "host/CleanButton.h"

#include "host/CloseWatcher.h"

LONG CleanButton::OnCreate(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                           LPARAM lparam) {
    ToolbarButton::OnCreate(info, id, msg, wparam, lparam);
    CloseWatcher::Obtain();
    return 1;
}

LONG CleanButton::OnVisibilityChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                      LPARAM lparam) {
    ToolbarButton::OnVisibilityChanged(info, id, msg, wparam, lparam);
    return 1;
}

LONG CleanButton::OnUserChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                LPARAM lparam) {
    ToolbarButton::OnUserChanged(info, id, msg, wparam, lparam);
    return 1;
}

LONG CleanButton::OnFilesChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                 LPARAM lparam) {
    ToolbarButton::OnFilesChanged(info, id, msg, wparam, lparam);
    return 1;
}

// The button has no drop-down menu.
LONG CleanButton::OnDropDown(const ButtonHostInfo*, LONG, LONG, WPARAM, const RECT*, BOOL) {
    return 1;
}

LONG CleanButton::OnCommand(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    // The clean dialog is shown here once it exists; pressing the button is acknowledged.
    return 1;
}
