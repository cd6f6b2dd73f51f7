// The concurrency and repetition runs. Each seeds the fault runs' modest traces with their
// sentinels and afterwards makes the rounds' own checks: sentinels and stores, the host's
// references, the module's dialogs, windows, handles and GDI objects, and the unload.
//
// "threads": browser threads, each with its own toolbar, site, frame and browser object, are
// released together right after the load; each creates its button, presses it (the clean dialog
// must open over its own thread's frame), closes the dialog and ends the button, round after
// round. "cleans": two browser threads press "clean now" at once. The URL history stand-in holds
// the first clean that reaches it; meanwhile the other run must end its progress dialog without
// cleaning, and ClearHistory is called once in all. "processes": the same between copies of this
// program on the stores they share. Threads and cleans run twice, the first time to make what
// lives for the process, and the second is counted: handles, GDI objects, windows and threads
// back. "cycles": LoadLibrary and FreeLibrary of the module with no button, after a warm-up: the
// heap kept (busy blocks of every heap) must not exceed 64 bytes a cycle, and the next free TLS
// index, the handles and the GDI objects must be as before.
#include "programs/hostile/ConcurrencyRuns.h"

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <thread>

#include "host/ButtonHost.h"
#include "testbed/DialogSteps.h"
#include "testbed/HostInfo.h"
#include "testbed/LeakProbes.h"
#include "testbed/ModalScript.h"
#include "testbed/ProgramReport.h"
#include "testbed/UrlHistoryStandIn.h"
#include "programs/hostile/BrowserThreads.h"
#include "programs/hostile/ResourceChecks.h"
#include "programs/hostile/RunReports.h"

namespace hostile {
namespace {

const char* const ConcurrencyScenarios[] = {"threads", "cleans", "processes", "cycles"};
// What the concurrent cleans tick: the history, whose ClearHistory the stand-in can hold, and
// the cache after it.
const DWORD ConcurrentSelection = HistoryBit | TemporaryFilesBit | CookiesBit;
const int CycleWarmUp = 5;
const double HeapBoundPerCycle = 64;

// Each round creates the thread's button, presses it, closes the clean dialog and ends it.
void PressRounds(BrowserThread& self, OnButtonMessageProc send, long rounds) {
    HostInfo info(L"Clear", 300);
    for (long r = 0; r < rounds; r++) {
        send(info.Get(), self.Id(), r % 2 ? ButtonCreate : ButtonCreateAndShow,
             self.Site()->AsWParam(), 0);
        HWND owner = nullptr;
        bool shown = false;
        WhenDialogShows(CleanCaption, [&](HWND clean) {
            shown = true;
            owner = GetWindow(clean, GW_OWNER);
            PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
        });
        send(info.Get(), self.Id(), ButtonPressed, 0, 0);
        CancelDialogSteps();
        if (!shown)
            self.Fail(NoDialogShown, Printed("round %ld: the clean dialog did not open", r));
        else if (owner != self.Frame())
            self.Fail(
                DialogOverWrongFrame,
                Printed("round %ld: the clean dialog's owner is %p, not the thread's frame %p", r,
                        static_cast<void*>(owner), static_cast<void*>(self.Frame())));
        send(info.Get(), self.Id(), ButtonDestroy, 0, 0);
    }
}

// Opens the clean dialog with the concurrent selection ticked, releases ready once and waits
// for go, then presses "clean now", which returns when the run's progress dialog has ended, and
// sets done (when given).
void CleanAtSignal(BrowserThread& self, OnButtonMessageProc send, HANDLE ready, HANDLE go,
                   HANDLE done) {
    HostInfo info(L"Clear", 300);
    send(info.Get(), self.Id(), ButtonCreateAndShow, self.Site()->AsWParam(), 0);
    bool shown = false;
    WhenDialogShows(CleanCaption, [&](HWND clean) {
        shown = true;
        Round::SetCategories(clean, ConcurrentSelection);
        ReleaseSemaphore(ready, 1, nullptr);
        if (WaitPumping(go, WaitLimitMs) != WAIT_OBJECT_0) self.Fail(Hung, "no go within 60 s");
        ClickControl(clean, CleanNowId);
        if (done) SetEvent(done);
        PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
    });
    send(info.Get(), self.Id(), ButtonPressed, 0, 0);
    CancelDialogSteps();
    if (!shown) self.Fail(NoDialogShown, "the clean dialog did not open");
    send(info.Get(), self.Id(), ButtonDestroy, 0, 0);
}

// The module loaded for a run, with its image noted for the crash reports.
HMODULE LoadModule(const Options& options, OnButtonMessageProc* send, Round& round) {
    Step("loading the module");
    HMODULE module = LoadButtonModule(send, options.dll);
    if (!module || !*send) {
        round.Fail(module ? ExportMissing : ModuleNotLoaded, "the module did not load");
        if (module) FreeLibrary(module);
        return nullptr;
    }
    NoteModuleImage(module);
    return module;
}

int RunThreads(Round& round, const Options& options, long rounds) {
    round.PrepareTraces();
    OnButtonMessageProc send = nullptr;
    HMODULE module = LoadModule(options, &send, round);
    if (!module) return round.CheckAfterUnload();
    Step("browser threads pressing their buttons");
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::unique_ptr<BrowserThread>> threads;
    for (LONG id = 1; id <= options.threads; id++)
        threads.push_back(std::make_unique<BrowserThread>(
            id, start, [=](BrowserThread& self) { PressRounds(self, send, rounds); }));
    SetEvent(start);
    JoinAll(threads, round);
    CloseHandle(start);
    Step("unloading the module");
    round.Unload(module);
    return round.CheckAfterUnload();
}

// The named objects of the cleans at once, in one process or between a run and its copies:
// ready (a semaphore, once per clean dialog), go, the URL history's gate (entered, release)
// and cleaned (a semaphore, once per copy whose clean ran).
struct CleanSignals {
    HANDLE ready, go, entered, release, cleaned;

    explicit CleanSignals(DWORD owner, bool open = false) {
        auto name = [owner](const wchar_t* what) {
            return L"VelaConcurrency-" + std::to_wstring(owner) + L"-" + what;
        };
        if (open) {
            ready = OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, name(L"ready").c_str());
            cleaned = OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, name(L"cleaned").c_str());
            go = OpenEventW(EVENT_ALL_ACCESS, FALSE, name(L"go").c_str());
            entered = OpenEventW(EVENT_ALL_ACCESS, FALSE, name(L"entered").c_str());
            release = OpenEventW(EVENT_ALL_ACCESS, FALSE, name(L"release").c_str());
            return;
        }
        ready = CreateSemaphoreW(nullptr, 0, 64, name(L"ready").c_str());
        cleaned = CreateSemaphoreW(nullptr, 0, 64, name(L"cleaned").c_str());
        go = CreateEventW(nullptr, TRUE, FALSE, name(L"go").c_str());
        entered = CreateEventW(nullptr, TRUE, FALSE, name(L"entered").c_str());
        release = CreateEventW(nullptr, TRUE, FALSE, name(L"release").c_str());
    }
    ~CleanSignals() {
        for (HANDLE handle : {ready, go, entered, release, cleaned})
            if (handle) CloseHandle(handle);
    }
    CleanSignals(const CleanSignals&) = delete;
    CleanSignals& operator=(const CleanSignals&) = delete;
    bool Made() const { return ready && go && entered && release && cleaned; }
};

// Waits for count clean dialogs, lets them clean at once and waits for the first clean to reach
// the URL history, which holds it; then othersEnded (true when the other runs have ended
// without cleaning) must come true while it is held, after which the history lets it go.
void CleanAtOnce(Round& round, CleanSignals& signals, long count,
                 const std::function<bool()>& othersEnded) {
    Step("clean dialogs opening");
    for (long i = 0; i < count; i++)
        if (WaitPumping(signals.ready, WaitLimitMs) != WAIT_OBJECT_0) {
            round.Fail(NoDialogShown,
                       Printed("%ld of %ld clean dialogs were open after 60 s", i, count));
            break;
        }
    Step("cleaning at once");
    SetEvent(signals.go);
    if (WaitPumping(signals.entered, WaitLimitMs) != WAIT_OBJECT_0) {
        round.Fail(CleanNotRun, "no clean reached the URL history within 60 s");
    } else {
        DWORD start = GetTickCount();
        while (!othersEnded() && GetTickCount() - start < WaitLimitMs)
            WaitPumping(nullptr, 50);
        if (!othersEnded())
            round.Fail(CleansOverlapped,
                       "the other cleans did not end within 60 s while the first held the URL "
                       "history: their runs waited for it or ran into it");
    }
    SetEvent(signals.release);
}

int RunCleans(Round& round, const Options& options) {
    if (!g_history) return TestbedNotBuilt;
    round.PrepareTraces();
    round.ExpectInteractiveClean(ConcurrentSelection, true);
    CleanSignals signals(GetCurrentProcessId());
    if (!signals.Made()) return TestbedNotBuilt;
    OnButtonMessageProc send = nullptr;
    HMODULE module = LoadModule(options, &send, round);
    if (!module) return round.CheckAfterUnload();
    g_history->SetClearGate(signals.entered, signals.release);
    LONG clearsBefore = g_history->ClearHistoryCalls();
    HANDLE now = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE done[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<std::unique_ptr<BrowserThread>> threads;
    for (LONG id = 1; id <= 2; id++) {
        HANDLE own = done[id - 1];
        threads.push_back(std::make_unique<BrowserThread>(id, now, [&, own](BrowserThread& self) {
            CleanAtSignal(self, send, signals.ready, signals.go, own);
        }));
    }
    CleanAtOnce(round, signals, 2, [&] {
        return WaitForMultipleObjects(2, done, FALSE, 0) != WAIT_TIMEOUT &&
               g_history->ClearHistoryCalls() == clearsBefore;
    });
    JoinAll(threads, round);
    g_history->SetClearGate(nullptr, nullptr);
    for (HANDLE handle : {now, done[0], done[1]})
        CloseHandle(handle);
    LONG clears = g_history->ClearHistoryCalls() - clearsBefore;
    if (clears != 1)
        round.Fail(CleansOverlapped, Printed("ClearHistory was called %ld times, expected once",
                                             static_cast<long>(clears)));
    Step("unloading the module");
    round.Unload(module);
    return round.CheckAfterUnload();
}

// A copy started by a "processes" run: one browser thread cleans at the parent's signal; the
// copy says whether its clean ran, and checks its own references, windows and unload.
int RunCopy(Host& host, const Options& options) {
    Round round(host, options, 0, options.seed);
    CleanSignals signals(options.parent, true);
    if (!g_history || !signals.Made()) return TestbedNotBuilt;
    // The registration is the parent's: it found the stand-in there and gives back what was
    // there before it once every copy has ended.
    g_history->KeepRegistration();
    OnButtonMessageProc send = nullptr;
    HMODULE module = LoadModule(options, &send, round);
    if (!module) return ModuleNotLoaded;
    g_history->SetClearGate(signals.entered, signals.release);
    LONG clearsBefore = g_history->ClearHistoryCalls();
    HANDLE now = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    std::vector<std::unique_ptr<BrowserThread>> threads;
    threads.push_back(std::make_unique<BrowserThread>(1, now, [&](BrowserThread& self) {
        CleanAtSignal(self, send, signals.ready, signals.go, nullptr);
    }));
    JoinAll(threads, round);
    CloseHandle(now);
    g_history->SetClearGate(nullptr, nullptr);
    LONG clears = g_history->ClearHistoryCalls() - clearsBefore;
    if (clears == 1) ReleaseSemaphore(signals.cleaned, 1, nullptr);
    if (clears > 1)
        round.Fail(CleansOverlapped,
                   Printed("ClearHistory was called %ld times", static_cast<long>(clears)));
    round.Unload(module);
    if (!HeapValidate(GetProcessHeap(), 0, nullptr))
        round.Fail(HeapDamaged, "the process heap does not validate");
    // The stores are the parent's to check.
    return round.Failure();
}

int RunProcesses(Round& round, const Options& options) {
    round.PrepareTraces();
    // The clean runs in a copy: its calls to the URL history are counted there.
    round.ExpectInteractiveClean(ConcurrentSelection, false);
    CleanSignals signals(GetCurrentProcessId());
    if (!signals.Made()) return TestbedNotBuilt;
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --concurrency --parent " +
                               std::to_wstring(GetCurrentProcessId()) + L" --dll \"" + options.dll +
                               L"\"";
    std::vector<HANDLE> copies;
    for (long i = 0; i < options.processes; i++) {
        PROCESS_INFORMATION process = {};
        if (!StartWithOurOutput(self, commandLine, &process)) {
            round.Fail(ChildFailed,
                       Printed("copy %ld did not start, error %lu", i, GetLastError()));
            break;
        }
        CloseHandle(process.hThread);
        copies.push_back(process.hProcess);
    }
    auto ended = [&] {
        long count = 0;
        for (HANDLE copy : copies)
            if (WaitForSingleObject(copy, 0) == WAIT_OBJECT_0) count++;
        return count;
    };
    long count = static_cast<long>(copies.size());
    CleanAtOnce(round, signals, count, [&] { return ended() >= count - 1; });
    Step("the copies ending");
    for (size_t i = 0; i < copies.size(); i++) {
        DWORD code = Hung;
        if (WaitPumping(copies[i], WaitLimitMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(copies[i], &code);
        else
            TerminateProcess(copies[i], Hung);
        if (code != Passed)
            round.Fail(static_cast<int>(code), Printed("copy %zu exited with code %lu", i, code));
        CloseHandle(copies[i]);
    }
    long cleaned = 0;
    while (WaitForSingleObject(signals.cleaned, 0) == WAIT_OBJECT_0)
        cleaned++;
    if (cleaned != 1)
        round.Fail(cleaned ? CleansOverlapped : CleanNotRun,
                   Printed("the clean ran in %ld of %ld copies, expected 1", cleaned, count));
    return round.CheckAfterUnload();
}

// The next TLS index TlsAlloc hands out: one that a load kept would move it on.
DWORD NextTlsIndex() {
    DWORD index = TlsAlloc();
    if (index != TLS_OUT_OF_INDEXES) TlsFree(index);
    return index;
}

int RunCycles(Round& round, const Options& options) {
    round.PrepareTraces();
    Step("loading and unloading the module");
    auto cycle = [&] {
        HMODULE module = LoadLibraryW(options.dll.c_str());
        if (!module) return false;
        FreeLibrary(module);
        WCHAR path[MAX_PATH] = {};
        if (GetModuleFileNameW(module, path, MAX_PATH)) {
            round.Fail(ModuleStayedLoaded, "the module is still loaded after FreeLibrary");
            return false;
        }
        return true;
    };
    for (int i = 0; i < CycleWarmUp; i++)
        if (!cycle()) return round.CheckAfterUnload();
    HandleCounts perLoad = HandlesKeptPerLoad(options.dll);
    HandleCounts handles = HandleCensus();
    int gdiObjects = CountGdiObjects();
    DWORD tls = NextTlsIndex();
    SIZE_T heap = HeapBytesInUse();
    long done = 0;
    while (done < options.cycles && cycle())
        done++;
    SIZE_T heapAfter = HeapBytesInUse();
    DWORD tlsAfter = NextTlsIndex();
    int gdiAfter = CountGdiObjects();
    HandleCounts handlesAfter = HandleCensus();
    if (done < options.cycles)
        round.Fail(ModuleNotLoaded, Printed("cycle %ld did not load the module", done + 1));
    double perCycle =
        (static_cast<double>(heapAfter) - static_cast<double>(heap)) / (done ? done : 1);
    Report("%ld load and unload cycles after %d: heap in use %lu bytes before, %lu after, "
           "%.1f bytes kept per cycle; next TLS index %lu before, %lu after\n",
           done, CycleWarmUp, static_cast<unsigned long>(heap),
           static_cast<unsigned long>(heapAfter), perCycle, tls, tlsAfter);
    if (perCycle > HeapBoundPerCycle)
        round.Fail(HeapKeptPerLoad, Printed("each load and unload keeps %.1f bytes of heap, more "
                                            "than %.0f",
                                            perCycle, HeapBoundPerCycle));
    if (tlsAfter != tls)
        round.Fail(TlsIndexKept, Printed("the next free TLS index was %lu, is %lu", tls, tlsAfter));
    for (long i = 0; i < done; i++)
        handles = Plus(handles, perLoad);
    if (handlesAfter != handles)
        round.Fail(HandlesLeaked, "handles " + DescribeCensusDifference(handles, handlesAfter));
    if (gdiAfter != gdiObjects)
        round.Fail(GdiObjectsLeaked, Printed("%d GDI objects, expected %d", gdiAfter, gdiObjects));
    return round.CheckAfterUnload();
}

std::string Replay(const std::string& scenario, const Options& options, long rounds) {
    return Printed("%s--concurrency --scenario %s --threads %ld --rounds %ld --processes %ld "
                   "--cycles %ld --seed %u",
                   NamedAsBrowser() ? "--browser " : "", scenario.c_str(), options.threads, rounds,
                   options.processes, options.cycles, options.seed);
}

// One scenario. Threads and cleans run first to make what lives for the process, then again
// counted: handles, GDI objects, windows and threads must be back after it. Something new held
// may be a cache the platform fills once for the process, or a leak, which comes again when the
// run does: a count that differs is made again over up to two more runs.
int RunScenario(Host& host, const Options& options, const std::string& scenario,
                const HandleCounts& perLoad) {
    long rounds = options.rounds;
    snprintf(g_replay, sizeof(g_replay), "%s", Replay(scenario, options, rounds).c_str());
    bool counted = scenario == "threads" || scenario == "cleans";
    auto runOnce = [&](long index) {
        Round round(host, options, index, options.seed);
        if (scenario == "threads") return RunThreads(round, options, index == 0 ? 1 : rounds);
        if (scenario == "cleans") return RunCleans(round, options);
        if (scenario == "processes") return RunProcesses(round, options);
        return RunCycles(round, options);
    };
    int ownThreads = CountProcessThreads();
    int code = counted ? runOnce(0) : Passed;
    for (long run = 1; code == Passed; run++) {
        // The count starts when the run's threads, and the system's that it used, have gone.
        for (int tries = 0; tries < 50 && CountProcessThreads() > ownThreads; tries++)
            Sleep(200);
        MakeLastingObjects();
        Resources baseline = TakeResources();
        std::map<uintptr_t, DWORD> baselineObjects = LiveGdiObjects();
        SIZE_T heap = HeapBytesInUse();
        code = runOnce(run);
        if (code != Passed || !counted) break;
        Step("counting handles and GDI objects");
        baseline.handles = Plus(baseline.handles, perLoad);
        Resources now = SettledResources(baseline);
        // Not bounded: what the platform keeps for its own (Wine's activation contexts keep
        // some bytes at each activation) is told apart from the module's by a longer run.
        if (scenario == "threads") {
            double kept = static_cast<double>(HeapBytesInUse()) - static_cast<double>(heap);
            Report("threads: heap in use %+.0f bytes after the run and the unload, %.1f a press\n",
                   kept, kept / (static_cast<double>(rounds) * options.threads));
        }
        if (now == baseline) break;
        std::string difference = DescribeResources(baseline, now, baselineObjects);
        if (run < 3) {
            Report("%s: %s; the run runs again\n", scenario.c_str(), difference.c_str());
            continue;
        }
        code = now.handles != baseline.handles || now.threads != baseline.threads ? HandlesLeaked
               : now.gdiObjects != baseline.gdiObjects                            ? GdiObjectsLeaked
                                                                                  : WindowsLeaked;
        Report("%s leaks: %s\n", scenario.c_str(), difference.c_str());
    }
    g_progress.started = 0;
    if (code != Passed) ReportWhere("failed");
    g_replay[0] = 0;
    return code;
}

} // namespace

int RunConcurrency(Host& host, const Options& options) {
    if (options.parent) return RunCopy(host, options);
    HandleCounts perLoad = HandlesKeptPerLoad(options.dll);
    if (!perLoad.empty())
        Report("the module file keeps handles at each load and unload by itself: %s\n",
               DescribeCensusDifference(HandleCounts(), perLoad).c_str());
    int result = Passed;
    bool any = false;
    for (const char* scenario : ConcurrencyScenarios) {
        if (!options.scenario.empty() && options.scenario != scenario) continue;
        any = true;
        DWORD start = GetTickCount();
        int code = RunScenario(host, options, scenario, perLoad);
        Report("%s: %s in %lu s\n", scenario, code == Passed ? "passed" : "failed",
               static_cast<unsigned long>((GetTickCount() - start) / 1000));
        if (result == Passed) result = code;
    }
    if (!any) {
        Report("no concurrency scenario is named \"%s\"\n", options.scenario.c_str());
        return BadArguments;
    }
    return result;
}

} // namespace hostile
