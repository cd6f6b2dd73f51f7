// An exception inside the close hook's clean must not reach the browser frame's own window
// procedure. The only code the automatic clean calls that a test can make throw is the URL
// history object; for the exception to travel through the module's frames at all, that object
// has to live in the same module as the hook (each static-runtime module has its own
// unwinder). So this test runs the module's code linked into this test program, as a copy of
// it named "iexplore.exe" (the browser, for the module), with a URL history class registered
// in that process whose ClearHistory throws.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <urlhist.h>
#include <string>

#include "TestSupport.h"
#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"
#include "host/ButtonHost.h"
#include "host/CloseWatcher.h"
#include "host/HostTestSupport.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"

namespace {

const WCHAR IeKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
const WCHAR CleanMutexName[] = L"CleanMutex_{0A01E936-1B31-4785-BC02-EB6B5FDA6AC5}";
const DWORD BrowsingHistory = 0x02;
const char ChildTest[] = "CloseHookException.ThrowingCleanGivesTheFrameDefaultHandling";

struct HistoryFailure {};

LONG g_clearCalls;

// Just enough of the browser's URL history for the history cleaner: ClearHistory throws.
class ThrowingUrlHistory final : public IUrlHistoryStg2 {
public:
    virtual ~ThrowingUrlHistory() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IUrlHistoryStg || iid == IID_IUrlHistoryStg2) {
            *object = static_cast<IUrlHistoryStg2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE AddUrl(LPCOLESTR, LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteUrl(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryUrl(LPCOLESTR, DWORD, LPSTATURL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(LPCOLESTR, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumUrls(IEnumSTATURL**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddUrlAndNotify(LPCOLESTR, LPCOLESTR, DWORD, BOOL, IOleCommandTarget*,
                                              IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ClearHistory() override {
        InterlockedIncrement(&g_clearCalls);
        throw HistoryFailure();
    }

private:
    LONG refs_ = 1;
};

class ThrowingHistoryFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* history = new ThrowingUrlHistory();
        HRESULT hr = history->QueryInterface(iid, object);
        history->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The browser frame: counts what reaches its own procedure.
LONG g_frameDestroys;
LONG g_frameNcDestroys;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) g_frameDestroys++;
    if (message == WM_NCDESTROY) g_frameNcDestroys++;
    return DefWindowProcW(window, message, wparam, lparam);
}

void StoreSettings(DWORD autoClean, DWORD selection) {
    std::wstring key = std::wstring(ToolbarUserKeyClassic) + L"\\HistoryClean";
    SHSetValueW(HKEY_CURRENT_USER, key.c_str(), L"AutoClean", REG_DWORD, &autoClean,
                sizeof(autoClean));
    SHSetValueW(HKEY_CURRENT_USER, key.c_str(), L"UserSelect", REG_DWORD, &selection,
                sizeof(selection));
}

// The part that runs in the copy named iexplore.exe.
void RunAsBrowser() {
    ASSERT_EQ(7, GetIeMajorVersion());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    static ThrowingHistoryFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_CUrlHistory, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));

    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.lpszClassName = L"IEFrame";
    ASSERT_TRUE(RegisterClassW(&frameClass));
    HWND frame = CreateWindowExW(0, L"IEFrame", L"Browser", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(frame);

    {
        ComPtr<HostSite> site = HostSite::Make();
        HostInfo info(L"Clear", 300);
        ASSERT_EQ(1, OnButtonMessage(info.Get(), 9, ButtonCreate, site->AsWParam(), 0));
        ASSERT_EQ(1, OnButtonMessage(info.Get(), 9, ButtonDestroy, 0, 0));
    }
    ASSERT_TRUE(GetPropW(frame, CloseWatcher::OwnerPropName)) << "the frame was not hooked";

    DestroyWindow(frame);
    EXPECT_EQ(1, g_clearCalls) << "the clean did not reach the URL history";
    // The exception ended WM_DESTROY's handling in the hook, which gave it to DefWindowProcW;
    // the frame's own procedure still got WM_NCDESTROY.
    EXPECT_EQ(0, g_frameDestroys);
    EXPECT_EQ(1, g_frameNcDestroys);
    // The clean's mutex went with the interrupted run.
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, CleanMutexName);
    EXPECT_FALSE(mutex) << "the clean mutex is still held";
    if (mutex) CloseHandle(mutex);
    CoRevokeClassObject(cookie);
}

TEST(CloseHookException, ThrowingCleanGivesTheFrameDefaultHandling) {
    if (IsIexploreProcess(nullptr)) {
        RunAsBrowser();
        return;
    }
    ONLY_ON(WinVersion::WinXp);
    DeleteToolbarRegistryState();
    StoreSettings(1, BrowsingHistory);
    WCHAR savedVersion[260] = {};
    DWORD size = sizeof(savedVersion) - sizeof(WCHAR);
    bool hadVersion = SHGetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", nullptr, savedVersion,
                                  &size) == ERROR_SUCCESS;
    const WCHAR ie7[] = L"7.0.5730.13";
    SHSetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", REG_SZ, ie7, sizeof(ie7));

    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring browser = BinPath(L"iexplore.exe");
    ASSERT_TRUE(CopyFileW(self, browser.c_str(), FALSE)) << "error " << GetLastError();
    std::wstring commandLine = L"\"" + browser + L"\" --gtest_brief=1 --gtest_filter=" +
                               std::wstring(ChildTest, ChildTest + sizeof(ChildTest) - 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(browser.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &process);
    DWORD exitCode = 0xFFFFFFFF;
    if (started) {
        CloseHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
    }

    if (hadVersion)
        SHSetValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version", REG_SZ, savedVersion,
                    static_cast<DWORD>((lstrlenW(savedVersion) + 1) * sizeof(WCHAR)));
    else
        SHDeleteValueW(HKEY_LOCAL_MACHINE, IeKey, L"Version");
    DeleteFileW(browser.c_str());
    RemoveEmptyUserFolders();
    DeleteToolbarRegistryState();

    ASSERT_TRUE(started) << "error " << GetLastError();
    EXPECT_EQ(0u, exitCode) << "the browser copy failed its checks or did not survive the hook";
}

} // namespace
