#include "tools/VelaHost/ReferenceHost.h"

#include <commctrl.h>
#include <shellapi.h>

#include "testbed/WindowClass.h"

namespace {

const WCHAR BandClass[] = L"VelaHost_ToolbarBand";
const int SearchBoxWidth = 200;
const int SearchBoxHeight = 20;

} // namespace

ReferenceHost::ReferenceHost(const BrowserFrame& browser,
                             const std::vector<std::wstring>& searchRecords)
    : band_(CreateBand(browser.Rebar())), toolbar_({SearchCommandId, ClearCommandId}, band_),
      site_(HostSite::Make()), browser_(TestBrowser::Make(browser.Window())),
      searchBox_(site_.Get(), toolbar_.Window(), searchRecords), info_(L"Clear", ClearCommandId) {
    SetWindowLongPtrW(band_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // The toolbar confirms its user both through its window and through the shared memory
    // that every toolbar of the session reads.
    sharedMemory_.SetUserNumber(CurrentUser);
    toolbar_.SetCurrentUser(CurrentUser);
    site_->SetToolbarWindow(toolbar_.Window());
    site_->SetCurrentUser(CurrentUser);
    site_->SetBrowser(browser_.Get());

    // The search box comes first on the toolbar, sunken as an edit field on a toolbar is, and
    // its button right after it; the module's button follows once the module is loaded.
    HWND toolbar = toolbar_.Window();
    HICON searchIcon = nullptr;
    ExtractIconExW(L"shell32.dll", -23, nullptr, &searchIcon, 1); // the shell's "Search"
    toolbar_.SetButton(SearchCommandId, L"搜索", searchIcon);
    if (searchIcon) DestroyIcon(searchIcon);
    int height = HIWORD(SendMessageW(toolbar, TB_GETBUTTONSIZE, 0, 0));
    SendMessageW(toolbar, TB_SETINDENT, SearchBoxWidth + 6, 0);
    HWND edit = searchBox_.Edit();
    SetWindowLongPtrW(edit, GWL_EXSTYLE, GetWindowLongPtrW(edit, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    MoveWindow(searchBox_.Container(), 4, (height - SearchBoxHeight) / 2, SearchBoxWidth,
               SearchBoxHeight, TRUE);
    MoveWindow(edit, 0, 0, SearchBoxWidth, SearchBoxHeight, TRUE);

    // The band: a row of its own with the toolbar's name, locked in place, as high as the
    // toolbar's buttons.
    REBARBANDINFOW band = {};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_TEXT;
    band.fStyle = RBBS_BREAK | RBBS_NOGRIPPER;
    band.lpText = const_cast<WCHAR*>(L"Vela");
    band.hwndChild = band_;
    band.cxMinChild = SearchBoxWidth;
    band.cyMinChild = height;
    SendMessageW(browser.Rebar(), RB_INSERTBANDW, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&band));
}

ReferenceHost::~ReferenceHost() {
    if (IsWindow(band_)) SetWindowLongPtrW(band_, GWLP_USERDATA, 0);
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

    // The button shows the module's icon and, beside it, the caption from its string table.
    WCHAR caption[64] = L"Clear";
    LoadStringW(module_, ButtonCaptionId, caption, 64);
    HICON icon = static_cast<HICON>(
        LoadImageW(module_, MAKEINTRESOURCEW(ButtonIconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    toolbar_.SetButton(ClearCommandId, caption, icon);
    if (icon) DestroyIcon(icon);

    // Message 2: create the button, hand over the site and report it shown.
    if (!onButtonMessage_(info_.Get(), ClearButtonId, ButtonCreateAndShow, site_->AsWParam(), 0)) {
        *error = L"the module refused the button";
        return false;
    }
    buttonCreated_ = true;
    return true;
}

void ReferenceHost::PressClear() {
    if (buttonCreated_) onButtonMessage_(info_.Get(), ClearButtonId, ButtonPressed, 0, 0);
}

HWND ReferenceHost::CreateBand(HWND rebar) {
    EnsureWindowClass(BandClass, BandProc, nullptr);
    return CreateWindowExW(0, BandClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                           0, rebar, nullptr, GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK ReferenceHost::BandProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* host = reinterpret_cast<ReferenceHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host && message == WM_COMMAND && LOWORD(wparam) == ClearCommandId) {
        host->PressClear();
        return 0;
    }
    // The toolbar fills the band.
    if (host && message == WM_SIZE)
        MoveWindow(host->Toolbar(), 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
    return DefWindowProcW(window, message, wparam, lparam);
}
