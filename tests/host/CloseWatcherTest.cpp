// The automatic clean when the browser closes, through the real module file in a browser
// process of its own: AutoCleanHost.exe copied to "iexplore.exe" (Windows XP for that name in
// the test prefix, Internet Explorer 7 in the registry) loads VelaClear.dll, creates a button,
// ends it, unloads the module and destroys its frames, reporting what it saw at each step.
// The stored selection is "IE temporary files" and the trace is one seeded cache entry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "env/Handles.h"
#include "env/ToolbarLocations.h"
#include "host/HostTestSupport.h"
#include "programs/AutoCleanHost.h"
#include "testbed/ForeignFrameProcess.h"
#include "testbed/UrlCacheSeed.h"

namespace {

const WCHAR CachedUrl[] = L"http://autoclean.example/page.htm";
const WCHAR IeKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
const WCHAR AppDefaultsKey[] = L"Software\\Wine\\AppDefaults\\";
const DWORD TemporaryFiles = 0x20;
// Only bounds a broken host; nothing here waits for time to pass.
const DWORD HostWaitMs = 120000;

// A string value that a test changes and gives back as it found it, absence included.
class SavedString {
public:
    SavedString(HKEY root, const std::wstring& key, const WCHAR* name)
        : root_(root), key_(key), name_(name) {
        WCHAR value[260] = {};
        DWORD size = sizeof(value) - sizeof(WCHAR);
        existed_ = SHGetValueW(root_, key_.c_str(), name_, nullptr, value, &size) == ERROR_SUCCESS;
        value_ = value;
    }
    ~SavedString() {
        if (existed_)
            Set(value_.c_str());
        else
            SHDeleteValueW(root_, key_.c_str(), name_);
    }
    SavedString(const SavedString&) = delete;
    SavedString& operator=(const SavedString&) = delete;

    bool Set(const WCHAR* value) {
        return SHSetValueW(root_, key_.c_str(), name_, REG_SZ, value,
                           static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR))) ==
               ERROR_SUCCESS;
    }

private:
    HKEY root_;
    std::wstring key_;
    const WCHAR* name_;
    bool existed_ = false;
    std::wstring value_;
};

std::string Describe(const AutoCleanMoment& m) {
    return "{reached " + std::to_string(m.reached) + ", cleaned " + std::to_string(m.cleaned) +
           ", module loaded " + std::to_string(m.moduleLoaded) + ", own procedure " +
           std::to_string(m.frameIsOwn) + ", owner property " + std::to_string(m.ownerProperty) +
           ", procedure property " + std::to_string(m.procProperty) + "}";
}

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    AutoCleanReport report = {};
    bool entryAfterExit = false; // the cache entry as the process left it
};

class AutoCleanInBrowser : public testing::Test {
protected:
    void SetUp() override {
        // The host is a process of its own with its own emulated version; once is enough.
        ONLY_ON(WinVersion::WinXp);
        active_ = true;
        DeleteToolbarRegistryState();
        ieVersion_.reset(new SavedString(HKEY_LOCAL_MACHINE, IeKey, L"Version"));
        ASSERT_TRUE(ieVersion_->Set(L"7.0.5730.13"));
        ASSERT_TRUE(CopyFileW(BinPath(L"AutoCleanHost.exe").c_str(),
                              BinPath(L"iexplore.exe").c_str(), FALSE))
            << "error " << GetLastError();
        SetSettings(1, TemporaryFiles);
        DeleteUrlCacheEntryW(CachedUrl);
        ASSERT_TRUE(SeedCacheEntry(CachedUrl)) << "error " << GetLastError();
    }

    void TearDown() override {
        if (!active_) return;
        DeleteUrlCacheEntryW(CachedUrl);
        ieVersion_.reset();
        RemoveEmptyUserFolders();
        RemoveEmptyLocalLowUserFolders();
        DeleteToolbarRegistryState();
        DeleteFileW(BinPath(L"iexplore.exe").c_str());
    }

    // Written under both settings keys: a host that takes itself for Vista reads the other.
    static void SetSettings(DWORD autoClean, DWORD selection) {
        for (const WCHAR* root : {ToolbarUserKeyClassic, ToolbarUserKeyLow}) {
            std::wstring key = std::wstring(root) + L"\\HistoryClean";
            SHSetValueW(HKEY_CURRENT_USER, key.c_str(), L"AutoClean", REG_DWORD, &autoClean,
                        sizeof(autoClean));
            SHSetValueW(HKEY_CURRENT_USER, key.c_str(), L"UserSelect", REG_DWORD, &selection,
                        sizeof(selection));
        }
    }

    // The user folder a host that took itself for Vista created below LocalLow.
    static void RemoveEmptyLocalLowUserFolders() {
        WCHAR path[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, FALSE)) return;
        PathRemoveFileSpecW(path);
        PathAppendW(path, L"LocalLow\\CORVANE\\VelaToolbar\\users\\0");
        for (int level = 0; level < 4; level++) {
            if (!RemoveDirectoryW(path)) break;
            PathRemoveFileSpecW(path);
        }
    }

    static HostRun Run(const std::vector<std::wstring>& options,
                       const WCHAR* program = L"iexplore.exe") {
        HostRun run;
        std::wstring mappingName = L"VelaAutoCleanReport_" + std::to_wstring(GetCurrentProcessId());
        UniqueHandleValue mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                     0, sizeof(AutoCleanReport),
                                                     mappingName.c_str()));
        EXPECT_TRUE(mapping) << "error " << GetLastError();
        if (!mapping) return run;
        UniqueView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(AutoCleanReport)));
        if (!view) return run;

        std::wstring path = BinPath(program);
        std::wstring commandLine = L"\"" + path + L"\" " + mappingName + L" " + CachedUrl;
        for (const std::wstring& option : options)
            commandLine += L" " + option;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
            ADD_FAILURE() << "cannot start " << Narrow(path) << ", error " << GetLastError();
            return run;
        }
        CloseHandle(process.hThread);
        DWORD waited = WaitForSingleObject(process.hProcess, HostWaitMs);
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        EXPECT_EQ(WAIT_OBJECT_0, waited) << "the host did not finish";

        run.report = *static_cast<const AutoCleanReport*>(view.Get());
        run.entryAfterExit = CacheEntryRecordSize(CachedUrl) != 0;
        EXPECT_EQ(0, run.report.setupFailure)
            << "see the codes in tests/programs/AutoCleanHost.cpp";
        EXPECT_EQ(0u, run.exitCode) << "the host did not end cleanly";
        return run;
    }

    // Nothing cleaned at any moment or at exit, and the module never hooked the first frame.
    static void ExpectNothingDone(const HostRun& run) {
        const AutoCleanReport& r = run.report;
        for (const AutoCleanMoment* moment :
             {&r.afterCreate, &r.afterEnd, &r.afterUnload, &r.frameDestroy, &r.afterDestroyed}) {
            if (!moment->reached) continue;
            EXPECT_EQ(0, moment->cleaned) << Describe(*moment);
        }
        EXPECT_TRUE(run.entryAfterExit) << "the entry was cleaned when the process ended";
        EXPECT_EQ(0, r.afterUnload.moduleLoaded) << "the module kept itself loaded";
        if (r.afterUnload.reached && r.frameDestroy.reached) {
            EXPECT_EQ(1, r.afterUnload.frameIsOwn) << Describe(r.afterUnload);
            EXPECT_EQ(0, r.afterUnload.ownerProperty) << Describe(r.afterUnload);
        }
    }

    bool active_ = false;
    std::unique_ptr<SavedString> ieVersion_;
};

TEST_F(AutoCleanInBrowser, OneFrameLeftIsHookedAndCleanedOnceWhenItIsDestroyed) {
    HostRun run = Run({});
    const AutoCleanReport& r = run.report;
    ASSERT_EQ(1, r.afterDestroyed.reached);
    EXPECT_EQ(0, r.afterEnd.cleaned) << Describe(r.afterEnd);
    EXPECT_EQ(0, r.afterUnload.cleaned) << "cleaned before the frame closed";
    // Hooked, and the code behind the hook still mapped after the host's FreeLibrary.
    EXPECT_EQ(1, r.afterUnload.moduleLoaded) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.frameIsOwn) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.afterUnload.ownerProperty) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.afterUnload.procProperty) << Describe(r.afterUnload);
    // The hook cleaned before passing WM_DESTROY on, and had taken itself away by then.
    EXPECT_EQ(1, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_EQ(1, r.frameDestroy.frameIsOwn) << Describe(r.frameDestroy);
    EXPECT_EQ(0, r.frameDestroy.ownerProperty) << Describe(r.frameDestroy);
    EXPECT_EQ(0, r.frameDestroy.procProperty) << Describe(r.frameDestroy);
    EXPECT_EQ(1, r.destroyMessages);
    // Once: the entry seeded again after that clean survives the rest of the process.
    EXPECT_EQ(0, r.frameNcDestroy.cleaned) << Describe(r.frameNcDestroy);
    EXPECT_EQ(0, r.afterDestroyed.cleaned) << Describe(r.afterDestroyed);
    EXPECT_TRUE(run.entryAfterExit) << "cleaned a second time when the process ended";
}

// Another subclass on top of the hook: the hook cannot take itself out of the chain on
// WM_DESTROY, so it still sees WM_NCDESTROY, which must not clean again.
TEST_F(AutoCleanInBrowser, SubclassOnTopOfTheHookStillCleansOnce) {
    HostRun run = Run({L"--subclass-on-top"});
    const AutoCleanReport& r = run.report;
    ASSERT_EQ(1, r.afterDestroyed.reached);
    EXPECT_EQ(0, r.afterUnload.cleaned) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_EQ(0, r.frameDestroy.ownerProperty) << Describe(r.frameDestroy);
    EXPECT_EQ(1, r.frameNcDestroy.reached);
    EXPECT_EQ(0, r.frameNcDestroy.cleaned) << Describe(r.frameNcDestroy);
    EXPECT_EQ(1, r.destroyMessages);
    EXPECT_TRUE(run.entryAfterExit) << "cleaned a second time when the process ended";
}

TEST_F(AutoCleanInBrowser, NoFrameLeftCleansAtOnce) {
    HostRun run = Run({L"--frames=0"});
    const AutoCleanReport& r = run.report;
    EXPECT_EQ(1, r.afterEnd.cleaned) << Describe(r.afterEnd);
    EXPECT_EQ(0, r.afterUnload.cleaned) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.moduleLoaded) << "nothing is hooked, so nothing keeps the module";
    EXPECT_TRUE(run.entryAfterExit) << "cleaned a second time";
}

TEST_F(AutoCleanInBrowser, FrameOfAnotherProcessDoesNothing) {
    ForeignFrameProcess foreign({});
    ASSERT_TRUE(foreign.Ready());
    HostRun run = Run({L"--frames=0"});
    ExpectNothingDone(run);
    EXPECT_FALSE(GetPropW(foreign.Frame(), AutoCleanOwnerProp));
}

TEST_F(AutoCleanInBrowser, TwoFramesOfThisProcessDoNothing) {
    HostRun run = Run({L"--frames=2"});
    ASSERT_EQ(1, run.report.afterDestroyed.reached);
    ExpectNothingDone(run);
}

TEST_F(AutoCleanInBrowser, AutoCleanOffDoesNothing) {
    SetSettings(0, TemporaryFiles);
    HostRun run = Run({});
    ASSERT_EQ(1, run.report.afterDestroyed.reached);
    ExpectNothingDone(run);
}

// Window classes compare without regard to case, so "ieframe" cannot be registered next to
// "IEFrame" in one process: the one frame window of the host has the lower-case class, and
// the desktop counts as having no browser frame left.
TEST_F(AutoCleanInBrowser, ClassDifferingOnlyInCaseIsNoFrame) {
    HostRun run = Run({L"--class=ieframe"});
    const AutoCleanReport& r = run.report;
    EXPECT_EQ(1, r.afterEnd.cleaned) << Describe(r.afterEnd);
    EXPECT_EQ(1, r.afterUnload.frameIsOwn) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.ownerProperty) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_TRUE(run.entryAfterExit);
}

TEST_F(AutoCleanInBrowser, InternetExplorer8DoesNothing) {
    ASSERT_TRUE(ieVersion_->Set(L"8.0.6001.18702"));
    ExpectNothingDone(Run({}));
}

TEST_F(AutoCleanInBrowser, VistaDoesNothing) {
    SavedString version(HKEY_CURRENT_USER, std::wstring(AppDefaultsKey) + L"iexplore.exe",
                        L"Version");
    ASSERT_TRUE(version.Set(L"vista"));
    ExpectNothingDone(Run({}));
}

TEST_F(AutoCleanInBrowser, HostOfAnotherNameDoesNothing) {
    // The same Windows XP as "iexplore.exe" gets, so only the name differs.
    std::wstring key = std::wstring(AppDefaultsKey) + L"AutoCleanHost.exe";
    SHSetValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, L"winxp", 12);
    HostRun run = Run({}, L"AutoCleanHost.exe");
    SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    ExpectNothingDone(run);
}

// A host that unloads the module with its button still alive: the decision happens at module
// termination, where the frame cannot be hooked, so the clean happens then.
TEST_F(AutoCleanInBrowser, UnloadWithoutEndingTheButtonCleansAtOnce) {
    HostRun run = Run({L"--end=never"});
    const AutoCleanReport& r = run.report;
    EXPECT_EQ(0, r.afterCreate.cleaned) << Describe(r.afterCreate);
    EXPECT_EQ(1, r.afterUnload.cleaned) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.moduleLoaded) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.afterUnload.frameIsOwn) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.ownerProperty) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_TRUE(run.entryAfterExit);
}

TEST_F(AutoCleanInBrowser, UnloadWithoutEndingTheButtonAndNoFrameCleansAtOnce) {
    HostRun run = Run({L"--end=never", L"--frames=0"});
    EXPECT_EQ(1, run.report.afterUnload.cleaned) << Describe(run.report.afterUnload);
    EXPECT_TRUE(run.entryAfterExit);
}

// Two frames when the button ends leave the decision open; when the module goes, one frame
// is left, which can no longer be hooked: the clean happens at unload.
TEST_F(AutoCleanInBrowser, SecondFrameClosedBeforeUnloadCleansAtUnload) {
    HostRun run = Run({L"--frames=2", L"--close-second"});
    const AutoCleanReport& r = run.report;
    EXPECT_EQ(0, r.afterEnd.cleaned) << Describe(r.afterEnd);
    EXPECT_EQ(1, r.afterUnload.cleaned) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.afterUnload.frameIsOwn) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_TRUE(run.entryAfterExit);
}

// The toolbar inside the frame ends its button during the frame's destruction, after the
// frame's WM_DESTROY: the frame is hooked then and cleaned on its WM_NCDESTROY.
TEST_F(AutoCleanInBrowser, ButtonEndedDuringTheFrameDestructionCleansOnNcDestroy) {
    HostRun run = Run({L"--end=in-destroy"});
    const AutoCleanReport& r = run.report;
    ASSERT_EQ(1, r.afterDestroyed.reached);
    EXPECT_EQ(0, r.frameDestroy.cleaned) << Describe(r.frameDestroy);
    EXPECT_EQ(0, r.afterEnd.cleaned) << Describe(r.afterEnd);
    EXPECT_EQ(1, r.afterUnload.moduleLoaded) << Describe(r.afterUnload);
    EXPECT_EQ(1, r.frameNcDestroy.cleaned) << Describe(r.frameNcDestroy);
    EXPECT_EQ(1, r.frameNcDestroy.frameIsOwn) << Describe(r.frameNcDestroy);
    EXPECT_EQ(0, r.frameNcDestroy.ownerProperty) << Describe(r.frameNcDestroy);
    EXPECT_EQ(0, r.frameNcDestroy.procProperty) << Describe(r.frameNcDestroy);
    EXPECT_EQ(0, r.afterDestroyed.cleaned) << Describe(r.afterDestroyed);
    EXPECT_TRUE(run.entryAfterExit) << "cleaned a second time";
}

// The hooked frame is still open when the process ends: the clean happens at termination.
TEST_F(AutoCleanInBrowser, HookedFrameStillOpenAtExitCleansThen) {
    HostRun run = Run({L"--keep-frames"});
    const AutoCleanReport& r = run.report;
    EXPECT_EQ(1, r.afterUnload.moduleLoaded) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.afterUnload.cleaned) << Describe(r.afterUnload);
    EXPECT_EQ(0, r.frameDestroy.reached);
    EXPECT_FALSE(run.entryAfterExit) << "not cleaned when the process ended";
}

} // namespace
