#include "clean/UsagePing.h"

#include <shlwapi.h>
#include <wininet.h>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "env/ClientIdentity.h"
#include "env/ToolbarLocations.h"
#include "host/Module.h"

#ifndef VELA_PING_HOST
#error "VELA_PING_HOST must name the statistics endpoint's host, as a wide string literal"
#endif

static_assert(sizeof(BINDINFO) == PingBindCallback::BindInfoSize, "BINDINFO layout");

namespace {

const WCHAR PingUrlFormat[] =
    L"http://" VELA_PING_HOST L"/pingd?srctype=tb_clean&cin=%s&ck=%d&adcl=%d&skcl=%d&r=%d";

// Written on the user-interface thread only, on the first ping of the process.
WCHAR g_clientIdentity[ClientIdentityCacheLength];

void FillClientIdentityCache() {
    ClientIdentity identity;
    const WCHAR* text = identity.GetIdentityText();
    // The last unit stays zero, so the cache is always a terminated string.
    if (text) wcsncpy(g_clientIdentity, text, ClientIdentityCacheLength - 1);
}

} // namespace

void SendUsagePing(int ck, int adcl, int skcl) {
    DWORD join = 1;
    ReadToolbarDword(PingSwitchSubKey, PingSwitchValue, &join);
    if (join == 0) return;

    if (!g_clientIdentity[0]) FillClientIdentityCache();

    auto* request = static_cast<PingRequest*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PingRequest)));
    if (!request) return;
    wnsprintfW(request->url, PingUrlBufferLength - 1, PingUrlFormat, g_clientIdentity, ck, adcl,
               skcl, static_cast<int>(time(nullptr)));

    // The download may still wait for the network when the host unloads the module: the
    // thread keeps its own reference and gives it back only as it exits. Without one there is
    // no thread, and no ping.
    HANDLE thread = nullptr;
    if (AddModuleReference(&request->module))
        thread = CreateThread(nullptr, 0, PingThread, request, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return;
    }
    ReleaseModuleReference(request->module);
    HeapFree(GetProcessHeap(), 0, request);
}

DWORD WINAPI PingThread(void* parameter) {
    auto* request = static_cast<PingRequest*>(parameter);
    if (!request) return 0;
    HMODULE module = request->module;
    try {
        // WinINet may still call URLMON's status callbacks after the download has returned. In
        // a host that never loaded URLMON itself, the module's unload would take the library
        // with it: a reference of the ping's own keeps it for the rest of the process.
        LoadLibraryW(L"urlmon.dll");
        WCHAR path[MAX_PATH] = {};
        DownloadToCache(request->url, path, MAX_PATH - 1);
        // Only the request matters; its answer is not kept.
        DeleteCachedAnswer(request->url, path);
    } catch (...) {
    }
    HeapFree(GetProcessHeap(), 0, request);
    ExitThreadReleasingModule(module, 0);
    return 0;
}

int DownloadToCache(const WCHAR* url, WCHAR* path, int capacity) {
    PingBindCallback callback;
    HRESULT init = CoInitialize(nullptr);
    HRESULT result = URLDownloadToCacheFileW(nullptr, url, path, capacity, 0, &callback);
    if (SUCCEEDED(init)) CoUninitialize();
    return SUCCEEDED(result) ? 1 : 0;
}

int DeleteCachedAnswer(const WCHAR* url, const WCHAR* path) {
    // The entry's record with its strings after it. An answer whose headers do not fit stays in
    // the cache, which is the cache's to expire; below a page, so the frame needs no probe.
    union {
        INTERNET_CACHE_ENTRY_INFOW info;
        BYTE bytes[4000];
    } entry;
    DWORD size = sizeof(entry);
    if (!GetUrlCacheEntryInfoW(url, &entry.info, &size) || !entry.info.lpszLocalFileName ||
        lstrcmpiW(entry.info.lpszLocalFileName, path) != 0)
        return 0;
    return DeleteFileW(path) ? 1 : 0;
}

PingBindCallback::~PingBindCallback() {
    if (body_) GlobalFree(body_);
}

void PingBindCallback::SetPostBody(HGLOBAL body, DWORD size) {
    if (body_ && body_ != body) GlobalFree(body_);
    body_ = body;
    bodySize_ = size;
    bindVerb_ = BINDVERB_POST;
}

STDMETHODIMP PingBindCallback::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    // Word by word: IsEqualIID is a memcmp, which only the size-optimised build would import.
    if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IBindStatusCallback)) {
        *out = static_cast<IBindStatusCallback*>(this);
    } else if (InlineIsEqualGUID(iid, IID_IHttpNegotiate)) {
        *out = static_cast<IHttpNegotiate*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnStartBinding(DWORD, IBinding*) {
    abort_ = 0;
    return S_OK;
}

STDMETHODIMP PingBindCallback::GetPriority(LONG*) {
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnLowResource(DWORD) {
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) {
    return abort_ ? E_ABORT : S_OK;
}

STDMETHODIMP PingBindCallback::OnStopBinding(HRESULT, LPCWSTR) {
    return S_OK;
}

STDMETHODIMP PingBindCallback::GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) {
    if (!bindFlags || !bindInfo) return E_INVALIDARG;
    *bindFlags = bindFlags_;
    memset(bindInfo, 0, BindInfoSize);
    bindInfo->cbSize = BindInfoSize;
    bindInfo->dwBindVerb = bindVerb_;
    if (bindVerb_ == BINDVERB_GET) return S_OK;
    if (bindVerb_ != BINDVERB_POST) return E_FAIL;
    if (body_) {
        // The body stays ours: the medium's release goes to this object, which ignores it.
        bindInfo->stgmedData.tymed = TYMED_HGLOBAL;
        bindInfo->stgmedData.hGlobal = body_;
        bindInfo->stgmedData.pUnkForRelease = static_cast<IBindStatusCallback*>(this);
        bindInfo->cbstgmedData = bodySize_;
    }
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnObjectAvailable(REFIID, IUnknown*) {
    return S_OK;
}

STDMETHODIMP PingBindCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                    LPWSTR* additionalHeaders) {
    if (!additionalHeaders) return E_POINTER;
    *additionalHeaders = nullptr;
    if (bindVerb_ == BINDVERB_POST && body_) {
        static const WCHAR formHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(formHeader)));
        if (!copy) return E_OUTOFMEMORY;
        memcpy(copy, formHeader, sizeof(formHeader));
        *additionalHeaders = copy;
    }
    return S_OK;
}

STDMETHODIMP PingBindCallback::OnResponse(DWORD, LPCWSTR, LPCWSTR,
                                          LPWSTR* additionalRequestHeaders) {
    if (!additionalRequestHeaders) return E_POINTER;
    *additionalRequestHeaders = nullptr;
    return S_OK;
}
