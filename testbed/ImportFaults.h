// Makes the platform refuse the module's calls, from outside the module: the import address
// table of the loaded DLL is pointed at wrappers of this process, which either pass a call on
// to the system or fail it as Windows documents that function's failure (FALSE, NULL or
// INVALID_HANDLE_VALUE with a last error, ERROR_ACCESS_DENIED or ERROR_OUTOFMEMORY from the
// registry, E_ACCESSDENIED or E_OUTOFMEMORY from COM). Functions the module looks up at run time
// are wrapped when GetProcAddress hands them out. Calls that cannot fail in practice (critical
// sections, interlocked operations, last-error calls, tick counts, string functions, frees and
// closes, and window calls on the module's own dialogs) are left alone and not counted.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

enum class FaultKind {
    None,        // every call passes; the calls are counted
    Calls,       // failable calls (of `function` alone when it is set) fail from `first` on
    Allocations, // allocations (memory, GDI objects, threads, COM objects) fail from `first` on
    Protected,   // as under the browser's protected mode: registry writes and deletions outside
                 // "Software\AppDataLow" of the user, and every file or cache-entry deletion,
                 // are denied
};

struct FaultPlan {
    FaultKind kind = FaultKind::None;
    std::string function;    // None, Calls: only calls of this import count (and fail)
    long first = 0;          // the first counted call that fails, from 1; 0: none fails
    bool persistent = false; // every counted call from `first` on fails, not only that one
};

struct FaultTally {
    long calls = 0;       // failable calls made (of `function` alone when the plan names one)
    long allocations = 0; // allocations among all failable calls
    long failed = 0;
    std::string firstFailure;           // "RegSetValueExW (call 12)", or empty
    std::vector<std::string> functions; // every failable import called, in the order first met
};

// Points the failable entries of module's import table at the wrappers. Returns how many
// entries it changed, or -1 when the image cannot be read.
int InstallImportFaults(HMODULE module);
// Starts counting afresh under plan; applies to every thread at once.
void SetFaultPlan(const FaultPlan& plan);
FaultTally TakeFaultTally();
// Whether name is an import the wrappers can make fail.
bool IsFailableImport(const std::string& name);
