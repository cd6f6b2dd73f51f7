#include "programs/hostile/BrowserThreads.h"

#include <cstdarg>
#include <cstdio>

#include "testbed/DialogSteps.h"
#include "testbed/LeakProbes.h"

namespace hostile {

// Waits for the handle (none: for limitMs), answering this thread's messages meanwhile: the
// module's threads send to the windows of every thread. WAIT_TIMEOUT after limitMs.
DWORD WaitPumping(HANDLE handle, DWORD limitMs) {
    DWORD start = GetTickCount();
    DWORD count = handle ? 1 : 0;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) return WAIT_TIMEOUT;
        DWORD result =
            MsgWaitForMultipleObjects(count, &handle, FALSE, limitMs - elapsed, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + count) return result;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

std::string Printed(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

void BrowserThread::Run(HANDLE start, const Body& body) {
    HRESULT com = CoInitialize(nullptr);
    {
        HostToolbar toolbar{300};
        toolbar.SetCurrentUser(SiteUser);
        ComPtr<HostSite> site = HostSite::Make();
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(SiteUser);
        BrowserFrame frame;
        ComPtr<TestBrowser> browser = TestBrowser::Make(frame.Window());
        site->SetBrowser(browser.Get());
        site_ = site.Get();
        frame_ = frame.Window();
        int windows = CountThreadWindows();
        if (WaitPumping(start, WaitLimitMs) == WAIT_OBJECT_0)
            body(*this);
        else
            Fail(Hung, "not released within 60 s");
        for (const WCHAR* caption :
             {CleanCaption, AddressRecordsCaption, SearchRecordsCaption, ProgressCaption})
            if (HWND left = FindThreadDialog(caption)) {
                Fail(ModuleWindowLeft, "the dialog \"" + Utf8(caption) + "\" is still there");
                DestroyWindow(left);
            }
        FinishPainting();
        if (CountThreadWindows() != windows)
            Fail(WindowsLeaked, Printed("%d windows, expected %d", CountThreadWindows(), windows));
        site->SetBrowser(nullptr);
        if (browser->RefCount() != 1)
            Fail(ReferencesLeaked,
                 Printed("the browser holds %ld references, expected 1", browser->RefCount()));
        if (site->RefCount() != 1)
            Fail(ReferencesLeaked,
                 Printed("the site holds %ld references, expected 1", site->RefCount()));
        site_ = nullptr;
        frame_ = nullptr;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    SetEvent(finished_);
}

// Joins the threads and counts what they found as the round's failures.
void JoinAll(std::vector<std::unique_ptr<BrowserThread>>& threads, Round& round) {
    for (auto& thread : threads) {
        thread->Join();
        for (const auto& [code, message] : thread->Failures())
            round.Fail(code, message);
    }
}

} // namespace hostile
