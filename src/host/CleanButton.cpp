#include "host/CleanButton.h"

#include "clean/CleanDialog.h"
#include "host/CloseWatcher.h"
#include "host/ComError.h"

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

// The user pressed the button: the clean dialog runs modally over the browser, and the host
// gets its answer only when it has closed.
LONG CleanButton::OnCommand(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    CleanDialog dialog;
    IButtonSite* site = Site();
    if (site) site->AddRef(); // handed over to the dialog, which releases it
    ThrowIfFailed(dialog.ShowOverBrowser(site));
    return 1;
}
