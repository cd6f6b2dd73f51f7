#include "ui/DialogBase.h"

#include "ui/ActivationContext.h"

BOOL DialogBase::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM,
                                      LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, DWLP_USER, 0);
        break;
    case WM_INITDIALOG:
        // The result stays 0, so the system leaves the keyboard focus alone.
        CenterWindow(nullptr);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (!OnOK()) return 0;
            EndDialog(window, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            if (!OnCancel()) return 0;
            EndDialog(window, IDCANCEL);
        }
        result = 1;
        break;
    }
    return 1;
}

INT_PTR DialogBase::DoModal(HINSTANCE instance, HWND owner) {
    ActivationContext context(instance);
    if (!context.Usable()) return -1;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId & 0xFFFF), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

// The dialog procedure answers the message result itself (not the handled flag): a message
// left at 0 gets the system's default dialog handling.
INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* dialog = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        // A dialog that cannot find its object could neither work nor be closed: it ends now.
        if (!lParam || dialog != reinterpret_cast<DialogBase*>(lParam)) {
            EndDialog(window, -1);
            return FALSE;
        }
        dialog->window = window;
    }
    LRESULT result = 0;
    if (dialog) dialog->ProcessWindowMessage(window, message, wParam, lParam, result);
    return result;
}

void DialogBase::CenterWindow(HWND center) {
    LONG style = GetWindowLongW(window, GWL_STYLE);
    bool child = (style & WS_CHILD) != 0;
    if (!center) center = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT own = {};
    GetWindowRect(window, &own);
    int w = own.right - own.left;
    int h = own.bottom - own.top;

    RECT area = {};
    RECT reference = {};
    if (!child) {
        if (center) {
            LONG centerStyle = GetWindowLongW(center, GWL_STYLE);
            if (!(centerStyle & WS_VISIBLE) || (centerStyle & WS_MINIMIZE)) center = nullptr;
        }
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        if (center)
            GetWindowRect(center, &reference);
        else
            reference = area;
    } else {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        if (center) {
            GetClientRect(center, &reference);
            MapWindowPoints(center, parent, reinterpret_cast<POINT*>(&reference), 2);
        } else {
            reference = area;
        }
    }

    int x = (reference.left + reference.right) / 2 - w / 2;
    int y = (reference.top + reference.bottom) / 2 - h / 2;
    if (x < area.left)
        x = area.left;
    else if (x + w > area.right)
        x = area.right - w;
    if (y < area.top)
        y = area.top;
    else if (y + h > area.bottom)
        y = area.bottom - h;

    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
