#include "tools/VelaHost/DemoBrowser.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string>

#include "tools/VelaHost/DemoPage.h"

namespace {

const WCHAR BrowserProp[] = L"VelaHost.DemoBrowser";
const WCHAR BrowserName[] = L" - VelaHost";
const int StatusZoneWidth = 160;

HMENU CreateBrowserMenu() {
    HMENU menu = CreateMenu();
    for (const WCHAR* item :
         {L"文件(&F)", L"编辑(&E)", L"查看(&V)", L"收藏(&A)", L"工具(&T)", L"帮助(&H)"})
        AppendMenuW(menu, MF_STRING, 0, item);
    return menu;
}

// The browser's own icon, from the browser's program file.
HICON LoadBrowserIcon() {
    WCHAR path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE)) return nullptr;
    PathAppendW(path, L"Internet Explorer\\iexplore.exe");
    HICON icon = nullptr;
    if (ExtractIconExW(path, 0, nullptr, &icon, 1) != 1) return nullptr;
    return icon;
}

TBBUTTON Button(int image, int command, BYTE state, BYTE style, const WCHAR* text) {
    TBBUTTON button = {};
    button.iBitmap = image;
    button.idCommand = command;
    button.fsState = state;
    button.fsStyle = style;
    button.iString = reinterpret_cast<INT_PTR>(text);
    return button;
}

} // namespace

DemoBrowser::DemoBrowser() {
    HWND window = frame_.Window();
    SetMenu(window, CreateBrowserMenu());
    icon_.Reset(LoadBrowserIcon());
    if (icon_) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Get()));

    // The bars of the browser sit in the rebar, one per row, locked in place; the rebar tells
    // the frame when its height changes.
    HWND rebar = frame_.Rebar();
    SetWindowLongPtrW(rebar, GWL_STYLE, GetWindowLongPtrW(rebar, GWL_STYLE) | RBS_BANDBORDERS);
    SendMessageW(rebar, RB_SETPARENT, reinterpret_cast<WPARAM>(window), 0);
    AddButtonsBand();
    REBARBANDINFOW address = {};
    address.cbSize = sizeof(address);
    address.fMask = RBBIM_STYLE | RBBIM_TEXT;
    address.fStyle = RBBS_BREAK | RBBS_NOGRIPPER | RBBS_CHILDEDGE;
    address.lpText = const_cast<WCHAR*>(L"地址(&D)");
    SendMessageW(rebar, RB_SETBANDINFOW, 1, reinterpret_cast<LPARAM>(&address));

    page_ = CreateDemoPage(window);
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                              0, 0, 0, 0, window, nullptr, GetModuleHandleW(nullptr), nullptr);

    SetPropW(window, BrowserProp, this);
    frameProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc)));
}

DemoBrowser::~DemoBrowser() {
    if (HWND window = frame_.Window()) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(frameProc_));
        RemovePropW(window, BrowserProp);
    }
}

// Back and forward with their drop-down arrows, favourites and print, with the images of the
// common controls and the text of the chief buttons beside their image.
void DemoBrowser::AddButtonsBand() {
    HWND toolbar =
        CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TRANSPARENT |
                            CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                        0, 0, 0, 0, frame_.Rebar(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar, TB_SETEXTENDEDSTYLE, 0,
                 TBSTYLE_EX_MIXEDBUTTONS | TBSTYLE_EX_DRAWDDARROWS);
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(24, 24));
    TBADDBITMAP historyImages = {HINST_COMMCTRL, IDB_HIST_LARGE_COLOR};
    int history = static_cast<int>(
        SendMessageW(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&historyImages)));
    TBADDBITMAP standardImages = {HINST_COMMCTRL, IDB_STD_LARGE_COLOR};
    int standard = static_cast<int>(
        SendMessageW(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standardImages)));

    const BYTE Shown = TBSTATE_ENABLED;
    const BYTE Plain = BTNS_BUTTON | BTNS_AUTOSIZE;
    const BYTE Labelled = Plain | BTNS_SHOWTEXT;
    TBBUTTON buttons[] = {
        Button(history + HIST_BACK, 1, Shown, Labelled | BTNS_DROPDOWN, L"后退"),
        Button(history + HIST_FORWARD, 2, 0, Plain | BTNS_DROPDOWN, L"前进"),
        Button(0, 0, 0, BTNS_SEP, nullptr),
        Button(history + HIST_FAVORITES, 3, Shown, Labelled, L"收藏夹"),
        Button(0, 0, 0, BTNS_SEP, nullptr),
        Button(standard + STD_PRINT, 4, Shown, Plain, L"打印"),
    };
    SendMessageW(toolbar, TB_ADDBUTTONSW, ARRAYSIZE(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);

    SIZE size = {};
    SendMessageW(toolbar, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    REBARBANDINFOW band = {};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE;
    band.fStyle = RBBS_BREAK | RBBS_NOGRIPPER | RBBS_CHILDEDGE;
    band.hwndChild = toolbar;
    band.cxMinChild = size.cx;
    band.cyMinChild = size.cy;
    SendMessageW(frame_.Rebar(), RB_INSERTBANDW, 0, reinterpret_cast<LPARAM>(&band));
}

// The address bar shows the page's address in its edit field (item -1), beside the icon its
// list holds for that address, or the browser's page icon (image 0).
void DemoBrowser::ShowPageAddress() {
    HWND bar = frame_.AddressBar();
    COMBOBOXEXITEMW known = {};
    known.mask = CBEIF_IMAGE;
    known.iItem = SendMessageW(bar, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(DemoPageUrl));
    if (known.iItem == CB_ERR ||
        !SendMessageW(bar, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&known)))
        known.iImage = 0;
    COMBOBOXEXITEMW shown = {};
    shown.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    shown.iItem = -1;
    shown.pszText = const_cast<WCHAR*>(DemoPageUrl);
    shown.iImage = known.iImage;
    shown.iSelectedImage = known.iImage;
    SendMessageW(bar, CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&shown));
}

void DemoBrowser::Show() {
    HWND window = frame_.Window();
    SetWindowTextW(window, (std::wstring(DemoPageTitle) + BrowserName).c_str());
    ShowPageAddress();
    SetWindowPos(window, nullptr, 40, 40, 840, 600, SWP_NOZORDER);
    Layout();
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"完成"));
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"Internet"));
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

int DemoBrowser::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// The rebar on top with as many rows as its bands need, the status bar at the bottom with the
// security zone in its last part, and the page between them.
void DemoBrowser::Layout() {
    RECT client = {};
    GetClientRect(frame_.Window(), &client);
    HWND rebar = frame_.Rebar();
    int bars = static_cast<int>(SendMessageW(rebar, RB_GETBARHEIGHT, 0, 0));
    MoveWindow(frame_.Worker(), 0, 0, client.right, bars, TRUE);
    MoveWindow(rebar, 0, 0, client.right, bars, TRUE);

    SendMessageW(status_, WM_SIZE, 0, 0);
    int parts[] = {client.right - StatusZoneWidth, -1};
    SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    RECT status = {};
    GetWindowRect(status_, &status);
    int pageBottom = client.bottom - (status.bottom - status.top);
    MoveWindow(page_, 0, bars, client.right, pageBottom - bars, TRUE);
}

LRESULT CALLBACK DemoBrowser::FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* browser = static_cast<DemoBrowser*>(GetPropW(window, BrowserProp));
    if (!browser) return DefWindowProcW(window, message, wparam, lparam);
    WNDPROC previous = browser->frameProc_;
    switch (message) {
    case WM_SIZE:
        browser->Layout();
        break;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lparam)->code == RBN_HEIGHTCHANGE) browser->Layout();
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(window, BrowserProp);
        break;
    }
    return CallWindowProcW(previous, window, message, wparam, lparam);
}
