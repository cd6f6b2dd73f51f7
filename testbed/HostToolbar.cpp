#include "testbed/HostToolbar.h"

#include <commctrl.h>

#include "host/ButtonHost.h"
#include "testbed/WindowClass.h"

namespace {

constexpr WCHAR FrameClass[] = L"VelaTestbed_HostFrame";
constexpr WCHAR ToolbarProp[] = L"VelaTestbed_HostToolbar";

} // namespace

HostToolbar::HostToolbar(std::initializer_list<WORD> commandIds, HWND parent) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    EnsureWindowClass(FrameClass, DefWindowProcW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));

    HINSTANCE instance = GetModuleHandleW(nullptr);
    DWORD placement = CCS_TOP;
    if (parent) {
        placement = CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
    } else {
        frame_ = CreateWindowExW(0, FrameClass, L"Host frame", WS_OVERLAPPEDWINDOW, 100, 100, 640,
                                 480, nullptr, nullptr, instance, nullptr);
        parent = frame_;
    }
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | placement, 0, 0, 0, 0, parent,
                               nullptr, instance, nullptr);
    if (!toolbar_) return;

    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (WORD id : commandIds) {
        TBBUTTON button = {};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = id;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
        button.iString = -1;
        buttons.push_back(button);
    }
    if (!buttons.empty())
        SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(),
                     reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);

    SetPropW(toolbar_, ToolbarProp, this);
    previousProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(toolbar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolbarProc)));
    if (frame_) ShowWindow(frame_, SW_SHOWNOACTIVATE);
}

HostToolbar::~HostToolbar() {
    Unhook();
    if (frame_)
        DestroyWindow(frame_);
    else if (toolbar_ && IsWindow(toolbar_))
        DestroyWindow(toolbar_);
}

void HostToolbar::Unhook() {
    if (!toolbar_ || !previousProc_) return;
    SetWindowLongPtrW(toolbar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
    RemovePropW(toolbar_, ToolbarProp);
    previousProc_ = nullptr;
}

LRESULT CALLBACK HostToolbar::ToolbarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = static_cast<HostToolbar*>(GetPropW(window, ToolbarProp));
    if (!self) return DefWindowProcW(window, message, wparam, lparam);
    WNDPROC previous = self->previousProc_;
    if (message == ToolbarConfirmUserMessage) {
        self->userQueries_.push_back(lparam);
        return wparam == ToolbarConfirmUserWParam &&
               static_cast<DWORD>(lparam) == self->currentUser_;
    }
    if (message == WM_NCDESTROY) self->Unhook();
    return CallWindowProcW(previous, window, message, wparam, lparam);
}

void HostToolbar::HideButton(WORD commandId, BOOL hidden) {
    SendMessageW(toolbar_, TB_HIDEBUTTON, commandId, MAKELPARAM(hidden ? TRUE : FALSE, 0));
}

void HostToolbar::SetButton(WORD commandId, const WCHAR* text, HICON icon) {
    if (!images_) {
        images_.Reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4));
        SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_.Get()));
        // Text to the right of the image, on the buttons that ask for it.
        SetWindowLongPtrW(toolbar_, GWL_STYLE,
                          GetWindowLongPtrW(toolbar_, GWL_STYLE) | TBSTYLE_LIST);
        SendMessageW(toolbar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    }
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_TEXT | TBIF_STYLE | TBIF_IMAGE;
    info.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT; // as wide as icon and text
    info.iImage = icon ? ImageList_AddIcon(images_.Get(), icon) : I_IMAGENONE;
    info.pszText = const_cast<WCHAR*>(text);
    SendMessageW(toolbar_, TB_SETBUTTONINFOW, commandId, reinterpret_cast<LPARAM>(&info));
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
}

RECT HostToolbar::ButtonRect(WORD commandId) const {
    RECT rect = {};
    SendMessageW(toolbar_, TB_GETRECT, commandId, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

void HostToolbar::MoveFrame(int x, int y) {
    SetWindowPos(frame_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostToolbar::ShowFrame(BOOL shown) {
    ShowWindow(frame_, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}
