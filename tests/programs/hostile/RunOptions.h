// The robustness program's options, its exit codes, and the copy of it that runs as the browser.
#pragma once

#include <windows.h>
#include <string>

namespace hostile {

enum ExitCode {
    Passed = 0,
    BadArguments = 2,
    NotInWine = 3,
    BrowserCopyFailed = 4,
    ModuleNotLoaded = 10,
    ExportMissing = 11,
    TestbedNotBuilt = 12,
    Crashed = 20,
    Hung = 21,
    NoDialogShown = 22,
    DialogOverWrongFrame = 23,
    ProgressNotEnded = 24,
    HandlesLeaked = 30,
    GdiObjectsLeaked = 31,
    WindowsLeaked = 32,
    ReferencesLeaked = 33,
    ModuleStayedLoaded = 34,
    HeapDamaged = 35,
    ModuleWindowLeft = 36,
    HeapKeptPerLoad = 37,
    TlsIndexKept = 38,
    SentinelChanged = 40,
    StoreNotEmptied = 41,
    UntickedStoreChanged = 42,
    WrongRecordDeleted = 43,
    CleansOverlapped = 44,
    CleanNotRun = 45,
    ChildFailed = 46,
};

struct Options {
    unsigned seed = 0;
    long rounds = 300;
    long first = 0;
    std::wstring dll;
    bool browser = false;
    USHORT pingPort = 0;
    DWORD pingDelayMs = 0; // the endpoint answers after this long
    DWORD stepSeconds = 120;
    bool destructive = false;
    bool repeat = false; // every round is round `first` again: does a leak grow?
    bool times = false;  // print where the time went
    // Failing calls
    bool faults = false;
    std::string scenario, mode, function;
    long k = 0;
    long sample = 0;
    bool keepGoing = false;
    // Concurrency and repetition
    bool concurrency = false;
    long threads = 6;   // browser threads that press their buttons at once
    long processes = 3; // copies of the program that clean at once
    long cycles = 300;  // loads and unloads of the module without a button
    DWORD parent = 0;   // a copy started by the process of this id
};

// False when an argument is unknown, lacks its value or is out of range.
bool ParseOptions(int argc, wchar_t** argv, Options* options);
bool RunningInWine();
// Whether this process is the copy named iexplore.exe, where the module offers its automatic
// clean.
bool NamedAsBrowser();
// Starts PROGRAM with COMMAND_LINE, its standard handles this program's, so that what a copy
// reports stands in this program's output.
bool StartWithOurOutput(const std::wstring& program, std::wstring commandLine,
                        PROCESS_INFORMATION* process);
int RunAsBrowser(int argc, wchar_t** argv, const Options& options);

} // namespace hostile
