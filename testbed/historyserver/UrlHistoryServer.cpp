// TestUrlHistory.dll: an in-process server for CLSID_CUrlHistory that stands in for the
// browser's URL history, which Wine does not implement (its object answers E_NOTIMPL). It keeps
// a list of URLs with titles in memory, shared by every object of the process, and exports
// control functions (UrlHistoryControl.h) through which a test seeds and inspects that list.
#include <windows.h>
#include <ole2.h>
#include <shlguid.h>
#include <urlhist.h>

#include <string>
#include <vector>

#include "UrlHistoryControl.h"

namespace {

struct HistoryEntry {
    std::wstring url;
    std::wstring title;
    bool hasTitle;
};

class Lock {
public:
    Lock() { InitializeCriticalSection(&section_); }
    ~Lock() { DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class Locked {
public:
    explicit Locked(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~Locked() { lock_.Leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Lock& lock_;
};

// Everything below is guarded by g_lock; the counters are also read without it.
Lock g_lock;
std::vector<HistoryEntry> g_entries;
HRESULT g_createFailure = S_OK;
BOOL g_withholdStg2 = FALSE;
HANDLE g_clearEntered = nullptr;
HANDLE g_clearRelease = nullptr;
volatile LONG g_clearCount = 0;
volatile LONG g_queryCount = 0;
volatile LONG g_liveObjects = 0;
volatile LONG g_serverLocks = 0;

HistoryEntry* FindEntry(const WCHAR* url) {
    for (HistoryEntry& entry : g_entries) {
        if (entry.url == url) return &entry;
    }
    return nullptr;
}

void PutEntry(const WCHAR* url, const WCHAR* title) {
    Locked locked(g_lock);
    HistoryEntry* entry = FindEntry(url);
    if (!entry) {
        g_entries.push_back(HistoryEntry{url, L"", false});
        entry = &g_entries.back();
    }
    entry->title = title ? title : L"";
    entry->hasTitle = title != nullptr;
}

WCHAR* CoTaskCopy(const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
    if (copy) memcpy(copy, text.c_str(), bytes);
    return copy;
}

class UrlHistory : public IUrlHistoryStg2 {
public:
    UrlHistory() { InterlockedIncrement(&g_liveObjects); }
    virtual ~UrlHistory() { InterlockedDecrement(&g_liveObjects); }
    UrlHistory(const UrlHistory&) = delete;
    UrlHistory& operator=(const UrlHistory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        BOOL withholdStg2;
        {
            Locked locked(g_lock);
            withholdStg2 = g_withholdStg2;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IUrlHistoryStg) ||
            (IsEqualIID(riid, IID_IUrlHistoryStg2) && !withholdStg2)) {
            *object = static_cast<IUrlHistoryStg2*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE AddUrl(LPCOLESTR url, LPCOLESTR title, DWORD) override {
        if (!url) return E_INVALIDARG;
        PutEntry(url, title);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteUrl(LPCOLESTR url, DWORD) override {
        if (!url) return E_INVALIDARG;
        Locked locked(g_lock);
        for (auto it = g_entries.begin(); it != g_entries.end(); ++it) {
            if (it->url == url) {
                g_entries.erase(it);
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE QueryUrl(LPCOLESTR url, DWORD flags, LPSTATURL stat) override {
        InterlockedIncrement(&g_queryCount);
        if (stat) {
            stat->pwcsUrl = nullptr;
            stat->pwcsTitle = nullptr;
        }
        if (!url) return E_INVALIDARG;
        Locked locked(g_lock);
        const HistoryEntry* entry = FindEntry(url);
        if (!entry) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        if (!stat) return S_OK;
        stat->ftLastVisited = FILETIME{};
        stat->ftLastUpdated = FILETIME{};
        stat->ftExpires = FILETIME{};
        stat->dwFlags = 0;
        if (!(flags & STATURL_QUERYFLAG_NOURL)) stat->pwcsUrl = CoTaskCopy(entry->url);
        if (!(flags & STATURL_QUERYFLAG_NOTITLE) && entry->hasTitle)
            stat->pwcsTitle = CoTaskCopy(entry->title);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BindToObject(LPCOLESTR, REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumUrls(IEnumSTATURL** enumerator) override {
        if (enumerator) *enumerator = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddUrlAndNotify(LPCOLESTR url, LPCOLESTR title, DWORD flags, BOOL,
                                              IOleCommandTarget*, IUnknown*) override {
        return AddUrl(url, title, flags);
    }
    HRESULT STDMETHODCALLTYPE ClearHistory() override {
        HANDLE entered, release;
        {
            Locked locked(g_lock);
            entered = g_clearEntered;
            release = g_clearRelease;
        }
        if (entered) SetEvent(entered);
        if (release) WaitForSingleObject(release, INFINITE);
        Locked locked(g_lock);
        g_entries.clear();
        InterlockedIncrement(&g_clearCount);
        return S_OK;
    }

private:
    volatile LONG references_ = 1;
};

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // The factory is a static object: references only keep the server loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&g_serverLocks); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&g_serverLocks); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        // Failing here, not in DllGetClassObject: a class object that cannot be had makes
        // COM try the local server next, and Wine then starts dllhost.exe as a surrogate
        // that loads this DLL afresh, without the failure.
        HRESULT failure;
        {
            Locked locked(g_lock);
            failure = g_createFailure;
        }
        if (FAILED(failure)) return failure;
        auto* history = new UrlHistory();
        HRESULT hr = history->QueryInterface(riid, object);
        history->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&g_serverLocks);
        else
            InterlockedDecrement(&g_serverLocks);
        return S_OK;
    }
};

ClassFactory g_factory;

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_CUrlHistory)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() {
    return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE;
}

extern "C" {

void __cdecl UrlHistoryReset() {
    Locked locked(g_lock);
    g_entries.clear();
    g_createFailure = S_OK;
    g_withholdStg2 = FALSE;
    g_clearEntered = nullptr;
    g_clearRelease = nullptr;
    InterlockedExchange(&g_clearCount, 0);
    InterlockedExchange(&g_queryCount, 0);
}

LONG __cdecl UrlHistoryClearCount() {
    return g_clearCount;
}
LONG __cdecl UrlHistoryQueryCount() {
    return g_queryCount;
}
LONG __cdecl UrlHistoryLiveObjects() {
    return g_liveObjects;
}

LONG __cdecl UrlHistoryUrlCount() {
    Locked locked(g_lock);
    return static_cast<LONG>(g_entries.size());
}

void __cdecl UrlHistorySetTitle(const WCHAR* url, const WCHAR* title) {
    if (url) PutEntry(url, title);
}

BOOL __cdecl UrlHistoryHasUrl(const WCHAR* url) {
    if (!url) return FALSE;
    Locked locked(g_lock);
    return FindEntry(url) != nullptr;
}

void __cdecl UrlHistorySetCreateFailure(HRESULT hr) {
    Locked locked(g_lock);
    g_createFailure = hr;
}

void __cdecl UrlHistoryWithholdStg2(BOOL on) {
    Locked locked(g_lock);
    g_withholdStg2 = on;
}

void __cdecl UrlHistorySetClearGate(HANDLE entered, HANDLE release) {
    Locked locked(g_lock);
    g_clearEntered = entered;
    g_clearRelease = release;
}

} // extern "C"
