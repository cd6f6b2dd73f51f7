// Puts TestUrlHistory.dll (testbed/historyserver) in the place of the browser's URL history for
// the lifetime of the object: the constructor registers it for CLSID_CUrlHistory under
// HKLM\Software\Classes\CLSID\{...}\InprocServer32 and loads it into this process, so the
// object COM creates and this controller share one state; the destructor writes back the
// registration it found. The prefix is shared by all tests: keep one alive only per test.
#pragma once

#include <windows.h>
#include <string>
#include <type_traits>

#include "testbed/historyserver/UrlHistoryControl.h"

class UrlHistoryStandIn {
public:
    UrlHistoryStandIn();
    ~UrlHistoryStandIn();
    UrlHistoryStandIn(const UrlHistoryStandIn&) = delete;
    UrlHistoryStandIn& operator=(const UrlHistoryStandIn&) = delete;

    // Registered, loaded and every control function found.
    bool IsReady() const { return ready_; }
    const std::wstring& DllPath() const { return dllPath_; }

    LONG ClearHistoryCalls() const { return clearCount_(); }
    LONG QueryUrlCalls() const { return queryCount_(); }
    // URL history objects not yet released by their users.
    LONG LiveObjects() const { return liveObjects_(); }
    LONG UrlCount() const { return urlCount_(); }
    // Adds url (or changes its title); a null title makes a URL without a title.
    void SetTitle(const WCHAR* url, const WCHAR* title) { setTitle_(url, title); }
    bool HasUrl(const WCHAR* url) const { return hasUrl_(url) != FALSE; }
    // Creating the object fails with hr (its class object answers it); S_OK undoes it.
    void FailCreation(HRESULT hr) { setCreateFailure_(hr); }
    // The object refuses IUrlHistoryStg2 while on.
    void WithholdStg2(bool on) { withholdStg2_(on ? TRUE : FALSE); }
    // ClearHistory signals entered, then waits for release (either may be null); the handles
    // stay the caller's. Pass nulls before closing them.
    void SetClearGate(HANDLE entered, HANDLE release) { setClearGate_(entered, release); }
    void Reset() { reset_(); }
    // Writes back the registration it found and keeps the stand-in loaded: for a process that
    // ends at once, where the destructor's unload could wait for the loader lock.
    void RestoreRegistration();
    // Leaves the registration as it is when the object goes: for a process that another one,
    // which registered the stand-in first and gives the key back itself, started beside it.
    void KeepRegistration() { saved_ = false; }

private:
    bool Register();
    bool LoadControls();

    bool ready_ = false;
    std::wstring dllPath_;
    HMODULE module_ = nullptr;

    // What the key held before: restored by the destructor.
    bool saved_ = false;
    bool keyExisted_ = false;
    bool classKeyCreated_ = false;
    bool hadServer_ = false;
    bool hadThreadingModel_ = false;
    std::wstring server_;
    std::wstring threadingModel_;

    UrlHistoryResetFn reset_ = nullptr;
    UrlHistoryCountFn clearCount_ = nullptr;
    UrlHistoryCountFn queryCount_ = nullptr;
    UrlHistoryCountFn liveObjects_ = nullptr;
    UrlHistoryCountFn urlCount_ = nullptr;
    UrlHistorySetTitleFn setTitle_ = nullptr;
    UrlHistoryHasUrlFn hasUrl_ = nullptr;
    UrlHistorySetHresultFn setCreateFailure_ = nullptr;
    UrlHistorySetSwitchFn withholdStg2_ = nullptr;
    UrlHistorySetClearGateFn setClearGate_ = nullptr;
};
