// The binary interface between VelaClear.dll and the toolbar that hosts it.
// Hosts, the testbed and outside tests are written against exactly this header.
#pragma once

#include <windows.h>
#include <unknwn.h>

// The host's per-button record. Opaque apart from the two fields the module reads;
// the host guarantees at least ButtonHostInfoSize readable bytes.
struct ButtonHostInfo;

constexpr UINT ButtonHostInfoSize = 276;
constexpr UINT ButtonHostInfoNameOffset = 28;      // const WCHAR*: the button's name
constexpr UINT ButtonHostInfoCommandIdOffset = 32; // WORD: the button's toolbar command id

// Resources of the module that a host shows on its toolbar: the button's icon and its caption
// (string table entries 1, 2 and 3 all hold it).
constexpr WORD ButtonIconId = 112;
constexpr UINT ButtonCaptionId = 1;

// Host message codes delivered through OnButtonMessage.
enum ButtonMessage : LONG {
    ButtonCreate = 1,         // wparam: IButtonSite*
    ButtonCreateAndShow = 2,  // wparam: IButtonSite*, then the first visibility report
    ButtonPressed = 3,        //
    ButtonDropDown = 4,       // lparam: NMTOOLBARW*
    ButtonMessageTwelve = 12, //
    ButtonVisibility = 13,    // wparam: non-zero when shown
    ButtonUserChanged = 15,   //
    ButtonFilesChanged = 16,  //
    ButtonDestroy = 21,       //
};

// The host's COM object handed to the button in wparam of message 1 or 2.
// QueryInterface for IID_IWebBrowser2 gives the browser or E_NOINTERFACE.
struct IButtonSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetToolbarWindow(HWND* window) = 0;
    // Host-specific slots 4 to 7, never called by the module.
    virtual HRESULT STDMETHODCALLTYPE HostReserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE HostReserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE HostReserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE HostReserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE SendComponentCommand(LPCWSTR component, LONG message,
                                                           LONG command, void* payload) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentUser(DWORD* userNumber, LONG reserved1,
                                                     LONG reserved2) = 0;
};

// Search-box records: commands 166 (fill) and 167 (delete) to component "S_Box" with
// message code 12. Every node, the sentinel included, comes from the process heap.
constexpr LONG SearchComponentMessage = 12;
constexpr LONG SearchCommandFill = 166;
constexpr LONG SearchCommandDelete = 167;
constexpr WCHAR SearchComponentName[] = L"S_Box";

struct SearchCommandArgs {
    LONG all;
    void* pointer;
};

struct SearchRecordNode {
    SearchRecordNode* next;
    SearchRecordNode* prev;
    WCHAR text[260];
};

struct SearchRecordList {
    DWORD reserved;
    SearchRecordNode* sentinel;
    DWORD count;
};

// The toolbar window answers this with non-zero when lParam is its current user number.
constexpr UINT ToolbarConfirmUserMessage = WM_USER + 200;
constexpr WPARAM ToolbarConfirmUserWParam = 0x00B20000;

// A browser frame's address bar receives this with wParam 1, then 0.
constexpr UINT AddressBarResetMessage = WM_APP + 269;

// The toolbar's shared-memory block: 80 bytes, user number at byte 8, companion at 12.
constexpr WCHAR ToolbarSharedMemoryName[] = L"{138957F9-3748-42b7-884D-1CDE0A092AAA}";
constexpr DWORD ToolbarSharedMemorySize = 80;
constexpr DWORD ToolbarSharedUserOffset = 8;
constexpr DWORD ToolbarSharedExtraOffset = 12;

extern "C" LONG WINAPI OnButtonMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                       LPARAM lparam);
