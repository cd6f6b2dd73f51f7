// Runs a test's code inside the modal loop of a dialog that the code under test shows: a thread
// timer looks for a dialog of this thread with a given caption and, once it is there, calls the
// step with its window. Steps may schedule further steps and open further dialogs.
#pragma once

#include <windows.h>
#include <functional>

#include "ui/DialogBase.h"

using DialogStep = std::function<void(HWND dialog)>;

// The step runs once, in whatever message loop of this thread first finds the dialog.
void WhenDialogShows(const wchar_t* caption, DialogStep step);
// Forgets every step not yet run (a test that ends early must not leave them to the next).
void CancelDialogSteps();
int PendingDialogSteps();

// A key pressed and released on the focused window, with Ctrl held when withControl, as the
// dialog's own message loop takes it: the messages go through IsDialogMessageW, so Tab, Enter
// and Escape mean to the dialog what they mean to a user. Returns once they are handled.
void PressKey(HWND dialog, UINT key, bool withControl = false);

// A dialog window ("#32770") of this thread with exactly this caption, or null.
HWND FindThreadDialog(const wchar_t* caption);
// The dialog's DialogBase-derived object, as the module's dialog procedure keeps it.
template <typename Dialog> Dialog* DialogObject(HWND dialog) {
    return static_cast<Dialog*>(
        reinterpret_cast<DialogBase*>(GetWindowLongPtrW(dialog, DWLP_USER)));
}
