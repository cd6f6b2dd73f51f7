// The host's IButtonSite as a test drives it: answers with a chosen toolbar window, user
// number and browser, and records every call with its arguments in order.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "env/Handles.h"
#include "host/ButtonHost.h"

enum class SiteMethod {
    QueryInterface,
    AddRef,
    Release,
    GetToolbarWindow,
    HostReserved, // slots 4 to 7
    SendComponentCommand,
    GetCurrentUser,
};

struct SiteCall {
    SiteMethod method;
    IID iid = {};            // QueryInterface
    int slot = 0;            // HostReserved: 4 to 7
    std::wstring component;  // SendComponentCommand
    LONG message = 0;        // SendComponentCommand
    LONG command = 0;        // SendComponentCommand
    void* payload = nullptr; // SendComponentCommand
    LONG reserved1 = 0;      // GetCurrentUser
    LONG reserved2 = 0;      // GetCurrentUser
    HRESULT result = S_OK;   // what the site answered
};

class HostSite : public IButtonSite {
public:
    // What a component answers to SendComponentCommand; it may fill the payload.
    using ComponentHandler = std::function<HRESULT(LONG message, LONG command, void* payload)>;

    // A new site with one reference, owned by the returned pointer.
    static ComPtr<HostSite> Make();

    HostSite(const HostSite&) = delete;
    HostSite& operator=(const HostSite&) = delete;

    // The value to pass in wparam of message 1 or 2.
    WPARAM AsWParam() { return reinterpret_cast<WPARAM>(static_cast<IButtonSite*>(this)); }

    void SetToolbarWindow(HWND window) { toolbarWindow_ = window; }
    void SetCurrentUser(DWORD userNumber) { currentUser_ = userNumber; }
    // QueryInterface for IID_IWebBrowser2 gives this browser (a reference of its own); with
    // no browser it answers E_NOINTERFACE.
    void SetBrowser(IWebBrowser2* browser);
    // A failure code here is answered to every IID_IWebBrowser2 query instead of the browser.
    void SetBrowserQueryResult(HRESULT result) { browserResult_ = result; }
    // Commands for this component go to the handler; others are answered with E_FAIL.
    void SetComponentHandler(const std::wstring& component, ComponentHandler handler);

    std::vector<SiteCall> Calls() const;
    int CountCalls(SiteMethod method) const;
    void ClearCalls();
    LONG RefCount() const { return refs_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IButtonSite
    HRESULT STDMETHODCALLTYPE GetToolbarWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE HostReserved4() override;
    HRESULT STDMETHODCALLTYPE HostReserved5() override;
    HRESULT STDMETHODCALLTYPE HostReserved6() override;
    HRESULT STDMETHODCALLTYPE HostReserved7() override;
    HRESULT STDMETHODCALLTYPE SendComponentCommand(LPCWSTR component, LONG message, LONG command,
                                                   void* payload) override;
    HRESULT STDMETHODCALLTYPE GetCurrentUser(DWORD* userNumber, LONG reserved1,
                                             LONG reserved2) override;

private:
    HostSite();
    virtual ~HostSite();
    void Record(const SiteCall& call);
    HRESULT Reserved(int slot);

    LONG refs_ = 1;
    HWND toolbarWindow_ = nullptr;
    DWORD currentUser_ = 0;
    ComPtr<IWebBrowser2> browser_;
    HRESULT browserResult_ = S_OK;
    std::map<std::wstring, ComponentHandler> components_;
    // Calls may come from a clean worker thread as well as the test's thread.
    mutable CRITICAL_SECTION lock_;
    std::vector<SiteCall> calls_;
};
