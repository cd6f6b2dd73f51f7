#include "host/ToolbarButton.h"

#include <cstdlib>
#include <cwchar>

#include "env/ToolbarSharedMemory.h"
#include "env/UserFiles.h"
#include "host/ComError.h"

const WCHAR* HostInfoName(const ButtonHostInfo* info) {
    return *reinterpret_cast<const WCHAR* const*>(reinterpret_cast<const BYTE*>(info) +
                                                  ButtonHostInfoNameOffset);
}

WORD HostInfoCommandId(const ButtonHostInfo* info) {
    return *reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(info) +
                                          ButtonHostInfoCommandIdOffset);
}

ToolbarButton::~ToolbarButton() {
    free(name_);
}

LONG ToolbarButton::HandleMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                  LPARAM lparam) {
    if (msg == ButtonDestroy) {
        OnDestroy(info, id, msg, wparam, lparam);
        ResetState();
        return 1;
    }
    if (!info) return 0;

    if (msg == ButtonCreate || msg == ButtonCreateAndShow) {
        if (created_) return 1;
        LONG result = OnCreate(info, id, msg, wparam, lparam);
        if (msg == ButtonCreateAndShow && IsOnToolbar(info) && !stateKnown_) {
            OnVisibilityChanged(info, id, ButtonVisibility, IsToolbarVisible(), 0);
            OnUserChanged(info, id, ButtonUserChanged, wparam, lparam);
            OnFilesChanged(info, id, ButtonFilesChanged, userNumber_, lparam);
        }
        return result;
    }

    // A host that skipped the creation message passes the site in whatever comes first.
    if (!created_) OnCreate(info, id, ButtonCreateAndShow, wparam, lparam);

    if (msg == ButtonVisibility && (wparam != 0) != (shown_ != 0)) {
        LONG result = OnVisibilityChanged(info, id, ButtonVisibility, wparam, lparam);
        OnUserChanged(info, id, ButtonUserChanged, wparam, lparam);
        OnFilesChanged(info, id, ButtonFilesChanged, userNumber_, lparam);
        return result;
    }

    if (!stateKnown_) {
        BOOL visible = IsToolbarVisible() && IsOnToolbar(info);
        OnVisibilityChanged(info, id, ButtonVisibility, visible, 0);
        OnUserChanged(info, id, msg, wparam, lparam);
        OnFilesChanged(info, id, msg, userNumber_, lparam);
    }

    switch (msg) {
    case ButtonMessageTwelve:
        return OnMessageTwelve(info, id, msg, wparam, lparam);
    case ButtonUserChanged:
        return OnUserChanged(info, id, msg, wparam, lparam);
    case ButtonFilesChanged:
        return OnFilesChanged(info, id, msg, wparam, lparam);
    case ButtonPressed:
        return OnCommand(info, id, msg, wparam, lparam);
    case ButtonDropDown: {
        RECT rect = {};
        BOOL hidden = FALSE;
        GetDropDownRect(HostInfoCommandId(info), &rect, &hidden,
                        reinterpret_cast<const NMTOOLBARW*>(lparam));
        return OnDropDown(info, id, ButtonDropDown, wparam, &rect, hidden);
    }
    default:
        return OnOtherMessage(info, id, msg, wparam, lparam);
    }
}

LONG ToolbarButton::OnCreate(const ButtonHostInfo* info, LONG, LONG, WPARAM wparam, LPARAM) {
    created_ = TRUE;
    site_ = reinterpret_cast<IButtonSite*>(wparam);
    browser_.Reset();
    if (site_) {
        HRESULT hr = site_->QueryInterface(IID_IWebBrowser2, browser_.PutVoid());
        if (FAILED(hr)) {
            browser_.Reset();
            if (hr != E_NOINTERFACE) throw _com_error(hr);
        }
    }

    commandId_ = HostInfoCommandId(info);
    CopyName(HostInfoName(info));
    info_ = info;
    if (!site_) return 0;

    HWND toolbar = nullptr;
    site_->GetToolbarWindow(&toolbar);
    toolbarWindow_ = toolbar;
    DWORD user = 0;
    site_->GetCurrentUser(&user, 0, 0);
    userNumber_ = user;

    GetUserFilePath(UserSettingsFile, userNumber_, settingsPath_, MAX_PATH, toolbarWindow_, TRUE);
    GetUserFilePath(UserIncFile, userNumber_, incPath_, MAX_PATH, toolbarWindow_, TRUE);
    GetUserFilePath(UserSharedSettingsFile, userNumber_, sharedSettingsPath_, MAX_PATH, nullptr,
                    TRUE);
    return 1;
}

LONG ToolbarButton::OnVisibilityChanged(const ButtonHostInfo*, LONG, LONG, WPARAM wparam, LPARAM) {
    stateKnown_ = TRUE;
    shown_ = wparam != 0;
    return 0;
}

LONG ToolbarButton::OnUserChanged(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    ToolbarSharedMemory& shared = TheToolbarSharedMemory();
    userNumber_ = shared.GetUserNumber();
    userExtra_ = shared.GetUserExtra();
    GetUserFilePath(UserSharedSettingsFile, userNumber_, sharedSettingsPath_, MAX_PATH, nullptr,
                    TRUE);
    return 1;
}

LONG ToolbarButton::OnFilesChanged(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    GetUserFilePath(UserSettingsFile, userNumber_, settingsPath_, MAX_PATH, toolbarWindow_, TRUE);
    GetUserFilePath(UserIncFile, userNumber_, incPath_, MAX_PATH, toolbarWindow_, TRUE);
    return 1;
}

LONG ToolbarButton::OnDropDown(const ButtonHostInfo*, LONG, LONG, WPARAM, const RECT*, BOOL) {
    return 0;
}

LONG ToolbarButton::OnCommand(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    return 0;
}

LONG ToolbarButton::OnMessageTwelve(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    return 0;
}

LONG ToolbarButton::OnDestroy(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    return 0;
}

LONG ToolbarButton::OnOtherMessage(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    return 0;
}

void ToolbarButton::GetDropDownRect(WORD commandId, RECT* rect, BOOL* hidden,
                                    const NMTOOLBARW* notification) {
    if (!notification) return;
    *rect = notification->rcButton;
    *hidden = SendMessageW(toolbarWindow_, TB_ISBUTTONHIDDEN, commandId, 0) != 0;
    POINT topLeft = {rect->left, rect->top};
    POINT bottomRight = {rect->right, rect->bottom};
    ClientToScreen(notification->hdr.hwndFrom, &topLeft);
    ClientToScreen(notification->hdr.hwndFrom, &bottomRight);
    *rect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

BOOL ToolbarButton::IsOnToolbar(const ButtonHostInfo* info) const {
    return SendMessageW(toolbarWindow_, TB_COMMANDTOINDEX, HostInfoCommandId(info), 0) >= 0;
}

BOOL ToolbarButton::IsToolbarVisible() const {
    return IsWindow(toolbarWindow_) && IsWindowVisible(toolbarWindow_);
}

void ToolbarButton::CopyName(const WCHAR* name) {
    if (!name) {
        free(name_);
        name_ = nullptr;
        nameCapacity_ = 0;
        return;
    }
    size_t needed = wcslen(name) + 1;
    if (needed > nameCapacity_) {
        auto* grown = static_cast<WCHAR*>(realloc(name_, needed * sizeof(WCHAR)));
        if (!grown) return;
        name_ = grown;
        nameCapacity_ = needed;
    }
    wmemcpy(name_, name, needed);
}

void ToolbarButton::ResetState() {
    created_ = FALSE;
    stateKnown_ = FALSE;
    shown_ = FALSE;
    toolbarWindow_ = nullptr;
    settingsPath_[0] = incPath_[0] = sharedSettingsPath_[0] = L'\0';
    userNumber_ = 0;
    userExtra_ = 0;
    commandId_ = 0;
    info_ = nullptr;
    site_.Reset();
}
