// Base of every button the module puts on the host toolbar: turns the host's numbered
// messages into virtual hooks and keeps the button's view of the toolbar and its user.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <exdisp.h>

#include "env/Handles.h"
#include "host/ButtonHost.h"

class ToolbarButton {
public:
    ToolbarButton() = default;
    virtual ~ToolbarButton();
    ToolbarButton(const ToolbarButton&) = delete;
    ToolbarButton& operator=(const ToolbarButton&) = delete;

    virtual LONG HandleMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                               LPARAM lparam);
    virtual LONG OnCreate(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                          LPARAM lparam);
    virtual LONG OnVisibilityChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                     LPARAM lparam);
    virtual LONG OnUserChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                               LPARAM lparam);
    virtual LONG OnFilesChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                LPARAM lparam);
    virtual LONG OnDropDown(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                            const RECT* screenRect, BOOL hidden);
    virtual LONG OnCommand(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                           LPARAM lparam);
    virtual LONG OnMessageTwelve(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                 LPARAM lparam);
    virtual LONG OnDestroy(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                           LPARAM lparam);
    virtual LONG OnOtherMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                                LPARAM lparam);
    virtual void GetDropDownRect(WORD commandId, RECT* rect, BOOL* hidden,
                                 const NMTOOLBARW* notification);

    BOOL IsCreated() const { return created_; }
    BOOL IsStateKnown() const { return stateKnown_; }
    BOOL IsShown() const { return shown_; }
    HWND ToolbarWindow() const { return toolbarWindow_; }
    IButtonSite* Site() const { return site_.Get(); }
    IWebBrowser2* Browser() const { return browser_.Get(); }
    const WCHAR* SettingsPath() const { return settingsPath_; }
    const WCHAR* IncPath() const { return incPath_; }
    const WCHAR* SharedSettingsPath() const { return sharedSettingsPath_; }
    DWORD UserNumber() const { return userNumber_; }
    DWORD UserExtra() const { return userExtra_; }
    WORD CommandId() const { return commandId_; }
    const WCHAR* Name() const { return name_; }
    const ButtonHostInfo* Info() const { return info_; }

private:
    BOOL IsOnToolbar(const ButtonHostInfo* info) const;
    BOOL IsToolbarVisible() const;
    void CopyName(const WCHAR* name);
    void ResetState();

    BOOL created_ = FALSE;
    BOOL stateKnown_ = FALSE;
    HWND toolbarWindow_ = nullptr;
    ComPtr<IButtonSite> site_;
    ComPtr<IWebBrowser2> browser_;
    BOOL shown_ = FALSE;
    WCHAR settingsPath_[MAX_PATH] = {};
    WCHAR incPath_[MAX_PATH] = {};
    WCHAR sharedSettingsPath_[MAX_PATH] = {};
    DWORD userNumber_ = 0;
    DWORD userExtra_ = 0;
    WORD commandId_ = 0;
    WCHAR* name_ = nullptr;
    size_t nameCapacity_ = 0;
    const ButtonHostInfo* info_ = nullptr;
};

// The two fields of the host record the module reads.
const WCHAR* HostInfoName(const ButtonHostInfo* info);
WORD HostInfoCommandId(const ButtonHostInfo* info);
