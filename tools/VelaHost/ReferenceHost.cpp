#include "tools/VelaHost/ReferenceHost.h"

#include <commctrl.h>

namespace {

const WCHAR HostProp[] = L"VelaHost.ReferenceHost";
const int AddressBarHeight = 30;
const int ToolbarHeight = 28;
const int SearchBoxWidth = 220;

} // namespace

ReferenceHost::ReferenceHost(const std::vector<std::wstring>& searchRecords)
    : toolbar_({ClearCommandId}, browserFrame_.Window()), site_(HostSite::Make()),
      browser_(TestBrowser::Make(browserFrame_.Window())),
      searchBox_(site_.Get(), toolbar_.Window(), searchRecords), info_(L"Clear", ClearCommandId) {
    // The toolbar confirms its user both through its window and through the shared memory
    // that every toolbar of the session reads.
    sharedMemory_.SetUserNumber(CurrentUser);
    toolbar_.SetCurrentUser(CurrentUser);
    site_->SetToolbarWindow(toolbar_.Window());
    site_->SetCurrentUser(CurrentUser);
    site_->SetBrowser(browser_.Get());
    // The search box is drawn sunken, as an edit field on a toolbar is.
    HWND edit = searchBox_.Edit();
    SetWindowLongPtrW(edit, GWL_EXSTYLE, GetWindowLongPtrW(edit, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);

    HWND frame = browserFrame_.Window();
    SetWindowTextW(frame, L"Vela reference host");
    page_ = CreateWindowExW(
        0, L"Static", L"\n\n\nVelaClear reference host: press \"Clear\" on the toolbar above.",
        WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 0, 0, 0, frame, nullptr, GetModuleHandleW(nullptr),
        nullptr);
    SendMessageW(page_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    // The toolbar's notifications reach the frame; the host answers them here.
    SetPropW(frame, HostProp, this);
    frameProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc)));
}

ReferenceHost::~ReferenceHost() {
    if (HWND frame = browserFrame_.Window()) {
        SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(frameProc_));
        RemovePropW(frame, HostProp);
    }
    if (buttonCreated_) onButtonMessage_(info_.Get(), ClearButtonId, ButtonDestroy, 0, 0);
    if (module_) FreeLibrary(module_);
}

bool ReferenceHost::Start(const WCHAR* modulePath, std::wstring* error) {
    module_ = LoadButtonModule(&onButtonMessage_, modulePath);
    if (!module_) {
        *error = L"cannot load " + std::wstring(modulePath);
        return false;
    }
    if (!onButtonMessage_) {
        *error = L"the module has no OnButtonMessage export";
        return false;
    }

    // The button's caption comes from the module's string table.
    WCHAR text[64] = L"Clear";
    LoadStringW(module_, 1, text, 64);
    toolbar_.SetButtonText(ClearCommandId, text);

    HWND frame = browserFrame_.Window();
    SetWindowPos(frame, nullptr, 40, 40, 820, 560, SWP_NOZORDER);
    ShowWindow(frame, SW_SHOW);
    Layout();
    UpdateWindow(frame);

    // Message 2: create the button, hand over the site and report it shown.
    if (!onButtonMessage_(info_.Get(), ClearButtonId, ButtonCreateAndShow, site_->AsWParam(), 0)) {
        *error = L"the module refused the button";
        return false;
    }
    buttonCreated_ = true;
    return true;
}

int ReferenceHost::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void ReferenceHost::PressClear() {
    if (buttonCreated_) onButtonMessage_(info_.Get(), ClearButtonId, ButtonPressed, 0, 0);
}

// The address bar's rebar on top, the toolbar below it with the search box right of its
// buttons, and the page filling the rest.
void ReferenceHost::Layout() {
    RECT client = {};
    GetClientRect(browserFrame_.Window(), &client);
    int width = client.right;
    MoveWindow(browserFrame_.Worker(), 0, 0, width, AddressBarHeight, TRUE);
    MoveWindow(browserFrame_.Rebar(), 0, 0, width, AddressBarHeight, TRUE);
    MoveWindow(toolbar_.Window(), 0, AddressBarHeight, width, ToolbarHeight, TRUE);
    RECT button = toolbar_.ButtonRect(ClearCommandId);
    MoveWindow(searchBox_.Container(), button.right + 16, 3, SearchBoxWidth, ToolbarHeight - 6,
               TRUE);
    MoveWindow(searchBox_.Edit(), 0, 0, SearchBoxWidth, ToolbarHeight - 6, TRUE);
    int pageTop = AddressBarHeight + ToolbarHeight;
    MoveWindow(page_, 0, pageTop, width, client.bottom - pageTop, TRUE);
}

LRESULT CALLBACK ReferenceHost::FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* host = static_cast<ReferenceHost*>(GetPropW(window, HostProp));
    if (!host) return DefWindowProcW(window, message, wparam, lparam);
    WNDPROC previous = host->frameProc_;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wparam) == ClearCommandId && reinterpret_cast<HWND>(lparam) == host->Toolbar()) {
            host->PressClear();
            return 0;
        }
        break;
    case WM_SIZE:
        host->Layout();
        break;
    case WM_CTLCOLORSTATIC:
        // The page is white, as an empty browser page is.
        if (reinterpret_cast<HWND>(lparam) == host->page_) {
            SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(window, HostProp);
        break;
    }
    return CallWindowProcW(previous, window, message, wparam, lparam);
}
