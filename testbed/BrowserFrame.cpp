#include "testbed/BrowserFrame.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "src/host/ButtonHost.h"

namespace {

const WCHAR StandardFrameClass[] = L"IEFrame";
const WCHAR RecordProperty[] = L"VelaTestbed.ResetRecord";
const WCHAR OldProcProperty[] = L"VelaTestbed.AddressBarProc";
const WCHAR QueryMessageName[] = L"VelaTestbed_BrowserFrameResets";
constexpr WPARAM QueryCount = static_cast<WPARAM>(-1);

UINT QueryMessage() {
    static const UINT message = RegisterWindowMessageW(QueryMessageName);
    return message;
}

void InitControls() {
    INITCOMMONCONTROLSEX init = {};
    init.dwSize = sizeof(init);
    init.dwICC = ICC_USEREX_CLASSES | ICC_COOL_CLASSES;
    InitCommonControlsEx(&init);
}

HINSTANCE ExeInstance() {
    return GetModuleHandleW(nullptr);
}

// Class names are case-insensitive within a process, so a frame class that differs from
// "IEFrame" only in case can exist beside it only as a local class of another instance;
// comctl32 is loaded anyway and owns no class of these names.
HINSTANCE FrameInstance(const WCHAR* frameClass) {
    if (StrCmpW(frameClass, StandardFrameClass) == 0) return ExeInstance();
    return GetModuleHandleW(L"comctl32.dll");
}

void EnsureClass(const WCHAR* name, HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, name, &existing) && existing.hInstance == instance) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassExW(&wc);
}

void InsertBand(HWND rebar, HWND child) {
    REBARBANDINFOW band = {};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE;
    band.fStyle = RBBS_CHILDEDGE;
    band.hwndChild = child;
    band.cxMinChild = 200;
    band.cyMinChild = 22;
    SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

} // namespace

BrowserFrame::BrowserFrame(const BrowserFrameLayout& layout) {
    InitControls();
    HINSTANCE exe = ExeInstance();
    // The standard class is always registered first, so the class atom that other processes
    // see keeps the spelling "IEFrame" even when a variant is registered beside it.
    EnsureClass(StandardFrameClass, exe, FrameProc);
    HINSTANCE frameInstance = FrameInstance(layout.frameClass);
    EnsureClass(layout.frameClass, frameInstance, FrameProc);
    EnsureClass(layout.workerClass, exe, DefWindowProcW);
    EnsureClass(L"Address Band Root", exe, DefWindowProcW);

    frame_ = CreateWindowExW(0, layout.frameClass, L"Testbed browser frame",
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr,
                             nullptr, frameInstance, this);
    if (!frame_) return;
    worker_ =
        CreateWindowExW(0, layout.workerClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                        0, 640, 60, frame_, nullptr, exe, nullptr);
    rebar_ =
        CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | RBS_VARHEIGHT | CCS_NODIVIDER, 0,
                        0, 640, 30, worker_, nullptr, exe, nullptr);
    if (layout.placement == AddressBarPlacement::UnderAddressBand) {
        band_ = CreateWindowExW(0, L"Address Band Root", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 400,
                                24, rebar_, nullptr, exe, nullptr);
        addressBar_ = CreateAddressBar(band_, &resets_);
        InsertBand(rebar_, band_);
    } else {
        addressBar_ = CreateAddressBar(rebar_, &resets_);
        InsertBand(rebar_, addressBar_);
    }
    if (layout.secondAddressBar) secondAddressBar_ = CreateAddressBar(frame_, &secondResets_);
}

BrowserFrame::~BrowserFrame() {
    if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
}

HWND BrowserFrame::CreateAddressBar(HWND parent, std::vector<WPARAM>* record) {
    HWND bar = CreateWindowExW(0, WC_COMBOBOXEXW, nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0,
                               0, 400, 200, parent, nullptr, ExeInstance(), nullptr);
    if (!bar) return nullptr;
    SetPropW(bar, RecordProperty, record);
    LONG_PTR old = SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AddressBarProc));
    SetPropW(bar, OldProcProperty, reinterpret_cast<HANDLE>(old));
    return bar;
}

void BrowserFrame::AddEntries(HWND addressBar, const std::vector<std::wstring>& entries) {
    for (const std::wstring& entry : entries) {
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = -1;
        item.pszText = const_cast<WCHAR*>(entry.c_str());
        SendMessageW(addressBar, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

std::vector<std::wstring> BrowserFrame::Entries(HWND addressBar) {
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        WCHAR text[2084] = {};
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = 2084;
        SendMessageW(addressBar, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        entries.push_back(text);
    }
    return entries;
}

std::vector<WPARAM> BrowserFrame::QueryResets(HWND frame) {
    std::vector<WPARAM> resets;
    LRESULT count = SendMessageW(frame, QueryMessage(), QueryCount, 0);
    for (LRESULT i = 0; i < count; i++)
        resets.push_back(static_cast<WPARAM>(SendMessageW(frame, QueryMessage(), i, 0)));
    return resets;
}

LRESULT CALLBACK BrowserFrame::FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<BrowserFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == QueryMessage() && self) {
        const std::vector<WPARAM>& resets = self->resets_;
        if (wparam == QueryCount) return static_cast<LRESULT>(resets.size());
        return wparam < resets.size() ? static_cast<LRESULT>(resets[wparam]) : -1;
    }
    if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->frame_ = nullptr;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK BrowserFrame::AddressBarProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    auto old = reinterpret_cast<WNDPROC>(GetPropW(window, OldProcProperty));
    if (message == AddressBarResetMessage) {
        if (auto* record = static_cast<std::vector<WPARAM>*>(GetPropW(window, RecordProperty)))
            record->push_back(wparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropW(window, OldProcProperty);
        RemovePropW(window, RecordProperty);
    }
    return CallWindowProcW(old, window, message, wparam, lparam);
}
