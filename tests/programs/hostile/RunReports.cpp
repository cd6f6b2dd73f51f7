#include "programs/hostile/RunReports.h"

#include <tlhelp32.h>

#include <cstdio>

#include "testbed/ImportFaults.h"
#include "testbed/ProgramReport.h"
#include "programs/hostile/StorePlaces.h"

namespace hostile {

Progress g_progress;
char g_faultReplay[256];
char g_replay[256];
DWORD g_stepLimitMs = 120000;
BYTE* g_moduleStart = nullptr;
BYTE* g_moduleEnd = nullptr;
std::map<std::string, DWORD> g_stepTimes;

namespace {
std::string g_stepName;
DWORD g_stepStart = 0;
} // namespace

void NoteModuleImage(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    g_moduleStart = base;
    g_moduleEnd = base + headers->OptionalHeader.SizeOfImage;
}

void ReportWhere(const char* what) {
    if (g_replay[0]) {
        Report("%s: step \"%s\"; replay with %s\n", what, g_progress.step.load(), g_replay);
        return;
    }
    if (g_faultReplay[0]) {
        std::string failed = TakeFaultTally().firstFailure;
        Report("%s: step \"%s\", first failed call %s; replay with %s\n", what,
               g_progress.step.load(), failed.empty() ? "none" : failed.c_str(), g_faultReplay);
        return;
    }
    Report("%s: round %ld, step \"%s\"; replay with --seed %u --first %ld --rounds 1\n", what,
           g_progress.round.load(), g_progress.step.load(), g_progress.seed.load(),
           g_progress.round.load());
}

void EndRun(const char* what, int code) {
    ReportWhere(what);
    Report("exit %d\n", code);
    // A thread stuck inside the module's termination may hold the loader lock: nothing is
    // unloaded on the way out, or this thread would wait for it too.
    RestoreMachineState(false);
    TerminateProcess(GetCurrentProcess(), code);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    Report("crash: exception 0x%08lx at %p\n",
           static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
           exception->ExceptionRecord->ExceptionAddress);
    EndRun("crash", Crashed);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A fault inside the module's code counts even where a window procedure's caller would swallow
// it. Faults elsewhere are left to their handlers (IsBadReadPtr in the export raises and
// catches its own).
LONG WINAPI ReportModuleFault(EXCEPTION_POINTERS* exception) {
    DWORD code = exception->ExceptionRecord->ExceptionCode;
    auto* address = static_cast<BYTE*>(exception->ExceptionRecord->ExceptionAddress);
    bool fault = code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_STACK_OVERFLOW ||
                 code == EXCEPTION_ILLEGAL_INSTRUCTION || code == EXCEPTION_INT_DIVIDE_BY_ZERO ||
                 code == EXCEPTION_PRIV_INSTRUCTION || code == EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
    if (fault && address >= g_moduleStart && address < g_moduleEnd) {
        Report("crash in the module: exception 0x%08lx at module offset 0x%lx\n",
               static_cast<unsigned long>(code),
               static_cast<unsigned long>(address - g_moduleStart));
        EndRun("crash", Crashed);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Where each thread of the process stands in the module: the return addresses into the module's
// image found on its stack (a stack scan, so some may be stale), as offsets for addr2line.
void ReportModuleStacks() {
    if (!g_moduleStart) return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() ||
            entry.th32ThreadID == GetCurrentThreadId())
            continue;
        HANDLE thread =
            OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        std::string offsets;
        if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            MEMORY_BASIC_INFORMATION region = {};
            if (GetThreadContext(thread, &context) &&
                VirtualQuery(reinterpret_cast<void*>(context.Esp), &region, sizeof(region))) {
                auto* word = reinterpret_cast<BYTE**>(context.Esp);
                auto* end = reinterpret_cast<BYTE**>(static_cast<BYTE*>(region.BaseAddress) +
                                                     region.RegionSize);
                for (int found = 0; word < end && found < 24; word++) {
                    if (*word < g_moduleStart || *word >= g_moduleEnd) continue;
                    char text[16];
                    snprintf(text, sizeof(text), " 0x%lx",
                             static_cast<unsigned long>(*word - g_moduleStart));
                    offsets += text;
                    found++;
                }
            }
            ResumeThread(thread);
        }
        CloseHandle(thread);
        Report("thread %lu:%s\n", static_cast<unsigned long>(entry.th32ThreadID),
               offsets.empty() ? " not in the module" : offsets.c_str());
    }
    CloseHandle(snapshot);
}

void Step(const char* name) {
    DWORD now = GetTickCount();
    if (!g_stepName.empty()) g_stepTimes[g_stepName] += now - g_stepStart;
    g_stepName = name;
    g_stepStart = now;
    g_progress.step = name;
    g_progress.started = now ? now : 1; // 0: no step under way
}

} // namespace hostile
