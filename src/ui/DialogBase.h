// The root of every object that receives window messages, and the modal dialog base the
// module's dialogs derive from: it shows a template of the module's resources inside the
// module's activation context, binds the dialog window to its object, routes messages through
// the derived dialog's message map and supplies the default handling and centring.
#pragma once

#include <windows.h>
#include <cstddef>

class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    // Returns the handled flag; result is what the window procedure answers.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
};

// One row of a derived dialog's message map. The handler gets the handled flag set to 1; when it
// leaves it at 1 its return value is the message result, when it clears it the message goes on
// to DialogBase's default handling, whose result replaces the handler's.
template <typename Dialog> struct MessageMapEntry {
    UINT message;
    LRESULT (Dialog::*handler)(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
};

class DialogBase : public MessageHandler {
public:
    explicit DialogBase(int templateId) : templateId(templateId) {}
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // The default handling: centring on WM_INITDIALOG, OK and Cancel, unbinding on
    // WM_NCDESTROY. A derived dialog overrides it to route through its message map.
    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    // Asked before the dialog ends with IDOK or IDCANCEL; 0 keeps it open.
    virtual int OnOK() { return 1; }
    virtual int OnCancel() { return 1; }

    // Shows the dialog template templateId of instance modally over owner. Returns the value
    // given to EndDialog, or -1 when the dialog could not be shown.
    INT_PTR DoModal(HINSTANCE instance, HWND owner);
    // Moves the dialog to the middle of center (null: its parent for a child window, its owner
    // otherwise), kept inside the work area or the parent's client area.
    void CenterWindow(HWND center);

    HWND window = nullptr; // set on WM_INITDIALOG
    int templateId;        // low 16 bits are the integer resource name

protected:
    // A derived dialog's ProcessWindowMessage is one call of this with its map:
    //     static const MessageMapEntry<CleanDialog> messageMap[] = {
    //         {WM_INITDIALOG, &CleanDialog::OnInitDialog},
    //         {WM_COMMAND, &CleanDialog::OnCommand},
    //     };
    //     return RouteMessage(messageMap, window, message, wParam, lParam, result);
    // The first row naming the message is used; unnamed messages go to the default handling.
    template <typename Dialog, size_t Count>
    BOOL RouteMessage(const MessageMapEntry<Dialog> (&map)[Count], HWND window, UINT message,
                      WPARAM wParam, LPARAM lParam, LRESULT& result) {
        for (const MessageMapEntry<Dialog>& entry : map) {
            if (entry.message != message) continue;
            BOOL handled = 1;
            LRESULT value =
                (static_cast<Dialog*>(this)->*entry.handler)(message, wParam, lParam, handled);
            if (handled) {
                result = value;
                return 1;
            }
            break;
        }
        return DialogBase::ProcessWindowMessage(window, message, wParam, lParam, result);
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
