// A host that loads the built VelaClear.dll from its own folder and drives buttons whose
// browser query fails with E_FAIL. The module must answer 0 instead of letting the failure
// leave the DLL, which would end this process: for one button; for buttons created at once on
// several threads, which meet in the module's unwinder, its per-thread exception state and its
// guarded statics; and across loads and unloads, which must give back the thread-local storage
// the module took. Exit code 0 when every step behaved.
#include <windows.h>
#include <atomic>
#include <thread>
#include <vector>

#include "host/ButtonHost.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"

namespace {

int DriveOneButton(OnButtonMessageProc onButtonMessage) {
    ComPtr<HostSite> site = HostSite::Make();
    site->SetBrowserQueryResult(E_FAIL);
    HostInfo info(L"Clear", 300);
    const LONG id = 7;
    LONG refs = site->RefCount();
    if (onButtonMessage(info.Get(), id, ButtonCreate, site->AsWParam(), 0) != 0) return 12;
    // Still alive: the button made for that call answers the next one without being created
    // again.
    if (onButtonMessage(info.Get(), id, ButtonUserChanged, site->AsWParam(), 0) != 1) return 13;
    if (site->CountCalls(SiteMethod::QueryInterface) != 1) return 14;
    if (onButtonMessage(info.Get(), id, ButtonDestroy, 0, 0) != 1) return 15;
    if (site->RefCount() != refs) return 16;
    return 0;
}

// Threads start together; each creates and ends buttons of its own ids, every other one with
// a failing browser query (0) and the rest with a site without a browser (1).
int DriveButtonsOnThreads(OnButtonMessageProc onButtonMessage) {
    const int Threads = 4;
    const int ButtonsPerThread = 50;
    std::atomic<int> wrongAnswers{0};
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!start) return 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; t++) {
        threads.emplace_back([&, t] {
            HostInfo info(L"Clear", 300);
            WaitForSingleObject(start, INFINITE);
            for (int i = 0; i < ButtonsPerThread; i++) {
                ComPtr<HostSite> site = HostSite::Make();
                bool failing = i % 2 == 0;
                if (failing) site->SetBrowserQueryResult(E_FAIL);
                LONG id = (t + 1) * 1000 + i;
                if (onButtonMessage(info.Get(), id, ButtonCreate, site->AsWParam(), 0) !=
                    (failing ? 0 : 1))
                    wrongAnswers++;
                if (onButtonMessage(info.Get(), id, ButtonDestroy, 0, 0) != 1) wrongAnswers++;
            }
        });
    }
    SetEvent(start);
    for (std::thread& thread : threads)
        thread.join();
    CloseHandle(start);
    return wrongAnswers == 0 ? 0 : 21;
}

// How many TLS indexes the process has left (about a thousand).
int FreeTlsIndexCount() {
    std::vector<DWORD> taken;
    for (DWORD index = TlsAlloc(); index != TLS_OUT_OF_INDEXES; index = TlsAlloc())
        taken.push_back(index);
    for (DWORD index : taken)
        TlsFree(index);
    return static_cast<int>(taken.size());
}

int Run() {
    OnButtonMessageProc onButtonMessage = nullptr;
    HMODULE module = LoadButtonModule(&onButtonMessage);
    if (!module) return 10;
    if (!onButtonMessage) return 11;
    int failure = DriveOneButton(onButtonMessage);
    if (!failure) failure = DriveButtonsOnThreads(onButtonMessage);
    if (!FreeLibrary(module)) return failure ? failure : 17;
    if (failure) return failure;

    int freeIndexes = FreeTlsIndexCount();
    for (int round = 0; round < 20; round++) {
        module = LoadButtonModule(&onButtonMessage);
        if (!module || !onButtonMessage) return 22;
        failure = DriveOneButton(onButtonMessage);
        FreeLibrary(module);
        if (failure) return failure;
    }
    return FreeTlsIndexCount() == freeIndexes ? 0 : 23;
}

} // namespace

int main() {
    return Run();
}
