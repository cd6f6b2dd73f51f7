// The reference host: what a toolbar has to provide for VelaClear.dll, and nothing more. The
// host toolbar is a band of the browser frame's rebar: a common-controls toolbar with the
// search box and its button, and the module's "Clear" button showing the module's icon beside
// its caption. Beside it, the toolbar's shared memory and its IButtonSite. The module is loaded
// with LoadLibraryW and driven only through OnButtonMessage.
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
    static const WORD SearchCommandId = 40000;
    static const WORD ClearCommandId = 40001;
    static const LONG ClearButtonId = 1;
    static const DWORD CurrentUser = 1;

    // Adds the toolbar to the browser's rebar as a band of its own. The search box starts with
    // these records, newest first.
    ReferenceHost(const BrowserFrame& browser, const std::vector<std::wstring>& searchRecords);
    // Ends the button (message 21) and unloads the module.
    ~ReferenceHost();
    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;

    // Loads the module and puts its button on the toolbar, which should be shown by then. False,
    // with the reason in error, when the module cannot be loaded or refuses the button.
    bool Start(const WCHAR* modulePath, std::wstring* error);

    // The toolbar's answer to a click on the button: message 3, which returns when the
    // module's dialog has closed.
    void PressClear();

    HWND Toolbar() const { return toolbar_.Window(); }
    const SearchBoxComponent& SearchBox() const { return searchBox_; }

private:
    static HWND CreateBand(HWND rebar);
    static LRESULT CALLBACK BandProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HWND band_; // the host's window in the rebar band; the toolbar reports its clicks to it
    HostToolbar toolbar_;
    SharedMemoryBlock sharedMemory_;
    ComPtr<HostSite> site_;
    ComPtr<TestBrowser> browser_;
    SearchBoxComponent searchBox_;
    HostInfo info_;

    HMODULE module_ = nullptr;
    OnButtonMessageProc onButtonMessage_ = nullptr;
    bool buttonCreated_ = false;
};
