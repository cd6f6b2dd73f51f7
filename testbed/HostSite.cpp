#include "testbed/HostSite.h"

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

SiteCall MakeCall(SiteMethod method) {
    SiteCall call;
    call.method = method;
    return call;
}

} // namespace

ComPtr<HostSite> HostSite::Make() {
    ComPtr<HostSite> site;
    site.Attach(new HostSite());
    return site;
}

HostSite::HostSite() {
    InitializeCriticalSection(&lock_);
}

HostSite::~HostSite() {
    DeleteCriticalSection(&lock_);
}

void HostSite::SetBrowser(IWebBrowser2* browser) {
    browser_ = browser;
}

void HostSite::SetComponentHandler(const std::wstring& component, ComponentHandler handler) {
    components_[component] = std::move(handler);
}

std::vector<SiteCall> HostSite::Calls() const {
    Locked locked(lock_);
    return calls_;
}

int HostSite::CountCalls(SiteMethod method) const {
    Locked locked(lock_);
    int count = 0;
    for (const SiteCall& call : calls_) {
        if (call.method == method) count++;
    }
    return count;
}

void HostSite::ClearCalls() {
    Locked locked(lock_);
    calls_.clear();
}

void HostSite::Record(const SiteCall& call) {
    Locked locked(lock_);
    calls_.push_back(call);
}

HRESULT HostSite::QueryInterface(REFIID iid, void** object) {
    SiteCall call = MakeCall(SiteMethod::QueryInterface);
    call.iid = iid;
    HRESULT hr = E_NOINTERFACE;
    if (object) *object = nullptr;
    if (!object) {
        hr = E_POINTER;
    } else if (iid == IID_IUnknown) {
        *object = static_cast<IButtonSite*>(this);
        AddRef();
        hr = S_OK;
    } else if (iid == IID_IWebBrowser2) {
        if (FAILED(browserResult_)) {
            hr = browserResult_;
        } else if (browser_) {
            hr = browser_->QueryInterface(IID_IWebBrowser2, object);
        }
    }
    call.result = hr;
    Record(call);
    return hr;
}

ULONG HostSite::AddRef() {
    Record(MakeCall(SiteMethod::AddRef));
    return InterlockedIncrement(&refs_);
}

ULONG HostSite::Release() {
    Record(MakeCall(SiteMethod::Release));
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
}

HRESULT HostSite::GetToolbarWindow(HWND* window) {
    SiteCall call = MakeCall(SiteMethod::GetToolbarWindow);
    call.result = window ? S_OK : E_POINTER;
    if (window) *window = toolbarWindow_;
    Record(call);
    return call.result;
}

HRESULT HostSite::Reserved(int slot) {
    SiteCall call = MakeCall(SiteMethod::HostReserved);
    call.slot = slot;
    call.result = E_NOTIMPL;
    Record(call);
    return E_NOTIMPL;
}

HRESULT HostSite::HostReserved4() {
    return Reserved(4);
}
HRESULT HostSite::HostReserved5() {
    return Reserved(5);
}
HRESULT HostSite::HostReserved6() {
    return Reserved(6);
}
HRESULT HostSite::HostReserved7() {
    return Reserved(7);
}

HRESULT HostSite::SendComponentCommand(LPCWSTR component, LONG message, LONG command,
                                       void* payload) {
    SiteCall call = MakeCall(SiteMethod::SendComponentCommand);
    if (component) call.component = component;
    call.message = message;
    call.command = command;
    call.payload = payload;
    // The component runs outside the lock: it may call back into the site.
    auto handler = components_.find(call.component);
    call.result =
        handler != components_.end() ? handler->second(message, command, payload) : E_FAIL;
    Record(call);
    return call.result;
}

HRESULT HostSite::GetCurrentUser(DWORD* userNumber, LONG reserved1, LONG reserved2) {
    SiteCall call = MakeCall(SiteMethod::GetCurrentUser);
    call.reserved1 = reserved1;
    call.reserved2 = reserved2;
    call.result = userNumber ? S_OK : E_POINTER;
    if (userNumber) *userNumber = currentUser_;
    Record(call);
    return call.result;
}
