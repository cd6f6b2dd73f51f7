#include "ui/LinkLabel.h"

#include <commctrl.h>

void LinkLabelOwner::AttachLinkLabels(HWND dialog, const int* labelIds, int count) {
    if (count <= 0) return;
    HFONT font =
        reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dialog, labelIds[0]), WM_GETFONT, 0, 0));
    LOGFONTW description;
    if (font && GetObjectW(font, sizeof(description), &description)) {
        normalFont.Reset(CreateFontIndirectW(&description));
        description.lfUnderline = 1;
        underlinedFont.Reset(CreateFontIndirectW(&description));
    }
    for (int i = 0; i < count; i++) {
        HWND label = GetDlgItem(dialog, labelIds[i]);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(underlinedFont.Get()), TRUE);
        linkSubclass.Install(label, LinkLabelProc, this);
    }
}

void LinkLabelOwner::DetachLinkLabels(HWND dialog, const int* labelIds, int count) {
    for (int i = 0; i < count; i++) {
        HWND label = GetDlgItem(dialog, labelIds[i]);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(normalFont.Get()), TRUE);
        linkSubclass.Remove(label, LinkLabelProc, this);
    }
    normalFont.Reset();
    underlinedFont.Reset();
}

namespace {

// The owner property of a label: found without knowing the owner's names, since every
// owner of link labels uses the same two.
LinkLabelOwner* OwnerOf(HWND label, const WindowSubclass& subclass) {
    return static_cast<LinkLabelOwner*>(subclass.Owner(label));
}

} // namespace

LRESULT CALLBACK LinkLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    // The names are fixed for link labels; a subclass object made with them reads the
    // properties of any label.
    static const WindowSubclass names(LinkOwnerProp, LinkProcProp);
    LinkLabelOwner* owner = OwnerOf(label, names);
    WNDPROC previous = names.PreviousProc(label);
    if (!owner) return CallWindowProcW(previous, label, message, wParam, lParam);

    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
        if (reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)) !=
            owner->underlinedFont.Get()) {
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(owner->underlinedFont.Get()),
                         TRUE);
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, label, 0};
            _TrackMouseEvent(&track);
        }
        break;
    case WM_MOUSELEAVE:
        if (!GetPropW(label, UnderlineAlwaysProp))
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(owner->normalFont.Get()),
                         TRUE);
        break;
    case WM_GETDLGCODE:
        // Enter on a focused link opens it instead of pressing the dialog's default button.
        if (wParam == VK_RETURN) return DLGC_WANTMESSAGE;
        break;
    case WM_KEYDOWN:
        if (wParam != VK_RETURN && wParam != VK_SPACE) break;
        // The notification a click sends (STN_CLICKED is 0).
        SendMessageW(GetParent(label), WM_COMMAND, GetDlgCtrlID(label),
                     reinterpret_cast<LPARAM>(label));
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(label, nullptr, TRUE);
        break;
    case WM_DESTROY:
        owner->linkSubclass.Remove(label, LinkLabelProc, owner);
        break;
    default:
        break;
    }
    LRESULT result = CallWindowProcW(previous, label, message, wParam, lParam);
    // The keyboard's link: a focus rectangle over what the static painted.
    if (message == WM_PAINT && GetFocus() == label) {
        WindowDc dc(label);
        RECT rect = {};
        GetClientRect(label, &rect);
        DrawFocusRect(dc.Get(), &rect);
    }
    return result;
}
