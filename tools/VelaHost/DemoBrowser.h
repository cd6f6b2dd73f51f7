// The browser around the reference host in the demo, laid out as Internet Explorer 6 on
// Windows XP: the testbed's browser frame ("IEFrame" with its worker window, rebar and address
// bar), a menu bar, the standard buttons and the labelled address band in the rebar, a page of
// the demo's own and a status bar. The module asks none of this of a host: a host adds its
// toolbar to the rebar (ReferenceHost), the browser does the rest.
#pragma once

#include <windows.h>

#include "env/Handles.h"
#include "testbed/BrowserFrame.h"

class DemoBrowser {
public:
    DemoBrowser();
    ~DemoBrowser();
    DemoBrowser(const DemoBrowser&) = delete;
    DemoBrowser& operator=(const DemoBrowser&) = delete;

    const BrowserFrame& Frame() const { return frame_; }
    HWND Window() const { return frame_.Window(); }
    HWND AddressBar() const { return frame_.AddressBar(); }

    // Opens the demo's page, with its title in the caption and its address in the address bar
    // beside the site icon that the address bar's list holds for it, and shows the frame.
    void Show();
    // Runs the message loop until the frame is closed.
    int Run();

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void AddButtonsBand();
    void ShowPageAddress();
    void Layout();

    BrowserFrame frame_;
    HWND page_ = nullptr;
    HWND status_ = nullptr;
    UniqueIcon icon_;
    WNDPROC frameProc_ = nullptr;
};
