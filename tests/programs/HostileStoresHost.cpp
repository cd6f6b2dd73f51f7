// A host that drives the built VelaClear.dll through its export, round after round, over stores
// that something else has filled with random content, well formed and broken: the typed-URL
// list with more than 25 names, gaps, foreign names and values of every wrong shape, junk in
// "DeletedUrls" and in the settings, form-data and password keys with sub keys the user may
// not open or delete, deep and wide Protected Storage trees, a visit-history file of megabytes
// or none at all, a shared-memory block of any 80 bytes or fewer, address bars with thousands
// of items or items of 5,000 characters, cache entries with huge headers, and a search box
// whose answer lies (a wrong count, a looping list, no sentinel, texts without terminator).
//
// Each round loads the module, creates a button, presses it, opens both record dialogs from
// the clean dialog and deletes rows, cleans a random selection (now and then interactively,
// sometimes cancelled), closes the dialog, ends the last button, which runs the automatic clean
// where the module offers it, and unloads the module. Then it checks real state: sentinel keys,
// values and files beside every store are there byte for byte; every ticked store that held
// well-formed content is empty; stores that were not ticked are as they were; a record
// deletion removed the chosen records and no other; handles, GDI objects, windows and COM
// references are back where they started. Every step runs under a time bound; a crash, or a
// step or dialog that does not end in time, ends the run with the round named.
//
// With --faults the trouble comes from the platform instead: the module's calls fail, through
// its import table (testbed/ImportFaults), while it goes through one of five scenarios over
// modest, well-formed traces with sentinels beside every store: the clean dialog opened and
// closed (the ping answered with --ping-port), an interactive clean of all seven categories, one
// address-bar record deleted through the record dialog (the typed-URL rewrite before NT 6,
// "DeletedUrls" from NT 6 on), the automatic clean when the last button ends (as the browser),
// and one search record deleted. Each scenario first runs without failures to count its
// failable calls; then, by mode, the k-th failable call alone fails for every k ("calls"),
// every call of one function fails from its first on, for each function the scenario calls
// ("persistent"), every allocation fails from the k-th on ("oom"), or the browser's protected
// mode denies registry writes outside "AppDataLow" and every deletion of a file or cache entry
// ("protected"). Each run checks: no crash or hang, nothing beside the ticked stores changed,
// no record lost that was not chosen and none doubled, the heap validates, no window of the
// module is left and the module unloads.
//
// With --concurrency the trouble is concurrency and repetition, over the same traces and with
// the same checks (hostile/ConcurrencyRuns): browser threads that press their buttons at once
// ("threads"), two interactive cleans at once in one process ("cleans") and in several copies of
// this program ("processes"), and loads and unloads of the module without a button, whose heap,
// TLS indexes, handles and GDI objects kept are counted ("cycles").
//
// Usage: HostileStoresHost.exe [--seed N] [--rounds N] [--first R] [--dll PATH] [--browser]
//                              [--repeat] [--times] [--ping-port N] [--step-seconds N]
//                              [--destructive]
//        HostileStoresHost.exe --faults [--scenario S] [--mode M] [--function F] [--k N]
//                              [--sample N] [--first C] [--keep-going] [--browser] [--dll PATH]
//                              [--ping-port N] [--ping-delay N] [--seed N]
//        HostileStoresHost.exe --concurrency [--scenario S] [--threads N] [--rounds N]
//                              [--processes N] [--cycles N] [--browser] [--dll PATH]
//                              [--ping-port N] [--seed N]
//   --seed      the run's seed (default: from the clock); printed first, so a run can be
//               replayed; round R of a run uses the seed mixed with R alone, so --first R
//               --rounds 1 replays that round
//   --dll       the module to drive (default: VelaClear.dll beside this program)
//   --browser   run as a copy of this program named iexplore.exe (made in the temp folder),
//               where the module offers its automatic clean
//   --repeat    every round is round --first again, to see whether a leak grows
//   --times     print how long each kind of step took in all
//   --ping-port the module's statistics endpoint is localhost:N: answer it there, and give the
//               ping switch "join" random forms too (otherwise it is kept at 0); --ping-delay
//               N answers after N ms
//   --faults    failing calls instead of hostile stores; --scenario dialog, clean, address,
//               auto or search and --mode calls, persistent, oom or protected narrow the runs
//               (default: all); --function limits "calls" and "persistent" to one import; --k
//               makes only that call (or allocation) fail; --sample N makes N runs drawn with
//               the seed instead of all; --first C starts at run C; --keep-going goes on after
//               a failed run. A failed run prints the arguments that replay it.
//   --concurrency  concurrency and repetition instead; --scenario threads, cleans, processes or
//               cycles narrows the runs (default: all); --threads N browser threads (6) press
//               their buttons --rounds N times each; --processes N copies (3) clean at once;
//               --cycles N loads and unloads (300). A failed run prints the arguments that
//               replay it. --parent is for the copies a "processes" run starts.
// The program overwrites the browser's and the toolbar's stores of the current user: outside
// Wine it runs only with --destructive. Exit code 0 when every round passed; the codes in
// hostile/RunOptions.h name the first failure, the lines printed give its round and the values
// seen.
//
// The pieces beside this file (programs/hostile): the options and the reports of a crash or a
// hang (RunOptions, RunReports), the places of the stores (StorePlaces), the round and its
// seeding, its moves in the record dialogs and its checks (Round, StoreSeeding, RecordDeletions,
// StateChecks, StoreImages, ResourceChecks), the hostile-store rounds (HostileRounds) and the
// fault scenarios (FaultRuns).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "testbed/ButtonModule.h"
#include "testbed/HttpListener.h"
#include "testbed/ProgramReport.h"
#include "testbed/UrlHistoryStandIn.h"
#include "programs/hostile/ConcurrencyRuns.h"
#include "programs/hostile/FaultRuns.h"
#include "programs/hostile/HostileRounds.h"
#include "programs/hostile/RunReports.h"

using namespace hostile;

namespace {

int Run(const Options& options) {
    Report("seed %u, rounds %ld from %ld, module %s, %s\n", options.seed, options.rounds,
           options.first, Utf8(options.dll).c_str(),
           NamedAsBrowser() ? "as the browser" : "as a host of its own");
    g_progress.seed = options.seed;
    g_stepLimitMs = options.stepSeconds * 1000;
    SaveMachineState();
    Watchdog watchdog;
    AddVectoredExceptionHandler(1, ReportModuleFault);

    Host host;
    host.places = FindPlaces();
    if (!host.toolbar.Window() || !host.searchBox->Edit()) return TestbedNotBuilt;
    if (GetFileAttributesW(PathBesideProgram(L"TestUrlHistory.dll").c_str()) !=
        INVALID_FILE_ATTRIBUTES) {
        g_history = new UrlHistoryStandIn();
        if (!g_history->IsReady()) Report("the URL history stand-in could not be registered\n");
    }
    if (options.pingPort) {
        host.listener = std::make_unique<HttpListener>(
            options.pingPort,
            options.pingDelayMs ? HttpListener::Mode::Slow : HttpListener::Mode::Answer,
            options.pingDelayMs);
        if (!host.listener->Start()) Report("cannot answer on port %u\n", options.pingPort);
    }
    Report("%s, %s; the automatic clean %s\n", host.nt6 ? "NT 6" : "before NT 6",
           g_history ? "URL history stand-in" : "the system's URL history",
           host.browser && !host.nt6 ? "runs where the browser version allows"
                                     : "is not offered here");

    int result = options.concurrency ? RunConcurrency(host, options)
                 : options.faults    ? RunFaults(host, options)
                                     : RunHostileRounds(host, options);
    g_progress.started = 0;
    // A copy that a concurrency run started leaves the shared stores to it.
    if (!options.parent) ResetStores(host.places);
    RestoreMachineState();
    Report("exit %d\n", result);
    return result;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Options options;
    if (!argv || !ParseOptions(argc, argv, &options)) {
        Report("usage: HostileStoresHost.exe [--seed N] [--rounds N] [--first R] [--dll PATH] "
               "[--browser] [--repeat] [--times] [--ping-port N] [--step-seconds N] "
               "[--destructive]\n"
               "       HostileStoresHost.exe --faults [--scenario S] [--mode M] [--function F] "
               "[--k N] [--sample N] [--first C] [--keep-going] [--browser] [--dll PATH] "
               "[--ping-port N] [--ping-delay N] [--seed N]\n"
               "       HostileStoresHost.exe --concurrency [--scenario S] [--threads N] "
               "[--rounds N] [--processes N] [--cycles N] [--browser] [--dll PATH] "
               "[--ping-port N] [--seed N]\n");
        return BadArguments;
    }
    if (!RunningInWine() && !options.destructive) {
        Report("this program overwrites the browser's and the toolbar's stores of the current "
               "user: run it in a Wine prefix made for it, or pass --destructive\n");
        return NotInWine;
    }
    if (options.browser && !NamedAsBrowser()) return RunAsBrowser(argc, argv, options);
    SetUnhandledExceptionFilter(ReportCrash);
    // As on the browser's user-interface thread, COM is initialised around the whole run.
    HRESULT com = CoInitialize(nullptr);
    int result = Run(options);
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}
