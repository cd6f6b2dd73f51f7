// Where the run stands, for the reports of a crash or a hang; the watchdog that bounds each
// step; where the run's time went.
#pragma once

#include <windows.h>
#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "testbed/ProgramReport.h"
#include "programs/hostile/RunOptions.h"

namespace hostile {

struct Progress {
    std::atomic<unsigned> seed{0};
    std::atomic<long> round{-1};
    std::atomic<const char*> step{"set-up"};
    std::atomic<DWORD> started{0};
};

extern Progress g_progress;
// The arguments that replay the fault run under way, for the reports of a crash or a hang.
extern char g_faultReplay[256];
// The arguments that replay the concurrency run under way, for the same reports.
extern char g_replay[256];
extern DWORD g_stepLimitMs;
// The module's image while it is loaded, to tell its faults and return addresses.
extern BYTE* g_moduleStart;
extern BYTE* g_moduleEnd;
void NoteModuleImage(HMODULE module);
// Where the run's time went, step by step, for --times.
extern std::map<std::string, DWORD> g_stepTimes;

// "what: round R, step S; replay with ...", or the fault run's replay arguments.
void ReportWhere(const char* what);
// Reports where the run stands, gives the machine's state back and ends the process with code.
void EndRun(const char* what, int code);
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception);
LONG WINAPI ReportModuleFault(EXCEPTION_POINTERS* exception);
void ReportModuleStacks();
// A new step under way: its name for the reports, its start for the watchdog and --times.
void Step(const char* name);

// Ends the run when a step takes longer than its bound: a loop that does not end, a dialog that
// does not close.
class Watchdog {
public:
    Watchdog() : thread_([this] { Run(); }) {}
    ~Watchdog() {
        stop_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Run() {
        while (!stop_) {
            Sleep(100);
            DWORD started = g_progress.started;
            // Signed: the step may have started after this thread read the clock.
            if (started &&
                static_cast<LONG>(GetTickCount() - started) > static_cast<LONG>(g_stepLimitMs)) {
                Report("hang: the step did not end within %lu s\n", g_stepLimitMs / 1000);
                ReportModuleStacks();
                EndRun("hang", Hung);
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace hostile
