// The reference host: what a toolbar has to provide for VelaClear.dll, and nothing more. A
// browser-like "IEFrame" with an address bar, the host toolbar carrying the module's "Clear"
// button and a search box, the toolbar's shared memory and its IButtonSite. The module is
// loaded with LoadLibraryW and driven only through OnButtonMessage.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "host/ButtonHost.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/SearchBoxComponent.h"
#include "testbed/SharedMemoryBlock.h"
#include "testbed/TestBrowser.h"

class ReferenceHost {
public:
    static const WORD ClearCommandId = 40001;
    static const LONG ClearButtonId = 1;
    static const DWORD CurrentUser = 1;

    // The search box starts with these records, newest first.
    explicit ReferenceHost(const std::vector<std::wstring>& searchRecords);
    // Ends the button (message 21) and unloads the module.
    ~ReferenceHost();
    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;

    // Loads the module, puts its button on the toolbar and shows the frame. False, with the
    // reason in error, when the module cannot be loaded or refuses the button.
    bool Start(const WCHAR* modulePath, std::wstring* error);
    // Runs the frame's message loop until the user closes it.
    int Run();

    // The toolbar's answer to a click on the button: message 3, which returns when the
    // module's dialog has closed.
    void PressClear();

    HWND Frame() const { return browserFrame_.Window(); }
    HWND Toolbar() const { return toolbar_.Window(); }
    BrowserFrame& Browser() { return browserFrame_; }
    const SearchBoxComponent& SearchBox() const { return searchBox_; }

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void Layout();

    SharedMemoryBlock sharedMemory_;
    BrowserFrame browserFrame_;
    HostToolbar toolbar_;
    ComPtr<HostSite> site_;
    ComPtr<TestBrowser> browser_;
    SearchBoxComponent searchBox_;
    HostInfo info_;
    HWND page_ = nullptr;
    WNDPROC frameProc_ = nullptr;

    HMODULE module_ = nullptr;
    OnButtonMessageProc onButtonMessage_ = nullptr;
    bool buttonCreated_ = false;
};
