// The usage statistics ping: when a clean dialog closes, one fire-and-forget HTTP GET tells the
// toolbar's statistics endpoint whether automatic cleaning is on and whether either
// single-record link was used. The answer goes into the URL cache and its file is deleted.
#pragma once

#include <windows.h>
#include <urlmon.h>

constexpr int PingUrlBufferLength = 2084; // UTF-16 units, at most 2083 characters
constexpr int ClientIdentityCacheLength = 256;
constexpr WCHAR PingSwitchSubKey[] = L"iebar";
constexpr WCHAR PingSwitchValue[] = L"join";

// What the ping thread owns: the request URL and the module reference that keeps the module's
// code mapped until the thread has left it (null when the module is the process image).
struct PingRequest {
    WCHAR url[PingUrlBufferLength];
    HMODULE module;
};

// User-interface thread; does not wait and reports nothing.
void SendUsagePing(int ck, int adcl, int skcl);

// Thread procedure; takes ownership of a heap-allocated PingRequest. Returns 0.
DWORD WINAPI PingThread(void* request);

// Downloads url into the URL cache and writes the cache file's path into path.
// Non-zero when the download reports success.
int DownloadToCache(const WCHAR* url, WCHAR* path, int capacity);

// Deletes the answer to the ping url that the download handed back as path, when path names the
// local file of url's own cache entry, and nothing else: a download that ended elsewhere (a
// redirect to a file: URL, a forged answer) must not make the ping delete one of the user's
// files. Non-zero when the file was deleted.
int DeleteCachedAnswer(const WCHAR* url, const WCHAR* path);

// The download's callback: lives on the stack of the download call and is not reference
// counted. It answers as IBindStatusCallback and, through its second base, IHttpNegotiate.
class PingBindCallback : public IBindStatusCallback, public IHttpNegotiate {
public:
    // BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PULLDATA | BINDF_PRAGMA_NO_CACHE
    static const DWORD DefaultBindFlags = 0x20B0;
    static const DWORD BindInfoSize = 84;

    PingBindCallback() = default;
    ~PingBindCallback();
    PingBindCallback(const PingBindCallback&) = delete;
    PingBindCallback& operator=(const PingBindCallback&) = delete;

    // Turns the request into a POST of body (global memory of size bytes), which the object
    // then owns and frees.
    void SetPostBody(HGLOBAL body, DWORD size);

    // IUnknown, shared by both interfaces.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG* priority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                            LPCWSTR statusText) override;
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
    STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    STDMETHODIMP OnDataAvailable(DWORD bscfFlags, DWORD size, FORMATETC* format,
                                 STGMEDIUM* medium) override;
    STDMETHODIMP OnObjectAvailable(REFIID iid, IUnknown* object) override;

    // IHttpNegotiate
    STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                      LPWSTR* additionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                            LPWSTR* additionalRequestHeaders) override;

private:
    DWORD bindFlags_ = DefaultBindFlags;
    HGLOBAL body_ = nullptr;
    DWORD bodySize_ = 0;
    DWORD abort_ = 0;
    DWORD bindVerb_ = BINDVERB_GET;
};
