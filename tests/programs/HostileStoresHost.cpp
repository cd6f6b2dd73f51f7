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
// Usage: HostileStoresHost.exe [--seed N] [--rounds N] [--first R] [--dll PATH] [--browser]
//                              [--repeat] [--times] [--ping-port N] [--step-seconds N]
//                              [--destructive]
//        HostileStoresHost.exe --faults [--scenario S] [--mode M] [--function F] [--k N]
//                              [--sample N] [--first C] [--keep-going] [--browser] [--dll PATH]
//                              [--ping-port N] [--ping-delay N] [--seed N]
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
// The program overwrites the browser's and the toolbar's stores of the current user: outside
// Wine it runs only with --destructive. Exit code 0 when every round passed; the codes below
// name the first failure, the lines printed give its round and the values seen.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "clean/CleanSettings.h"
#include "env/ToolbarLocations.h"
#include "host/ButtonHost.h"
#include "records/RecordDeleteDialog.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"
#include "testbed/DialogSteps.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/HostileContent.h"
#include "testbed/HttpListener.h"
#include "testbed/ImportFaults.h"
#include "testbed/KeySecurity.h"
#include "testbed/LeakProbes.h"
#include "testbed/ModalScript.h"
#include "testbed/ProgramReport.h"
#include "testbed/RecordDialogMoves.h"
#include "testbed/SearchBoxComponent.h"
#include "testbed/SharedMemoryBlock.h"
#include "testbed/SolidIcons.h"
#include "testbed/StoreImage.h"
#include "testbed/TestBrowser.h"
#include "testbed/TypedUrlSeed.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

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
    HandlesLeaked = 30,
    GdiObjectsLeaked = 31,
    WindowsLeaked = 32,
    ReferencesLeaked = 33,
    ModuleStayedLoaded = 34,
    HeapDamaged = 35,
    ModuleWindowLeft = 36,
    SentinelChanged = 40,
    StoreNotEmptied = 41,
    UntickedStoreChanged = 42,
    WrongRecordDeleted = 43,
};

// ---------------------------------------------------------------------------------------------
// Options

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
};

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
    options->seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    options->dll = PathBesideProgram(L"VelaClear.dll");
    for (int i = 1; i < argc; i++) {
        std::wstring name = argv[i];
        bool hasValue = i + 1 < argc;
        if (name == L"--browser") {
            options->browser = true;
        } else if (name == L"--destructive") {
            options->destructive = true;
        } else if (name == L"--repeat") {
            options->repeat = true;
        } else if (name == L"--times") {
            options->times = true;
        } else if (name == L"--faults") {
            options->faults = true;
        } else if (name == L"--keep-going") {
            options->keepGoing = true;
        } else if (!hasValue) {
            return false;
        } else if (name == L"--seed") {
            options->seed = static_cast<unsigned>(wcstoul(argv[++i], nullptr, 0));
        } else if (name == L"--rounds") {
            options->rounds = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--first") {
            options->first = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--dll") {
            WCHAR full[MAX_PATH] = {};
            GetFullPathNameW(argv[++i], MAX_PATH, full, nullptr);
            options->dll = full;
        } else if (name == L"--ping-port") {
            options->pingPort = static_cast<USHORT>(wcstoul(argv[++i], nullptr, 0));
        } else if (name == L"--ping-delay") {
            options->pingDelayMs = wcstoul(argv[++i], nullptr, 0);
        } else if (name == L"--step-seconds") {
            options->stepSeconds = wcstoul(argv[++i], nullptr, 0);
        } else if (name == L"--scenario") {
            options->scenario = Utf8(argv[++i]);
        } else if (name == L"--mode") {
            options->mode = Utf8(argv[++i]);
        } else if (name == L"--function") {
            options->function = Utf8(argv[++i]);
        } else if (name == L"--k") {
            options->k = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--sample") {
            options->sample = wcstol(argv[++i], nullptr, 0);
        } else {
            return false;
        }
    }
    // Round -1 is the warm-up round, which a failure there names.
    return options->rounds >= 0 && options->first >= -1 && options->stepSeconds > 0;
}

bool RunningInWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool NamedAsBrowser() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return lstrcmpiW(PathFindFileNameW(path), L"iexplore.exe") == 0;
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

// What the run changes on the machine beyond the user's stores, given back however it ends.

const WCHAR IeMachineKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
StoredValue g_ieVersion;
bool g_ieVersionExisted = false;
UrlHistoryStandIn* g_history = nullptr;

void SaveMachineState() {
    StoredValues values = ReadStoredValues(IeMachineKey, HKEY_LOCAL_MACHINE);
    auto found = values.find(L"Version");
    g_ieVersionExisted = found != values.end();
    if (g_ieVersionExisted) g_ieVersion = found->second;
}

void RestoreMachineState(bool unload = true) {
    if (g_ieVersionExisted)
        SHSetValueW(HKEY_LOCAL_MACHINE, IeMachineKey, L"Version", g_ieVersion.type,
                    g_ieVersion.bytes.data(), static_cast<DWORD>(g_ieVersion.bytes.size()));
    else
        SHDeleteValueW(HKEY_LOCAL_MACHINE, IeMachineKey, L"Version");
    // The stand-in's destructor writes the URL history's registration back and unloads it.
    if (UrlHistoryStandIn* history = g_history) {
        g_history = nullptr;
        if (unload)
            delete history;
        else
            history->RestoreRegistration();
    }
}

// Runs a copy of this program named iexplore.exe, with the URL history stand-in beside it when
// there is one, passes the arguments on with the module's full path, and returns its exit code.
int RunAsBrowser(int argc, wchar_t** argv, const Options& options) {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder =
        std::wstring(temp) + L"VelaHostileStores-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring browser = folder + L"\\iexplore.exe";
    std::wstring history = folder + L"\\TestUrlHistory.dll";
    if (!CopyFileW(self, browser.c_str(), FALSE)) {
        Report("cannot copy the program to %s, error %lu\n", Utf8(browser).c_str(), GetLastError());
        return BrowserCopyFailed;
    }
    CopyFileW(PathBesideProgram(L"TestUrlHistory.dll").c_str(), history.c_str(), FALSE);

    std::wstring commandLine = Quoted(browser);
    for (int i = 1; i < argc; i++)
        commandLine += L" " + Quoted(argv[i]);
    commandLine += L" --dll " + Quoted(options.dll);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = BrowserCopyFailed;
    if (CreateProcessW(browser.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        Report("cannot start %s, error %lu\n", Utf8(browser).c_str(), GetLastError());
    }
    DeleteFileW(browser.c_str());
    DeleteFileW(history.c_str());
    RemoveDirectoryW(folder.c_str());
    return static_cast<int>(exitCode);
}

// ---------------------------------------------------------------------------------------------
// Where the run stands, for the reports of a crash or a hang.

struct Progress {
    std::atomic<unsigned> seed{0};
    std::atomic<long> round{-1};
    std::atomic<const char*> step{"set-up"};
    std::atomic<DWORD> started{0};
};

Progress g_progress;
// The arguments that replay the fault run under way, for the reports of a crash or a hang.
char g_faultReplay[256];
DWORD g_stepLimitMs = 120000;
BYTE* g_moduleStart = nullptr;
BYTE* g_moduleEnd = nullptr;

void ReportWhere(const char* what) {
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

// Where the run's time went, step by step, for --times.
std::map<std::string, DWORD> g_stepTimes;
std::string g_stepName;
DWORD g_stepStart = 0;

void Step(const char* name) {
    DWORD now = GetTickCount();
    if (!g_stepName.empty()) g_stepTimes[g_stepName] += now - g_stepStart;
    g_stepName = name;
    g_stepStart = now;
    g_progress.step = name;
    g_progress.started = now ? now : 1; // 0: no step under way
}

// ---------------------------------------------------------------------------------------------
// Places of the stores, as the module sees them on this system.

const WCHAR CleanCaption[] = L"清理上网痕迹";
const WCHAR AddressRecordsCaption[] = L"删除地址栏记录";
const WCHAR SearchRecordsCaption[] = L"删除搜索记录";
const WCHAR ProgressCaption[] = L"正在清理...";
const int AddressLinkId = 1189;
const int SearchLinkId = 1190;
const int CleanNowId = 1145;

const DWORD AddressBarBit = 0x01;
const DWORD HistoryBit = 0x02;
const DWORD FormDataBit = 0x04;
const DWORD SearchBit = 0x08;
const DWORD PasswordsBit = 0x10;
const DWORD TemporaryFilesBit = 0x20;
const DWORD CookiesBit = 0x40;

const WCHAR IeUserKey[] = L"Software\\Microsoft\\Internet Explorer";
const WCHAR IntelliFormsKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms";
const WCHAR ProtectedStorageKey[] = L"Software\\Microsoft\\Protected Storage System Provider";
const WCHAR ItemType[] = L"e161255a-37c3-11d2-bcaa-00c04fd929db";
const WCHAR OstleUserKey[] = L"Software\\Corvane\\Ostle";
const WCHAR OstleMachineKey[] = L"SOFTWARE\\Corvane\\Ostle";
const WCHAR HotKeysKey[] = L"SOFTWARE\\Corvane\\Ostle\\HotKeys";
const WCHAR IdentityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const DWORD SiteUser = 3;

struct Places {
    std::wstring toolbarKey;      // the per-user settings key of this system
    std::wstring otherToolbarKey; // the other one, which the module never uses here
    std::wstring dataFolder;
    std::wstring visitFolder;
    std::wstring visitFile;
    std::wstring psUserKey;
    std::wstring psTypeKey;
    std::wstring psDataKey;
    std::wstring outsideFolder; // a folder of the user's own files, outside every store
};

Places FindPlaces() {
    Places places;
    WCHAR buffer[MAX_PATH] = {};
    GetToolbarKeyPath(buffer, MAX_PATH, nullptr);
    places.toolbarKey = buffer;
    places.otherToolbarKey =
        places.toolbarKey == ToolbarUserKeyLow ? ToolbarUserKeyClassic : ToolbarUserKeyLow;
    GetToolbarPath(DataFolder, buffer, MAX_PATH);
    places.dataFolder = buffer;
    places.visitFolder = places.dataFolder + L"\\visitHistory";
    places.visitFile = places.visitFolder + L"\\visitHistory.ini";
    places.psUserKey = std::wstring(ProtectedStorageKey) + L"\\" + CurrentUserSidString();
    places.psTypeKey = places.psUserKey + L"\\Data\\" + ItemType;
    places.psDataKey = places.psTypeKey + L"\\" + ItemType;
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    places.outsideFolder = std::wstring(temp) + L"VelaHostileOutside";
    return places;
}

// ---------------------------------------------------------------------------------------------
// Small tools

bool IsNt6() {
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExW(&v);
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion > 5;
}

void DeleteFolderTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFolderTree(path + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

UniqueRegKey CreateKey(HKEY root, const std::wstring& path) {
    UniqueRegKey key;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    return key;
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The values of a key by lower-case name: registry names match without regard to case.
StoredValues LowerNamed(const StoredValues& values) {
    StoredValues lowered;
    for (const auto& [name, value] : values)
        lowered[Lower(name)] = value;
    return lowered;
}

// What the module takes for a URL record: data that fits 2084 units with the last one zero;
// its text ends at the first terminator.
bool AsRecord(const StoredValue& value, std::wstring* text) {
    if (value.bytes.size() > 4168) return false;
    std::vector<WCHAR> units(2084, 0);
    memcpy(units.data(), value.bytes.data(), value.bytes.size());
    if (units[2083] != 0) return false;
    *text = units.data();
    return true;
}

// Every value that is a record, in name order.
std::vector<std::wstring> Records(const StoredValues& values) {
    std::vector<std::wstring> records;
    for (const auto& [name, value] : values) {
        std::wstring text;
        if (AsRecord(value, &text)) records.push_back(text);
    }
    return records;
}

// The typed-URL records url1 ... url25 in order, as the module reads them.
std::vector<std::wstring> TypedRecords(const StoredValues& lowered) {
    std::vector<std::wstring> records;
    for (int n = 1; n <= 25; n++) {
        auto found = lowered.find(L"url" + std::to_wstring(n));
        std::wstring text;
        if (found != lowered.end() && AsRecord(found->second, &text)) records.push_back(text);
    }
    return records;
}

std::string Short(const std::wstring& text) {
    std::string utf8 = Utf8(text);
    if (utf8.size() <= 60) return "\"" + utf8 + "\"";
    return "\"" + utf8.substr(0, 50) + "...\" (" + std::to_string(text.size()) + " units)";
}

using Counts = std::map<std::wstring, int>;

Counts CountOf(const std::vector<std::wstring>& texts) {
    Counts counts;
    for (const std::wstring& text : texts)
        counts[text]++;
    return counts;
}

std::vector<std::wstring> RemovedFrom(const Counts& before, const Counts& after) {
    std::vector<std::wstring> removed;
    for (const auto& [text, count] : before) {
        auto found = after.find(text);
        int left = found == after.end() ? 0 : found->second;
        for (int i = left; i < count; i++)
            removed.push_back(text);
    }
    return removed;
}

// "; kept X; lost Y": the first text found more often, and the first found less often, than
// expected.
std::string DescribeDifference(const Counts& expected, const Counts& found) {
    std::vector<std::wstring> kept = RemovedFrom(found, expected);
    std::vector<std::wstring> lost = RemovedFrom(expected, found);
    return (kept.empty() ? std::string() : "; kept " + Short(kept[0])) +
           (lost.empty() ? std::string() : "; lost " + Short(lost[0]));
}

// Every text of an address bar, whole (the frames' own reader stops at 2083 units).
std::vector<std::wstring> FullEntries(HWND addressBar) {
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    std::vector<WCHAR> text(8192);
    for (LRESULT i = 0; i < count; i++) {
        text[0] = 0;
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        SendMessageW(addressBar, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        entries.push_back(text.data());
    }
    return entries;
}

bool CommitCacheEntry(const std::wstring& url, DWORD type, const std::vector<BYTE>& content,
                      const std::wstring& header) {
    WCHAR file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, L"ico", file, 0)) return false;
    if (!WriteFileBytes(file, content)) return false;
    FILETIME never = {};
    std::wstring headerCopy = header;
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, type,
                                headerCopy.empty() ? nullptr : &headerCopy[0],
                                static_cast<DWORD>(headerCopy.size()), nullptr, nullptr) != FALSE;
}

// Cache entries by kind, leaving out the ping's own answers.
struct CacheKinds {
    std::vector<std::wstring> files; // neither cookie nor history
    std::vector<std::wstring> cookies;
    std::vector<std::wstring> history;
};

CacheKinds ListCacheKinds() {
    CacheKinds kinds;
    for (const CacheEntry& entry : ListCacheEntries()) {
        if (entry.name.find(L"/pingd?") != std::wstring::npos) continue;
        if (entry.type & COOKIE_CACHE_ENTRY)
            kinds.cookies.push_back(entry.name);
        else if (entry.type & URLHISTORY_CACHE_ENTRY)
            kinds.history.push_back(entry.name);
        else
            kinds.files.push_back(entry.name);
    }
    std::sort(kinds.files.begin(), kinds.files.end());
    std::sort(kinds.cookies.begin(), kinds.cookies.end());
    std::sort(kinds.history.begin(), kinds.history.end());
    return kinds;
}

// The sections of an ini file by lower-case name, as the profile functions read them.
std::vector<std::wstring> IniSectionNames(const std::wstring& file) {
    std::vector<WCHAR> buffer(1 << 16);
    DWORD length = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                  file.c_str());
    std::vector<std::wstring> names;
    for (const WCHAR* name = buffer.data(); name < buffer.data() + length && *name;
         name += lstrlenW(name) + 1)
        names.push_back(Lower(name));
    return names;
}

std::wstring IniSection(const std::wstring& file, const std::wstring& section) {
    std::vector<WCHAR> buffer(1 << 20);
    DWORD length = GetPrivateProfileSectionW(section.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file.c_str());
    return std::wstring(buffer.data(), length);
}

// Every section of the visit-history file but "frequentlyVisit", with the lines of each; the
// key "ldfv" of "general", which a clean rewrites, left out.
std::map<std::wstring, std::wstring> KeptVisitSections(const std::wstring& file) {
    std::map<std::wstring, std::wstring> sections;
    for (const std::wstring& name : IniSectionNames(file)) {
        if (name == L"frequentlyvisit") continue;
        std::wstring lines = IniSection(file, name);
        std::wstring kept;
        for (size_t at = 0; at < lines.size();) {
            size_t end = lines.find(L'\0', at);
            if (end == std::wstring::npos) end = lines.size();
            std::wstring line = lines.substr(at, end - at);
            if (name != L"general" || Lower(line.substr(0, 5)) != L"ldfv=") kept += line + L'\n';
            at = end + 1;
        }
        sections[name] = kept;
    }
    return sections;
}

// Everything the rounds write, gone: the stores, their sentinels, the cache.
void ResetStores(const Places& places) {
    ForceDeleteKeyTree(HKEY_CURRENT_USER, TypedUrlsKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, (std::wstring(IeUserKey) + L"\\TypedURLsKept").c_str());
    ForceDeleteKeyTree(HKEY_CURRENT_USER, IntelliFormsKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, ProtectedStorageKey);
    ForceDeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Corvane");
    ForceDeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\AppDataLow\\Corvane");
    ForceDeleteKeyTree(HKEY_LOCAL_MACHINE, OstleMachineKey);
    SHDeleteValueW(HKEY_CURRENT_USER, IeUserKey, L"VelaKept");
    // The profile functions keep files they have read; forget them before the files change.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places.visitFile.c_str());
    DeleteFolderTree(places.dataFolder);
    DeleteFolderTree(places.outsideFolder);
    ClearUrlCache();
}

// ---------------------------------------------------------------------------------------------
// The host's lasting parts: one toolbar with its search box, one site, the history stand-in.

struct Host {
    Places places;
    HostToolbar toolbar{300};
    ComPtr<HostSite> site = HostSite::Make();
    std::unique_ptr<SearchBoxComponent> searchBox;
    std::unique_ptr<HttpListener> listener;
    bool nt6 = IsNt6();
    bool browser = NamedAsBrowser();
    LONG siteReferences = 0; // ours and the search box's, between runs

    Host() {
        toolbar.SetCurrentUser(SiteUser);
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(SiteUser);
        searchBox = std::make_unique<SearchBoxComponent>(site.Get(), toolbar.Window(),
                                                         std::vector<std::wstring>());
        siteReferences = site->RefCount();
    }
};

// ---------------------------------------------------------------------------------------------
// What a fault run does and which calls fail in it.

enum class Scenario { OpenClose, CleanAll, DeleteAddress, AutoClean, DeleteSearch };
const char* const ScenarioNames[] = {"dialog", "clean", "address", "auto", "search"};

struct FaultCase {
    Scenario scenario;
    std::string mode; // "count", "calls", "persistent", "oom" or "protected"
    FaultPlan plan;

    std::string Replay() const {
        std::string text = std::string(NamedAsBrowser() ? "--browser " : "") +
                           "--faults --scenario " + ScenarioNames[static_cast<int>(scenario)] +
                           " --mode " + mode;
        if (!plan.function.empty()) text += " --function " + plan.function;
        if (!plan.persistent || plan.kind == FaultKind::Allocations)
            text += " --k " + std::to_string(plan.first);
        return text;
    }
};

// ---------------------------------------------------------------------------------------------
// One round.

class Round {
public:
    Round(Host& host, const Options& options, long index, unsigned seed,
          const FaultCase* fault = nullptr)
        : host_(host), places_(host.places), options_(options), index_(index),
          content_(seed ^ (0x9E3779B9u * static_cast<unsigned>(index + 1))), fault_(fault) {}

    // The exit code of the round's first failure, or Passed.
    int Run(OnButtonMessageProc* onButtonMessage);
    // ": 2500 address-bar items, 3 rows deleted", for a report of what made a round slow.
    std::string Summary() const;
    // The failable calls the module made in a fault run.
    const FaultTally& Tally() const { return tally_; }

private:
    struct Sentinel {
        HKEY root;
        std::wstring path;
        bool valuesOnly;
        KeyImage image;
    };

    // Seeding
    void SeedIeVersion();
    void SeedTypedUrls();
    void SeedDeletedUrls(const std::wstring& toolbarKey);
    void SeedSettings(const std::wstring& toolbarKey, bool own);
    void SeedIntelliForms();
    void SeedProtectedStorage();
    void SeedOstle();
    void SeedVisitHistory();
    void SeedSharedMemory();
    void SeedUserFiles();
    void SeedCache();
    void SeedFrames();
    void SeedSearchBox();
    void SeedStores(); // the random stores of a hostile round
    void SeedTraces(); // the modest, well-formed traces of a fault run
    void AddSentinelKey(HKEY root, const std::wstring& path);
    void WatchKey(HKEY root, const std::wstring& path, bool valuesOnly = false);
    void WatchFile(const std::wstring& path);

    // Driving
    void InCleanDialog(HWND clean);
    void InScenario(HWND clean);
    void InRecordDialog(HWND records, RecordKind kind);
    void OpenRecords(HWND clean, int linkId);
    void SetCategories(HWND clean, DWORD selection);
    void TakeUntouchedImages();
    void EndFramesAndButtons(OnButtonMessageProc onButtonMessage);

    // Checking
    void CheckRecordChanges(const std::string& store, const std::vector<std::wstring>& before,
                            const std::vector<std::wstring>& after,
                            const std::vector<std::wstring>& mayGo,
                            const std::vector<std::wstring>& mayCome = {});
    void CheckSentinels();
    void CheckCleanedStores();
    void CheckKeyGone(HKEY root, const std::wstring& path, bool deletable, const char* store);
    void CheckKeyUntouched(const KeyImage& before, HKEY root, const std::wstring& path,
                           const char* store);
    void Fail(int code, const std::string& message);
    DWORD ReadDword(const std::wstring& subKey, const WCHAR* name, bool* read);

    Host& host_;
    const Places& places_;
    const Options& options_;
    long index_;
    HostileContent content_;
    int failure_ = Passed;
    int failureLines_ = 0;
    const FaultCase* fault_;
    FaultTally tally_;

    // What was seeded
    int ieMajor_ = 0;
    bool typedDeletable_ = true;
    std::wstring prefixUrl_; // a typed URL of 2083 units whose one-unit-longer twin is in a box
    bool formKeyDeletable_[3] = {true, true, true}; // Storage1, Storage2, SPW
    bool ostleDeletable_ = true;
    bool visitWellFormed_ = false;
    bool historyFails_ = false;
    std::unique_ptr<SharedMemoryBlock> shared_;
    DWORD sharedUser_ = 0;
    bool sharedUserKnown_ = false;
    std::unique_ptr<BrowserFrame> frames_[2];
    size_t boxItems_ = 0;
    size_t rowsDeleted_ = 0;
    ComPtr<TestBrowser> browser_;
    bool honestSearch_ = true;
    std::vector<Sentinel> sentinels_;
    std::vector<std::pair<std::wstring, FileImage>> fileSentinels_;
    bool customIdExisted_ = false;
    StoredValue customId_;

    // Driving
    bool cleanShown_ = false;
    bool interactive_ = false;
    bool cancelled_ = false;
    DWORD interactiveSelection_ = 0;
    std::vector<std::wstring> deletedFull_; // the whole texts of the address rows deleted
    std::vector<std::vector<std::wstring>> addressBatches_; // the row URLs of each deletion
    std::vector<std::wstring> deletedSearchTexts_;
    std::vector<std::wstring> rowFull_;
    int linkWidth_ = 0;
    bool autoExpected_ = false;
    DWORD autoSelection_ = 0;
    LONG historyClearsBefore_ = 0;

    // Images taken after the record dialogs, before any clean
    KeyImage typedImage_, ostleTyped_[2], formImage_[3], psImage_;
    FileImage visitImage_;
    std::map<std::wstring, std::wstring> visitKept_;
    std::wstring psUserSecurity_;
    CacheKinds cacheImage_;
    std::vector<std::wstring> searchImage_;
};

void Round::Fail(int code, const std::string& message) {
    if (failure_ == Passed) failure_ = code;
    if (++failureLines_ <= 12) Report("round %ld: %s (exit %d)\n", index_, message.c_str(), code);
}

// ---- seeding --------------------------------------------------------------------------------

void Round::SeedIeVersion() {
    struct Form {
        const WCHAR* text;
        int major;
    };
    static const Form forms[] = {{L"6.0.2900.5512", 6},
                                 {L"7.0.5730.13", 7},
                                 {L"8.0.6001.18702", 8},
                                 {L"seven", 0},
                                 {L"", 0}};
    unsigned pick = content_.Chance(85) ? content_.Pick(2) : 2 + content_.Pick(4);
    if (pick < 5) {
        const Form& form = forms[pick];
        content_.WriteString(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version",
                             form.text);
        ieMajor_ = form.major;
    } else {
        content_.WriteBrokenValue(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version");
        // A broken value has no point in its first 259 units, or cannot be read: major 0.
        ieMajor_ = 0;
        StoredValues values = ReadStoredValues(IeMachineKey, HKEY_LOCAL_MACHINE);
        std::wstring text;
        const StoredValue& version = values[L"Version"];
        if (version.bytes.size() <= 520 &&
            (version.type == REG_SZ || version.type == REG_DWORD || version.type == REG_BINARY)) {
            std::vector<WCHAR> units(261, 0);
            memcpy(units.data(), version.bytes.data(), version.bytes.size());
            units[259] = 0;
            if (wcschr(units.data(), L'.')) ieMajor_ = _wtoi(units.data());
        }
    }
}

void Round::SeedTypedUrls() {
    UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, TypedUrlsKey);
    int count = content_.Chance(70)   ? static_cast<int>(content_.Pick(26))
                : content_.Chance(80) ? 26 + static_cast<int>(content_.Pick(35))
                                      : 200 + static_cast<int>(content_.Pick(200));
    bool gaps = content_.Chance(30);
    bool broken = content_.Chance(40);
    for (int n = 1; n <= count; n++) {
        if (gaps && content_.Chance(25)) continue;
        std::wstring name = L"url" + std::to_wstring(n);
        if (broken && content_.Chance(15))
            content_.WriteBrokenValue(key.Get(), name);
        else
            content_.WriteString(key.Get(), name, content_.Url());
    }
    if (broken) {
        for (const WCHAR* name : {L"url0", L"url", L"urlx", L"url-1", L"url01", L"url 2"})
            if (content_.Chance(30)) content_.WriteString(key.Get(), name, content_.Url());
        if (content_.Chance(20)) content_.WriteString(key.Get(), L"URL2", content_.Url());
    }
    if (content_.Chance(25)) {
        // A record of exactly 2083 units; its twin one unit longer goes into the address bar.
        prefixUrl_ = content_.UrlOfLength(2083, 77);
        content_.WriteString(key.Get(), L"url" + std::to_wstring(1 + content_.Pick(25)),
                             prefixUrl_);
    }
    if (content_.Chance(15)) {
        bool denied = content_.Chance(50);
        content_.AddSubKeys(HKEY_CURRENT_USER, TypedUrlsKey, 1 + content_.Pick(4), denied);
        typedDeletable_ = !denied;
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IeUserKey) + L"\\TypedURLsKept");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IeUserKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IeUserKey, true);
}

void Round::SeedDeletedUrls(const std::wstring& toolbarKey) {
    std::wstring path = toolbarKey + L"\\DeletedUrls";
    UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
    StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
    std::vector<std::wstring> records = TypedRecords(typed);
    int count = content_.Chance(90) ? static_cast<int>(content_.Pick(30))
                                    : 100 + static_cast<int>(content_.Pick(300));
    for (int i = 0; i < count; i++) {
        std::wstring name = content_.Chance(70)   ? std::to_wstring(content_.Pick(40))
                            : content_.Chance(50) ? content_.Word(12 + content_.Pick(20))
                                                  : content_.Word(1 + content_.Pick(11));
        if (content_.Chance(25))
            content_.WriteBrokenValue(key.Get(), name);
        else if (!records.empty() && content_.Chance(50))
            content_.WriteString(key.Get(), name, records[content_.Pick(records.size())]);
        else
            content_.WriteString(key.Get(), name, content_.Url());
    }
    if (content_.Chance(10)) content_.AddSubKeys(HKEY_CURRENT_USER, path, 2, content_.Chance(50));
    AddSentinelKey(HKEY_CURRENT_USER, toolbarKey + L"\\DeletedUrlsKept");
}

void Round::SeedSettings(const std::wstring& toolbarKey, bool own) {
    UniqueRegKey clean = CreateKey(HKEY_CURRENT_USER, toolbarKey + L"\\HistoryClean");
    for (const WCHAR* name : {L"UserSelect", L"AutoClean"}) {
        unsigned form = content_.Pick(10);
        DWORD number = name[0] == L'U' ? content_.Pick(0x80) | (content_.Chance(10) ? 0x100 : 0)
                       : content_.Chance(70) ? 1
                                             : content_.Pick(3);
        if (form < 6)
            RegSetValueExW(clean.Get(), name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
        else if (form < 9)
            content_.WriteBrokenValue(clean.Get(), name);
        // else: missing
    }
    UniqueRegKey iebar = CreateKey(HKEY_CURRENT_USER, toolbarKey + L"\\iebar");
    DWORD off = 0;
    if (own && options_.pingPort && content_.Chance(30)) {
        if (content_.Chance(50)) content_.WriteBrokenValue(iebar.Get(), L"join");
    } else {
        RegSetValueExW(iebar.Get(), L"join", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), 4);
    }
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, toolbarKey).Get(), L"VelaKept",
                         content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, toolbarKey + L"\\HistoryCleanKept");
    if (own) WatchKey(HKEY_CURRENT_USER, toolbarKey, true);
}

void Round::SeedIntelliForms() {
    static const WCHAR* const names[] = {L"Storage1", L"Storage2", L"SPW"};
    for (int i = 0; i < 3; i++) {
        if (content_.Chance(15)) continue;
        std::wstring path = std::wstring(IntelliFormsKey) + L"\\" + names[i];
        UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
        for (unsigned v = 1 + content_.Pick(6); v > 0; v--) {
            std::vector<BYTE> blob = content_.Bytes(16 + content_.Pick(400));
            RegSetValueExW(key.Get(), content_.Word(40).c_str(), 0, REG_BINARY, blob.data(),
                           static_cast<DWORD>(blob.size()));
        }
        if (content_.Chance(20)) content_.WriteBrokenValue(key.Get(), content_.Word(5));
        if (content_.Chance(20)) {
            bool denied = content_.Chance(50);
            content_.AddSubKeys(HKEY_CURRENT_USER, path, 1 + content_.Pick(3), denied);
            formKeyDeletable_[i] = !denied;
        }
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\Storage3");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IntelliFormsKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IntelliFormsKey, true);
}

void Round::SeedProtectedStorage() {
    if (content_.Chance(5)) return; // no key for this user at all
    UniqueRegKey data = CreateKey(HKEY_CURRENT_USER, places_.psDataKey);
    content_.WriteBrokenValue(data.Get(), content_.Word(6));
    data.Reset();
    bool big = content_.Chance(10);
    int depth =
        big ? 20 + static_cast<int>(content_.Pick(100)) : static_cast<int>(content_.Pick(6));
    int width = big && content_.Chance(50) ? 50 + static_cast<int>(content_.Pick(300))
                                           : static_cast<int>(content_.Pick(6));
    content_.AddTree(HKEY_CURRENT_USER, places_.psDataKey, depth, width, content_.Chance(40));
    if (content_.Chance(30)) content_.Deny(HKEY_CURRENT_USER, places_.psDataKey);

    // Beside it: another subtype, another type, another user, and the keys above it.
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psTypeKey + L"\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psUserKey + L"\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(ProtectedStorageKey) +
                                          L"\\S-1-5-21-1-2-3-500\\Data\\" + ItemType + L"\\" +
                                          ItemType);
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psUserKey).Get(), L"VelaKept",
                         content_.Url());
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psTypeKey).Get(), L"VelaKept",
                         content_.Url());
    if (content_.Chance(30)) {
        std::wstring user = CurrentUserSidString();
        std::wstring sddl = content_.Chance(80) ? L"D:P(A;CI;KA;;;" + user + L")(A;;KR;;;WD)"
                                                : std::wstring(L"D:P");
        SetKeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), sddl.c_str(),
                           DACL_SECURITY_INFORMATION);
    }
    // The user key's values and security, which the cleaner gives back as it found them.
    WatchKey(HKEY_CURRENT_USER, places_.psUserKey, true);
    // Its DACL only: Wine gives a key whose DACL is set a new owner as well.
    psUserSecurity_ =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    WatchKey(HKEY_CURRENT_USER, places_.psTypeKey, true);
}

void Round::SeedOstle() {
    for (const WCHAR* name : {L"TypedURLs", L"IE7TypedURLs"}) {
        std::wstring path = std::wstring(OstleUserKey) + L"\\" + name;
        UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
        content_.WriteString(key.Get(), L"url1", content_.Url());
        if (content_.Chance(20)) content_.WriteBrokenValue(key.Get(), L"url2");
    }
    if (content_.Chance(10)) {
        bool denied = content_.Chance(50);
        content_.AddSubKeys(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\TypedURLs", 2,
                            denied);
        content_.AddSubKeys(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\IE7TypedURLs", 2,
                            denied);
        ostleDeletable_ = !denied;
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\Settings");
    UniqueRegKey hotKeys = CreateKey(HKEY_LOCAL_MACHINE, HotKeysKey);
    content_.WriteString(hotKeys.Get(), L"Clear", content_.Word(3));
    AddSentinelKey(HKEY_LOCAL_MACHINE, std::wstring(OstleMachineKey) + L"\\HotKeysKept");
}

void Round::SeedVisitHistory() {
    unsigned form = content_.Pick(10);
    if (form == 9) return; // no folder
    MakeFolders(places_.visitFolder);
    WriteFileBytes(places_.visitFolder + L"\\visitHistory.ini.bak",
                   content_.Bytes(content_.Pick(3000)));
    WatchFile(places_.visitFolder + L"\\visitHistory.ini.bak");
    if (form == 8) return; // no file
    std::string text;
    auto section = [&](const char* name, unsigned keys) {
        text += std::string("[") + name + "]\r\n";
        for (unsigned k = 0; k < keys; k++)
            text += Utf8(content_.Word(1 + content_.Pick(10))) + "=" +
                    Utf8(content_.Word(content_.Pick(80))) + "\r\n";
    };
    switch (form) {
    case 0:
    case 1:
    case 2:
    case 3: // an ordinary file
        section("general", content_.Pick(5));
        if (form != 3) section("frequentlyVisit", 1 + content_.Pick(20));
        section("recent", content_.Pick(5));
        visitWellFormed_ = true;
        break;
    case 4: // an empty file
        visitWellFormed_ = true;
        break;
    case 5: // megabytes
        while (text.size() < 1000000 + content_.Pick(2000000))
            section(content_.Chance(5) ? "frequentlyVisit" : "bulk", 500);
        break;
    case 6: { // not text
        std::vector<BYTE> junk = content_.Bytes(content_.Pick(100000));
        text.assign(junk.begin(), junk.end());
        break;
    }
    default: // a folder where the file belongs
        MakeFolders(places_.visitFile);
        return;
    }
    WriteFileBytes(places_.visitFile, std::vector<BYTE>(text.begin(), text.end()));
}

void Round::SeedSharedMemory() {
    switch (content_.Pick(6)) {
    case 0:
        return; // no block
    case 1:
        shared_ = std::make_unique<SharedMemoryBlock>(1 + content_.Pick(79));
        break;
    case 2:
        shared_ = std::make_unique<SharedMemoryBlock>(80, SEC_RESERVE);
        return;
    default:
        shared_ = std::make_unique<SharedMemoryBlock>();
        break;
    }
    std::vector<BYTE> bytes = content_.Bytes(80);
    if (content_.Chance(50)) {
        // A small user number, whose folder the toolbar would have.
        DWORD user = content_.Pick(5);
        memcpy(&bytes[ToolbarSharedUserOffset], &user, sizeof(user));
    }
    shared_->WriteBytes(bytes.data(), 80);
    sharedUser_ = shared_->ReadWord(ToolbarSharedUserOffset);
    sharedUserKnown_ = shared_->IsValid();
}

void Round::SeedUserFiles() {
    std::vector<DWORD> users = {0, SiteUser};
    if (sharedUserKnown_) users.push_back(sharedUser_);
    for (DWORD user : users) {
        std::wstring folder = places_.dataFolder + L"\\users\\" + std::to_wstring(user);
        MakeFolders(folder);
        for (const WCHAR* name : {L"tb.ini", L"inc.ini", L"up.ini"}) {
            std::wstring file = folder + L"\\" + name;
            WriteFileBytes(file, content_.Bytes(content_.Pick(2000)));
            WatchFile(file);
        }
    }
    WriteFileBytes(places_.dataFolder + L"\\kept.dat", content_.Bytes(100));
    WatchFile(places_.dataFolder + L"\\kept.dat");
    MakeFolders(places_.outsideFolder);
    WriteFileBytes(places_.outsideFolder + L"\\answer.htm", content_.Bytes(64));
    WatchFile(places_.outsideFolder + L"\\answer.htm");
}

void Round::SeedCache() {
    for (unsigned i = content_.Pick(8); i > 0; i--)
        SeedCacheEntry(
            (L"http://c" + std::to_wstring(i) + L".example/" + content_.Word(8)).c_str());
    for (unsigned i = content_.Pick(5); i > 0; i--)
        SeedCookie((L"Cookie:user@c" + std::to_wstring(i) + L".example/").c_str());
    for (unsigned i = content_.Pick(3); i > 0; i--)
        SeedHistoryEntry((L"Visited: user@http://v" + std::to_wstring(i) + L".example/").c_str());
    if (content_.Chance(15)) {
        // Headers that make records of tens of kilobytes, now and then of a megabyte.
        size_t units = content_.Chance(10) ? 500000 : 8000 + content_.Pick(40000);
        std::wstring header = L"X-Padding: " + std::wstring(units, L'p') + L"\r\n";
        if (content_.Chance(50))
            SeedCacheEntry(L"http://huge.example/page", header);
        else
            SeedCookie(L"Cookie:user@huge.example/", header);
    }
    // Site icons of the typed URLs' hosts: good ones, cut ones, and junk.
    for (unsigned i = content_.Pick(4); i > 0; i--) {
        std::wstring url =
            L"http://h" + std::to_wstring(content_.Pick(40)) + L".example/favicon.ico";
        std::vector<BYTE> icon = SolidIconFileBytes(16, RGB(10, 200, 10));
        if (content_.Chance(30)) icon.resize(content_.Pick(static_cast<unsigned>(icon.size())));
        if (content_.Chance(30)) icon = content_.Bytes(content_.Pick(5000));
        CommitCacheEntry(url, NORMAL_CACHE_ENTRY, icon, std::wstring());
    }
}

void Round::SeedFrames() {
    for (int f = 0; f < 2; f++) {
        if (f == 1 && content_.Chance(40)) break;
        frames_[f] = std::make_unique<BrowserFrame>();
        std::vector<std::wstring> entries;
        unsigned count = content_.Chance(2) ? 1000 + content_.Pick(1500) : content_.Pick(25);
        StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
        std::vector<std::wstring> records = TypedRecords(typed);
        for (unsigned i = 0; i < count; i++) {
            if (!records.empty() && content_.Chance(30))
                entries.push_back(records[content_.Pick(records.size())]);
            else if (count > 100)
                entries.push_back(content_.UrlOfLength(15 + content_.Pick(40), content_.Pick(40)));
            else
                entries.push_back(content_.Url());
        }
        if (!prefixUrl_.empty() && content_.Chance(80)) {
            entries.insert(entries.begin() +
                               content_.Pick(static_cast<unsigned>(entries.size()) + 1),
                           prefixUrl_ + L"z");
            if (content_.Chance(30)) entries.push_back(prefixUrl_);
        }
        if (content_.Chance(10)) entries.push_back(std::wstring(5000, L'w'));
        BrowserFrame::AddEntries(frames_[f]->AddressBar(), entries);
        boxItems_ += entries.size();
    }
    browser_ = TestBrowser::Make(frames_[0]->Window());
    host_.site->SetBrowser(browser_.Get());
}

void Round::SeedSearchBox() {
    std::vector<std::wstring> records;
    for (unsigned i = content_.Pick(15); i > 0; i--) {
        size_t length = content_.Chance(10) ? 255 + content_.Pick(50) : 1 + content_.Pick(30);
        records.push_back(content_.Word(length));
    }
    if (!records.empty() && content_.Chance(20)) records.push_back(records[0]);
    static const SearchListAnswer lies[] = {
        SearchListAnswer::CountTooHigh, SearchListAnswer::CountZero,
        SearchListAnswer::Loop,         SearchListAnswer::NullSentinel,
        SearchListAnswer::OpenEnd,      SearchListAnswer::UnterminatedText};
    honestSearch_ = content_.Chance(70);
    host_.searchBox->SetRecords(records);
    host_.searchBox->SetListAnswer(honestSearch_ ? SearchListAnswer::Honest
                                                 : lies[content_.Pick(6)]);
}

// What a browser of a few days leaves, in every store the module cleans, with the same sentinels
// beside each as the hostile rounds: the same every run, so that the k-th call is the same call.
void Round::SeedTraces() {
    const bool autoScenario = fault_->scenario == Scenario::AutoClean;
    content_.WriteString(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version",
                         L"7.0.5730.13");
    ieMajor_ = 7;

    std::vector<std::wstring> typed;
    UniqueRegKey typedKey = CreateKey(HKEY_CURRENT_USER, TypedUrlsKey);
    for (int n = 1; n <= 6; n++) {
        typed.push_back(L"http://typed" + std::to_wstring(n) + L".example/" + content_.Word(6));
        content_.WriteString(typedKey.Get(), L"url" + std::to_wstring(n), typed.back());
    }
    typedKey.Reset();
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IeUserKey) + L"\\TypedURLsKept");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IeUserKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IeUserKey, true);

    // Two earlier deletions, which NT 6 keeps apart from the typed list.
    UniqueRegKey deleted = CreateKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\DeletedUrls");
    content_.WriteString(deleted.Get(), L"1", typed[4]);
    content_.WriteString(deleted.Get(), L"2", typed[5]);
    deleted.Reset();
    AddSentinelKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\DeletedUrlsKept");

    DWORD all = 0x7F, autoClean = autoScenario ? 1 : 0, join = options_.pingPort ? 1 : 0;
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\HistoryClean").c_str(), L"UserSelect",
                REG_DWORD, &all, sizeof(all));
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\HistoryClean").c_str(), L"AutoClean",
                REG_DWORD, &autoClean, sizeof(autoClean));
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\iebar").c_str(), L"join", REG_DWORD,
                &join, sizeof(join));
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.toolbarKey).Get(), L"VelaKept",
                         content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\HistoryCleanKept");
    WatchKey(HKEY_CURRENT_USER, places_.toolbarKey, true);
    WatchKey(HKEY_CURRENT_USER, places_.otherToolbarKey);

    for (const WCHAR* name : {L"Storage1", L"Storage2", L"SPW"}) {
        UniqueRegKey key =
            CreateKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\" + name);
        std::vector<BYTE> blob = content_.Bytes(64);
        RegSetValueExW(key.Get(), content_.Word(40).c_str(), 0, REG_BINARY, blob.data(),
                       static_cast<DWORD>(blob.size()));
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\Storage3");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IntelliFormsKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IntelliFormsKey, true);

    content_.AddTree(HKEY_CURRENT_USER, places_.psDataKey, 2, 2, false);
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psTypeKey + L"\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psTypeKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, places_.psUserKey, true);
    psUserSecurity_ =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    WatchKey(HKEY_CURRENT_USER, places_.psTypeKey, true);

    for (const WCHAR* name : {L"TypedURLs", L"IE7TypedURLs"})
        content_.WriteString(
            CreateKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\" + name).Get(), L"url1",
            content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\Settings");

    MakeFolders(places_.visitFolder);
    std::string visits = "[general]\r\nshown=1\r\n[frequentlyVisit]\r\nhttp://a.example/=3\r\n"
                         "[recent]\r\nhttp://b.example/=1\r\n";
    WriteFileBytes(places_.visitFile, std::vector<BYTE>(visits.begin(), visits.end()));
    visitWellFormed_ = true;
    WriteFileBytes(places_.visitFolder + L"\\visitHistory.ini.bak", content_.Bytes(200));
    WatchFile(places_.visitFolder + L"\\visitHistory.ini.bak");

    shared_ = std::make_unique<SharedMemoryBlock>();
    std::vector<BYTE> block(80, 0);
    memcpy(&block[ToolbarSharedUserOffset], &SiteUser, sizeof(SiteUser));
    shared_->WriteBytes(block.data(), 80);
    sharedUser_ = SiteUser;
    sharedUserKnown_ = true;
    SeedUserFiles();

    for (int i = 1; i <= 3; i++)
        SeedCacheEntry((L"http://c" + std::to_wstring(i) + L".example/page").c_str());
    for (int i = 1; i <= 2; i++)
        SeedCookie((L"Cookie:user@c" + std::to_wstring(i) + L".example/").c_str());
    SeedHistoryEntry(L"Visited: user@http://v1.example/");

    frames_[0] = std::make_unique<BrowserFrame>();
    std::vector<std::wstring> entries = typed;
    entries.push_back(L"http://other.example/");
    BrowserFrame::AddEntries(frames_[0]->AddressBar(), entries);
    boxItems_ = entries.size();
    browser_ = TestBrowser::Make(frames_[0]->Window());
    host_.site->SetBrowser(browser_.Get());

    host_.searchBox->SetRecords({L"weather", L"train times", L"recipes", L"news"});
    host_.searchBox->SetListAnswer(SearchListAnswer::Honest);
    honestSearch_ = true;
}

// A key no category names, with values of every shape and a sub key, watched byte for byte.
void Round::AddSentinelKey(HKEY root, const std::wstring& path) {
    UniqueRegKey key = CreateKey(root, path);
    content_.WriteString(key.Get(), L"url1", content_.Url());
    content_.WriteBrokenValue(key.Get(), L"url2");
    key.Reset();
    content_.AddSubKeys(root, path, 1, false);
    WatchKey(root, path);
}

void Round::WatchKey(HKEY root, const std::wstring& path, bool valuesOnly) {
    Sentinel sentinel = {root, path, valuesOnly, {}};
    sentinels_.push_back(sentinel);
}

void Round::WatchFile(const std::wstring& path) {
    fileSentinels_.push_back({path, FileImage()});
}

// ---- driving --------------------------------------------------------------------------------

void Round::SetCategories(HWND clean, DWORD selection) {
    for (const CleanCategory& category : CategoryTable)
        CheckDlgButton(clean, category.checkBoxId, (selection & category.bit) ? 1 : 0);
}

void Round::InRecordDialog(HWND records, RecordKind kind) {
    std::vector<Row> rows = Rows(records);
    if (kind == AddressBarRecords) {
        // Rows from the address bar stand for its items in order; rows from the typed URLs
        // hold their records whole.
        std::vector<std::wstring> box = FullEntries(frames_[0]->AddressBar());
        rowFull_.clear();
        for (size_t i = 0; i < rows.size(); i++)
            rowFull_.push_back(box.empty() ? rows[i].url : i < box.size() ? box[i] : L"?");
        if (!box.empty() && box.size() != rows.size() && !fault_)
            Fail(WrongRecordDeleted, "the address-bar box holds " + std::to_string(box.size()) +
                                         " items but the dialog shows " +
                                         std::to_string(rows.size()) + " rows");
        linkWidth_ = MeasureDeleteLinkWidth(records);
    }
    if (fault_) {
        // One record through its row's link: the second, so that a rewrite moves those after it.
        if (!rows.empty()) {
            int row = rows.size() > 1 ? 1 : 0;
            if (kind == AddressBarRecords) {
                addressBatches_.push_back({rows[row].url});
                deletedFull_ = {rows[row].url, rowFull_[row]};
            } else {
                deletedSearchTexts_.push_back(rows[row].text);
            }
            ClickList(records, DeleteLinkPoint(records, row, linkWidth_ ? linkWidth_ : 2));
        }
        PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    for (unsigned links = content_.Pick(3); links > 0 && !rows.empty(); links--) {
        int row = static_cast<int>(content_.Pick(static_cast<unsigned>(rows.size())));
        if (kind == AddressBarRecords) {
            // A row without its item deletes nothing but itself.
            if (rows[row].hasItem) addressBatches_.push_back({rows[row].url});
            deletedFull_.push_back(rowFull_[row]);
            rowFull_.erase(rowFull_.begin() + row);
        } else {
            deletedSearchTexts_.push_back(rows[row].text);
        }
        // A user clicks a row that is in view.
        SendMessageW(ListOf(records), LVM_ENSUREVISIBLE, row, FALSE);
        ClickList(records, DeleteLinkPoint(records, row, linkWidth_ ? linkWidth_ : 2));
        size_t before = rows.size();
        rows = Rows(records);
        if (rows.size() != before - 1)
            Fail(WrongRecordDeleted, "the delete link of row " + std::to_string(row) + " left " +
                                         std::to_string(rows.size()) + " of " +
                                         std::to_string(before) + " rows");
    }
    if (!rows.empty() && content_.Chance(60)) {
        // Each row's deletion is a find through every frame's box, so selecting all of a box of
        // thousands takes minutes under Wine (2,264 rows of 2,277 items: 234 s). No browser's
        // bar holds that many; such a box gets a few ticked rows only.
        bool whole = kind != AddressBarRecords || rows.size() <= 200;
        switch (content_.Pick(3)) {
        case 0:
            if (whole) ClickControl(records, RecordDeleteDialog::SelectAllButtonId);
            break;
        case 1:
            if (whole) ClickControl(records, RecordDeleteDialog::InvertButtonId);
            break;
        default:
            break;
        }
        for (unsigned ticks = content_.Pick(6); ticks > 0; ticks--) {
            int row = static_cast<int>(content_.Pick(static_cast<unsigned>(rows.size())));
            SendMessageW(ListOf(records), LVM_ENSUREVISIBLE, row, FALSE);
            ClickTick(records, row);
        }
        rows = Rows(records);
        std::vector<std::wstring> batch;
        for (size_t i = rows.size(); i-- > 0;) {
            if (!rows[i].ticked) continue;
            if (kind == AddressBarRecords) {
                batch.push_back(rows[i].url);
                deletedFull_.push_back(rowFull_[i]);
            } else {
                deletedSearchTexts_.push_back(rows[i].text);
            }
        }
        if (kind == AddressBarRecords) addressBatches_.push_back(batch);
        ClickControl(records, RecordDeleteDialog::DeleteButtonId);
    }
    PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
}

// The link's own visibility: the dialog itself may not be shown yet when a step runs.
bool LinkShown(HWND clean, int linkId) {
    return (GetWindowLongW(GetDlgItem(clean, linkId), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Round::OpenRecords(HWND clean, int linkId) {
    if (!LinkShown(clean, linkId)) return;
    RecordKind kind = linkId == AddressLinkId ? AddressBarRecords : SearchRecords;
    std::vector<std::wstring> boxes[2];
    for (int f = 0; f < 2; f++)
        if (frames_[f]) boxes[f] = FullEntries(frames_[f]->AddressBar());
    StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
    std::wstring deletedKey = places_.toolbarKey + L"\\DeletedUrls";
    StoredValues deleted = ReadStoredValues(deletedKey.c_str());
    std::vector<std::wstring> searchBefore = host_.searchBox->Records();
    addressBatches_.clear();
    deletedFull_.clear();
    deletedSearchTexts_.clear();

    Step(kind == AddressBarRecords ? "address-bar record dialog" : "search record dialog");
    bool shown = false;
    auto inRecords = [&](HWND records) {
        shown = true;
        InRecordDialog(records, kind);
    };
    WhenDialogShows(kind == AddressBarRecords ? AddressRecordsCaption : SearchRecordsCaption,
                    inRecords);
    ClickControl(clean, linkId);
    CancelDialogSteps();
    rowsDeleted_ += deletedFull_.size() + deletedSearchTexts_.size();
    if (!shown && !fault_) Fail(NoDialogShown, "the record dialog did not open from its link");
    Step("checking the record deletions");
    if (fault_) {
        // A failed call may keep any record, the chosen one too; it may lose or double none.
        if (kind == SearchRecords) {
            CheckRecordChanges("search records", searchBefore, host_.searchBox->Records(),
                               deletedSearchTexts_);
            return;
        }
        for (int f = 0; f < 2; f++)
            if (frames_[f])
                CheckRecordChanges("address bar " + std::to_string(f + 1), boxes[f],
                                   FullEntries(frames_[f]->AddressBar()), deletedFull_);
        StoredValues typedAfter = LowerNamed(ReadStoredValues(TypedUrlsKey));
        if (host_.nt6) {
            if (typedAfter != typed) Fail(WrongRecordDeleted, "the typed-URL list changed on NT 6");
            CheckRecordChanges("DeletedUrls", Records(deleted),
                               Records(ReadStoredValues(deletedKey.c_str())), {}, deletedFull_);
        } else {
            CheckRecordChanges("typed URLs", TypedRecords(typed), TypedRecords(typedAfter),
                               deletedFull_);
            if (ReadStoredValues(deletedKey.c_str()) != deleted)
                Fail(WrongRecordDeleted, "DeletedUrls changed before NT 6");
        }
        return;
    }
    if (kind == SearchRecords) {
        if (!honestSearch_) return;
        std::vector<std::wstring> expected;
        for (const std::wstring& record : searchBefore)
            if (std::find(deletedSearchTexts_.begin(), deletedSearchTexts_.end(), record) ==
                deletedSearchTexts_.end())
                expected.push_back(record);
        if (host_.searchBox->Records() != expected)
            Fail(WrongRecordDeleted,
                 "search records: " + std::to_string(host_.searchBox->Records().size()) +
                     " left, expected " + std::to_string(expected.size()));
        return;
    }

    // The address bars: one entry of each deleted row's URL goes from every box; when no row
    // is left, the clean dialog empties every box. Whatever goes must be a deleted row's text.
    bool emptied = !LinkShown(clean, AddressLinkId);
    for (int f = 0; f < 2; f++) {
        if (!frames_[f]) continue;
        std::vector<std::wstring> after = FullEntries(frames_[f]->AddressBar());
        Counts expected = CountOf(boxes[f]);
        if (emptied) expected.clear();
        // The box's exact search finds no empty text: such an entry is not expected to go.
        for (const auto& batch : addressBatches_)
            for (const std::wstring& url : batch)
                if (!url.empty() && expected[url] > 0) expected[url]--;
        for (auto it = expected.begin(); it != expected.end();)
            it = it->second == 0 ? expected.erase(it) : std::next(it);
        for (const std::wstring& gone : RemovedFrom(CountOf(boxes[f]), CountOf(after)))
            if (!emptied &&
                std::find(deletedFull_.begin(), deletedFull_.end(), gone) == deletedFull_.end())
                Fail(WrongRecordDeleted, "address bar " + std::to_string(f + 1) + ": " +
                                             Short(gone) + " went, but no deleted row was it");
        if (CountOf(after) != expected)
            Fail(WrongRecordDeleted,
                 "address bar " + std::to_string(f + 1) + " holds " + std::to_string(after.size()) +
                     " entries, not those expected" + DescribeDifference(expected, CountOf(after)));
    }

    StoredValues typedAfter = LowerNamed(ReadStoredValues(TypedUrlsKey));
    if (host_.nt6) {
        if (typedAfter != typed) Fail(WrongRecordDeleted, "the typed-URL list changed on NT 6");
        StoredValues deletedAfter = ReadStoredValues(deletedKey.c_str());
        std::vector<std::wstring> before = Records(deleted);
        for (const auto& [name, value] : deleted) {
            // Only names 1 ... 25 are written, and only over values that are records.
            std::wstring text;
            bool numbered = false;
            for (int n = 1; n <= 25 && !numbered; n++)
                numbered = Lower(name) == std::to_wstring(n);
            auto found = deletedAfter.find(name);
            bool kept = found != deletedAfter.end() && found->second == value;
            if ((!numbered || !AsRecord(value, &text)) && !kept)
                Fail(WrongRecordDeleted, "DeletedUrls: value \"" + Utf8(name) +
                                             "\", which is no record the module may rewrite, "
                                             "changed");
        }
        for (const auto& [name, value] : deletedAfter) {
            std::wstring text;
            if (deleted.count(name) && deleted.at(name) == value) continue;
            if (!AsRecord(value, &text)) continue;
            bool old = std::find(before.begin(), before.end(), text) != before.end();
            bool chosen =
                std::find(deletedFull_.begin(), deletedFull_.end(), text) != deletedFull_.end();
            if (!old && !chosen)
                Fail(WrongRecordDeleted,
                     "DeletedUrls lists " + Short(text) + ", which no deleted row was");
        }
        return;
    }

    // Before NT 6: each batch removes one record of each of its URLs from the list, which is
    // stored again in order around the values that are no records.
    std::vector<std::wstring> expected = TypedRecords(typed);
    std::vector<std::wstring> records = expected;
    for (const auto& batch : addressBatches_) {
        if (records.empty()) break; // an empty list is not written at all
        std::vector<std::wstring> unique;
        for (const std::wstring& url : batch)
            if (std::find(unique.begin(), unique.end(), url) == unique.end()) unique.push_back(url);
        for (const std::wstring& url : unique) {
            auto found = std::find(expected.begin(), expected.end(), url);
            if (found != expected.end()) expected.erase(found);
        }
    }
    std::vector<std::wstring> after = TypedRecords(typedAfter);
    for (const std::wstring& gone : RemovedFrom(CountOf(records), CountOf(after)))
        if (std::find(deletedFull_.begin(), deletedFull_.end(), gone) == deletedFull_.end())
            Fail(WrongRecordDeleted,
                 "typed URLs: " + Short(gone) + " went, but no deleted row was it");
    if (after != expected)
        Fail(WrongRecordDeleted, "typed URLs: " + std::to_string(after.size()) +
                                     " records left, expected " + std::to_string(expected.size()) +
                                     DescribeDifference(CountOf(expected), CountOf(after)));
    for (const auto& [name, value] : typed) {
        std::wstring text;
        bool numbered = false;
        for (int n = 1; n <= 25 && !numbered; n++)
            numbered = name == L"url" + std::to_wstring(n);
        if (numbered && AsRecord(value, &text)) continue;
        auto found = typedAfter.find(name);
        if (found == typedAfter.end() || !(found->second == value))
            Fail(WrongRecordDeleted,
                 "typed URLs: value \"" + Utf8(name) + "\", which is no record, changed");
    }
}

void Round::TakeUntouchedImages() {
    typedImage_ = TakeKeyImage(HKEY_CURRENT_USER, TypedUrlsKey);
    ostleTyped_[0] = TakeKeyImage(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\TypedURLs");
    ostleTyped_[1] =
        TakeKeyImage(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\IE7TypedURLs");
    static const WCHAR* const names[] = {L"Storage1", L"Storage2", L"SPW"};
    for (int i = 0; i < 3; i++)
        formImage_[i] =
            TakeKeyImage(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\" + names[i]);
    psImage_ = TakeKeyImage(HKEY_CURRENT_USER, places_.psDataKey);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
    visitImage_ = TakeFileImage(places_.visitFile);
    visitKept_.clear();
    if (visitWellFormed_) visitKept_ = KeptVisitSections(places_.visitFile);
    cacheImage_ = ListCacheKinds();
    searchImage_ = host_.searchBox->Records();
    if (g_history) historyClearsBefore_ = g_history->ClearHistoryCalls();
}

HWND g_progressWindow;

void CALLBACK PressCancel(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (IsWindow(g_progressWindow)) PostMessageW(g_progressWindow, WM_COMMAND, IDCANCEL, 0);
}

// A fault run's user: one scenario's moves, the same every time.
void Round::InScenario(HWND clean) {
    cleanShown_ = true;
    if (fault_->scenario == Scenario::DeleteAddress) OpenRecords(clean, AddressLinkId);
    if (fault_->scenario == Scenario::DeleteSearch) OpenRecords(clean, SearchLinkId);
    Step("clean dialog");
    TakeUntouchedImages();
    if (fault_->scenario == Scenario::CleanAll) {
        interactive_ = true;
        interactiveSelection_ = 0x7F;
        SetCategories(clean, interactiveSelection_);
        Step("interactive clean");
        ClickControl(clean, CleanNowId);
        Step("clean dialog");
    }
    PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
}

void Round::InCleanDialog(HWND clean) {
    if (fault_) return InScenario(clean);
    cleanShown_ = true;
    // The warm-up round goes every way that makes lasting objects: both record dialogs, and a
    // clean under the progress dialog.
    bool warmUp = index_ < 0;
    if (warmUp || content_.Chance(80)) OpenRecords(clean, AddressLinkId);
    if (warmUp || content_.Chance(80)) OpenRecords(clean, SearchLinkId);
    Step("clean dialog");
    TakeUntouchedImages();
    interactive_ = warmUp || content_.Chance(10);
    if (interactive_) {
        interactiveSelection_ = warmUp ? HistoryBit | TemporaryFilesBit : content_.Pick(0x80);
        SetCategories(clean, interactiveSelection_);
        cancelled_ = !warmUp && content_.Chance(20);
        if (cancelled_) {
            // Cancel pressed at some moment of the run: during the first steps, or too late.
            UINT delay = 10 + content_.Pick(900);
            WhenDialogShows(ProgressCaption, [delay](HWND progress) {
                g_progressWindow = progress;
                SetTimer(nullptr, 0, delay, PressCancel);
            });
        }
        Step("interactive clean");
        ClickControl(clean, CleanNowId);
        CancelDialogSteps();
        if (!cancelled_ && (interactiveSelection_ & AddressBarBit))
            for (int f = 0; f < 2; f++)
                if (frames_[f] && SendMessageW(frames_[f]->AddressBar(), CB_GETCOUNT, 0, 0) != 0)
                    Fail(StoreNotEmptied, "address bar " + std::to_string(f + 1) +
                                              " still holds entries after the clean");
    }
    Step("clean dialog");
    SetCategories(clean, content_.Pick(0x80));
    if (content_.Chance(30)) PressButton(clean, AutoCleanCheckBoxId);
    PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
}

DWORD Round::ReadDword(const std::wstring& subKey, const WCHAR* name, bool* read) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    std::wstring path = places_.toolbarKey + L"\\" + subKey;
    *read =
        SHGetValueW(HKEY_CURRENT_USER, path.c_str(), name, nullptr, &value, &size) == ERROR_SUCCESS;
    return *read ? value : 0;
}

// Ends the frames and buttons in one of the orders a browser closes in; returns when the
// automatic clean, if any, has run.
void Round::EndFramesAndButtons(OnButtonMessageProc onButtonMessage) {
    if (fault_) {
        // The browser closes its last frame, then the toolbar ends the button: a clean at once
        // where the automatic clean is armed and offered.
        bool read = false;
        autoSelection_ = ReadDword(L"HistoryClean", L"UserSelect", &read) & 0x7F & ~SearchBit;
        autoExpected_ = fault_->scenario == Scenario::AutoClean && host_.browser && !host_.nt6;
        frames_[0].reset();
        HostInfo info(L"Clear", 300);
        Step("ending the buttons");
        onButtonMessage(info.Get(), 1, ButtonDestroy, 0, 0);
        return;
    }
    // Another program may rewrite the settings meanwhile.
    if (content_.Chance(20)) {
        UniqueRegKey clean = CreateKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\HistoryClean");
        content_.WriteBrokenValue(clean.Get(), content_.Chance(50) ? L"UserSelect" : L"AutoClean");
    }
    bool read = false;
    bool autoClean = ReadDword(L"HistoryClean", L"AutoClean", &read) != 0;
    autoSelection_ = ReadDword(L"HistoryClean", L"UserSelect", &read) & 0x7F;
    autoSelection_ &= ~SearchBit; // the automatic run has no host connection
    bool supported = host_.browser && !host_.nt6 && ieMajor_ <= 7;

    // Frames left when the last button ends: none (the clean runs at once) or two (nothing
    // then; the unload decides again over what is left). One frame would be hooked, and the
    // hook keeps the module loaded for the rest of the process, as a browser's last frame
    // would: that way is left to the tests of the close watcher.
    if (!frames_[1] || content_.Chance(50)) {
        frames_[1].reset();
        frames_[0].reset();
    }
    int open = (frames_[0] ? 1 : 0) + (frames_[1] ? 1 : 0);
    bool bothThroughUnload = open == 2 && content_.Chance(30);
    autoExpected_ = autoClean && supported && !bothThroughUnload;

    HostInfo info(L"Clear", 300);
    Step("ending the buttons");
    onButtonMessage(info.Get(), 2, ButtonDestroy, 0, 0);
    onButtonMessage(info.Get(), 1, ButtonDestroy, 0, 0);
    // Of two, one may stay until the module is unloaded.
    if (!bothThroughUnload) {
        frames_[1].reset();
        if (content_.Chance(50)) frames_[0].reset();
    }
}

// ---- checking -------------------------------------------------------------------------------

// Under failing calls a list may lose only records that mayGo names, and gain only records that
// mayCome names, each once at most: nothing the user did not choose is lost, nothing doubled.
void Round::CheckRecordChanges(const std::string& store, const std::vector<std::wstring>& before,
                               const std::vector<std::wstring>& after,
                               const std::vector<std::wstring>& mayGo,
                               const std::vector<std::wstring>& mayCome) {
    auto named = [](const std::vector<std::wstring>& texts, const std::wstring& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    };
    Counts counts = CountOf(after);
    for (const std::wstring& gone : RemovedFrom(CountOf(before), counts))
        if (!named(mayGo, gone)) Fail(WrongRecordDeleted, store + ": lost " + Short(gone));
    for (const std::wstring& come : RemovedFrom(counts, CountOf(before)))
        if (!named(mayCome, come) || counts[come] > 1)
            Fail(WrongRecordDeleted, store + ": " + Short(come) + " is there " +
                                         std::to_string(counts[come]) + " times");
}

void Round::CheckSentinels() {
    for (const Sentinel& sentinel : sentinels_) {
        if (sentinel.valuesOnly) {
            StoredValues after = ReadStoredValues(sentinel.path.c_str(), sentinel.root);
            if (after != sentinel.image.values)
                Fail(SentinelChanged, Utf8(sentinel.path) + ": its values changed");
            continue;
        }
        std::string difference = CompareKeyImages(
            sentinel.image, TakeKeyImage(sentinel.root, sentinel.path), sentinel.path);
        if (!difference.empty()) Fail(SentinelChanged, difference);
    }
    for (const auto& [path, image] : fileSentinels_) {
        std::string difference = CompareFileImages(image, TakeFileImage(path), path);
        if (!difference.empty()) Fail(SentinelChanged, difference);
    }
    std::wstring psSecurity =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    if (psSecurity != psUserSecurity_)
        Fail(SentinelChanged, "the Protected Storage user key's DACL was \"" +
                                  Utf8(psUserSecurity_) + "\", is \"" + Utf8(psSecurity) + "\"");
    if (customIdExisted_) {
        StoredValues after = ReadStoredValues(IdentityKey, HKEY_LOCAL_MACHINE);
        auto found = after.find(L"Custom_ID2");
        if (found == after.end() || !(found->second == customId_))
            Fail(SentinelChanged, "\"Custom_ID2\" changed");
    }
}

void Round::CheckKeyGone(HKEY root, const std::wstring& path, bool deletable, const char* store) {
    if (deletable && KeyExists(root, path.c_str()))
        Fail(StoreNotEmptied, std::string(store) + ": " + Utf8(path) + " is still there");
}

void Round::CheckKeyUntouched(const KeyImage& before, HKEY root, const std::wstring& path,
                              const char* store) {
    std::string difference = CompareKeyImages(before, TakeKeyImage(root, path), path);
    if (!difference.empty())
        Fail(UntickedStoreChanged, std::string(store) + ", not ticked: " + difference);
}

void Round::CheckCleanedStores() {
    DWORD must = (interactive_ && !cancelled_ ? interactiveSelection_ : 0) |
                 (autoExpected_ ? autoSelection_ : 0);
    DWORD may = must | (cancelled_ ? interactiveSelection_ : 0);
    // A failed call may leave any store as it was.
    if (fault_) must = 0;
    // Stores of categories that change nothing under this browser version.
    if (ieMajor_ != 6 && ieMajor_ != 7) {
        must &= ~(FormDataBit | PasswordsBit);
        may &= ~(FormDataBit | PasswordsBit);
    }

    if (must & AddressBarBit)
        CheckKeyGone(HKEY_CURRENT_USER, TypedUrlsKey, typedDeletable_, "typed URLs");
    if (!(may & AddressBarBit))
        CheckKeyUntouched(typedImage_, HKEY_CURRENT_USER, TypedUrlsKey, "typed URLs");
    // The automatic run also deletes the toolbar's own list of typed URLs for the version.
    bool ostleAuto = autoExpected_ && (autoSelection_ & AddressBarBit);
    int ostleOwn = ieMajor_ >= 7 ? 1 : 0;
    std::wstring ostlePaths[2] = {std::wstring(OstleUserKey) + L"\\TypedURLs",
                                  std::wstring(OstleUserKey) + L"\\IE7TypedURLs"};
    if (ostleAuto && !fault_)
        CheckKeyGone(HKEY_CURRENT_USER, ostlePaths[ostleOwn], ostleDeletable_,
                     "toolbar typed URLs");
    for (int i = 0; i < 2; i++)
        if (!ostleAuto || i != ostleOwn)
            CheckKeyUntouched(ostleTyped_[i], HKEY_CURRENT_USER, ostlePaths[i],
                              "toolbar typed URLs");

    // History: the stand-in's history and the visit-history file.
    bool historyRuns = !historyFails_;
    if ((must & HistoryBit) && historyRuns) {
        if (g_history && g_history->ClearHistoryCalls() == historyClearsBefore_)
            Fail(StoreNotEmptied, "history: ClearHistory was never called");
        if (visitWellFormed_) {
            WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
            std::vector<std::wstring> sections = IniSectionNames(places_.visitFile);
            if (std::find(sections.begin(), sections.end(), L"frequentlyvisit") != sections.end())
                Fail(StoreNotEmptied, "visit history: \"frequentlyVisit\" is still there");
            DWORD stamp = 0;
            if (!GetPrivateProfileStructW(L"general", L"ldfv", &stamp, sizeof(stamp),
                                          places_.visitFile.c_str()))
                Fail(StoreNotEmptied, "visit history: \"ldfv\" was not written");
            // The clean writes "general" when the file has none.
            std::map<std::wstring, std::wstring> expected = visitKept_;
            expected.emplace(L"general", L"");
            if (KeptVisitSections(places_.visitFile) != expected)
                Fail(SentinelChanged, "visit history: sections other than \"frequentlyVisit\" "
                                      "changed");
        }
    }
    if (fault_ && (may & HistoryBit) && visitWellFormed_) {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
        if (KeptVisitSections(places_.visitFile) != visitKept_)
            Fail(SentinelChanged, "visit history: sections other than \"frequentlyVisit\" "
                                  "changed");
    }
    if (!(may & HistoryBit) || !historyRuns) {
        std::string difference =
            CompareFileImages(visitImage_, TakeFileImage(places_.visitFile), places_.visitFile);
        if (!difference.empty())
            Fail(UntickedStoreChanged, "visit history, not cleaned: " + difference);
        if (g_history && g_history->ClearHistoryCalls() != historyClearsBefore_)
            Fail(UntickedStoreChanged, "history: ClearHistory was called, not ticked");
    }

    // Form data and passwords by browser version.
    static const WCHAR* const formNames[] = {L"Storage1", L"Storage2", L"SPW"};
    bool formCleaned[3] = {ieMajor_ == 7 && (must & FormDataBit),
                           ieMajor_ == 7 && (must & PasswordsBit),
                           ieMajor_ == 6 && (must & PasswordsBit)};
    bool formMay[3] = {ieMajor_ == 7 && (may & FormDataBit), ieMajor_ == 7 && (may & PasswordsBit),
                       ieMajor_ == 6 && (may & PasswordsBit)};
    for (int i = 0; i < 3; i++) {
        std::wstring path = std::wstring(IntelliFormsKey) + L"\\" + formNames[i];
        if (formCleaned[i])
            CheckKeyGone(HKEY_CURRENT_USER, path, formKeyDeletable_[i], "IntelliForms");
        if (!formMay[i]) CheckKeyUntouched(formImage_[i], HKEY_CURRENT_USER, path, "IntelliForms");
    }
    if (ieMajor_ == 6 && (must & FormDataBit))
        CheckKeyGone(HKEY_CURRENT_USER, places_.psDataKey, true, "Protected Storage");
    if (ieMajor_ != 6 || !(may & FormDataBit))
        CheckKeyUntouched(psImage_, HKEY_CURRENT_USER, places_.psDataKey, "Protected Storage");

    // Search records: only the interactive run has the host connection.
    bool searchMust = interactive_ && !cancelled_ && !fault_ && (interactiveSelection_ & SearchBit);
    bool searchMay = interactive_ && (interactiveSelection_ & SearchBit);
    if (searchMust && !host_.searchBox->Records().empty())
        Fail(StoreNotEmptied,
             "search records: " + std::to_string(host_.searchBox->Records().size()) + " left");
    if (!searchMay && host_.searchBox->Records() != searchImage_)
        Fail(UntickedStoreChanged, "search records changed, not ticked");

    CacheKinds cache = ListCacheKinds();
    if ((must & TemporaryFilesBit) && !cache.files.empty())
        Fail(StoreNotEmptied, "temporary files: " + std::to_string(cache.files.size()) +
                                  " entries left, the first " + Short(cache.files[0]));
    if ((must & CookiesBit) && !cache.cookies.empty())
        Fail(StoreNotEmptied, "cookies: " + std::to_string(cache.cookies.size()) +
                                  " left, the first " + Short(cache.cookies[0]));
    if (!(may & TemporaryFilesBit) && cache.files != cacheImage_.files)
        Fail(UntickedStoreChanged, "temporary files changed, not ticked");
    if (!(may & CookiesBit) && cache.cookies != cacheImage_.cookies)
        Fail(UntickedStoreChanged, "cookies changed, not ticked");
    if (cache.history != cacheImage_.history)
        Fail(UntickedStoreChanged, "the cache's history entries changed");
}

// ---- the round ------------------------------------------------------------------------------

std::string Round::Summary() const {
    return ": " + std::to_string(boxItems_) + " address-bar items, " +
           std::to_string(rowsDeleted_) + " rows deleted";
}

void Round::SeedStores() {
    Step("seeding the registry");
    SeedIeVersion();
    SeedTypedUrls();
    SeedDeletedUrls(places_.toolbarKey);
    SeedDeletedUrls(places_.otherToolbarKey);
    SeedSettings(places_.toolbarKey, true);
    SeedSettings(places_.otherToolbarKey, false);
    // The other system's toolbar key, which the module never uses here, stays as it is whole.
    WatchKey(HKEY_CURRENT_USER, places_.otherToolbarKey);
    SeedIntelliForms();
    SeedProtectedStorage();
    SeedOstle();
    Step("seeding the files and the cache");
    SeedVisitHistory();
    SeedSharedMemory();
    SeedUserFiles();
    SeedCache();
    Step("seeding the windows");
    SeedFrames();
    SeedSearchBox();
    historyFails_ = g_history && content_.Chance(10);
    if (g_history) g_history->FailCreation(historyFails_ ? E_OUTOFMEMORY : S_OK);
}

int Round::Run(OnButtonMessageProc* onButtonMessage) {
    // A run that failed may have left references behind: each run is counted on its own.
    host_.siteReferences = host_.site->RefCount();
    Step("emptying the stores");
    ResetStores(places_);
    host_.site->ClearCalls();
    if (fault_) {
        Step("seeding the traces");
        SeedTraces();
    } else {
        SeedStores();
    }
    StoredValues identity = ReadStoredValues(IdentityKey, HKEY_LOCAL_MACHINE);
    customIdExisted_ = identity.count(L"Custom_ID2") != 0;
    if (customIdExisted_) customId_ = identity[L"Custom_ID2"];
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
    Step("taking the sentinels' images");
    for (Sentinel& sentinel : sentinels_) {
        if (sentinel.valuesOnly)
            sentinel.image.values = ReadStoredValues(sentinel.path.c_str(), sentinel.root);
        else
            sentinel.image = TakeKeyImage(sentinel.root, sentinel.path);
    }
    for (auto& [path, image] : fileSentinels_)
        image = TakeFileImage(path);
    // A failed call may keep every dialog from opening: what stays untouched then is all of it.
    if (fault_) TakeUntouchedImages();

    Step("loading the module");
    HMODULE module = LoadButtonModule(onButtonMessage, options_.dll);
    if (!module) return ModuleNotLoaded;
    if (!*onButtonMessage) return ExportMissing;
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    g_moduleStart = base;
    g_moduleEnd = base + headers->OptionalHeader.SizeOfImage;
    OnButtonMessageProc send = *onButtonMessage;
    if (fault_) {
        if (InstallImportFaults(module) <= 0) return TestbedNotBuilt;
        SetFaultPlan(fault_->plan);
    }

    Step("creating the buttons");
    HostInfo info(L"Clear", 300);
    LONG buttons = fault_ ? 1 : 1 + static_cast<LONG>(content_.Pick(2));
    for (LONG id = 1; id <= buttons; id++)
        send(info.Get(), id, content_.Chance(50) ? ButtonCreateAndShow : ButtonCreate,
             host_.site->AsWParam(), 0);
    for (unsigned extra = fault_ ? 0 : content_.Pick(4); extra > 0; extra--) {
        static const LONG messages[] = {ButtonUserChanged, ButtonFilesChanged, ButtonVisibility,
                                        ButtonMessageTwelve};
        send(info.Get(), 1 + static_cast<LONG>(content_.Pick(buttons)), messages[content_.Pick(4)],
             content_.Pick(2), 0);
    }

    if (!fault_ || fault_->scenario != Scenario::AutoClean) {
        Step("pressing the button");
        WhenDialogShows(CleanCaption, [this](HWND clean) { InCleanDialog(clean); });
        send(info.Get(), 1, ButtonPressed, 0, 0);
        CancelDialogSteps();
        // A failed call may keep the dialog from opening at all.
        if (!cleanShown_ && !fault_) Fail(NoDialogShown, "the clean dialog did not open");
    }

    EndFramesAndButtons(send);
    for (const WCHAR* caption :
         {CleanCaption, AddressRecordsCaption, SearchRecordsCaption, ProgressCaption})
        if (HWND left = FindThreadDialog(caption)) {
            Fail(ModuleWindowLeft, "the dialog \"" + Utf8(caption) + "\" is still there");
            DestroyWindow(left);
        }
    Step("unloading the module");
    *onButtonMessage = nullptr;
    FreeLibrary(module);
    // A ping still under way keeps the module until its thread ends, which the platform's own
    // time-outs bound when the endpoint or the connection stalls: wait up to 100 s for it.
    WCHAR path[MAX_PATH] = {};
    DWORD unloadStart = GetTickCount();
    while (GetModuleFileNameW(module, path, MAX_PATH) && GetTickCount() - unloadStart < 100000)
        Sleep(50);
    DWORD unloadMs = GetTickCount() - unloadStart;
    if (GetModuleFileNameW(module, path, MAX_PATH)) {
        Report("requests the endpoint has read: %zu\n",
               host_.listener ? host_.listener->RequestLines().size() : 0);
        ReportModuleStacks();
        Fail(ModuleStayedLoaded, "the module is still loaded 100 s after FreeLibrary");
    } else if (unloadMs > 10000) {
        Report("round %ld: the module went %lu s after FreeLibrary (a ping under way)\n", index_,
               static_cast<unsigned long>(unloadMs / 1000));
    }
    frames_[0].reset();
    frames_[1].reset();
    g_moduleStart = g_moduleEnd = nullptr;
    if (fault_) {
        tally_ = TakeFaultTally();
        SetFaultPlan(FaultPlan());
    }

    Step("checking the stores");
    CheckSentinels();
    CheckCleanedStores();
    host_.site->SetBrowser(nullptr);
    if (browser_ && browser_->RefCount() != 1)
        Fail(ReferencesLeaked, "the browser holds " + std::to_string(browser_->RefCount()) +
                                   " references, expected 1");
    if (host_.site->RefCount() != host_.siteReferences)
        Fail(ReferencesLeaked, "the site holds " + std::to_string(host_.site->RefCount()) +
                                   " references, expected " + std::to_string(host_.siteReferences));
    if (!HeapValidate(GetProcessHeap(), 0, nullptr))
        Fail(HeapDamaged, "the process heap does not validate");
    shared_.reset();
    return failure_;
}

// ---------------------------------------------------------------------------------------------
// The run

ResourceSnapshot QuietSnapshot() {
    FinishPainting();
    return TakeResourceSnapshot();
}

// What a round must leave as it found: handles by type, GDI objects, the thread's windows.
int CountProcessThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) count++;
    CloseHandle(snapshot);
    return count;
}

struct Resources {
    HandleCounts handles;
    int gdiObjects = 0;
    int windows = 0;
    int threads = 0;
    bool operator==(const Resources& other) const {
        return handles == other.handles && gdiObjects == other.gdiObjects &&
               windows == other.windows && threads == other.threads;
    }
};

Resources TakeResources() {
    ResourceSnapshot snapshot = QuietSnapshot();
    return {HandleCensus(), snapshot.gdiObjects, snapshot.threadWindows, CountProcessThreads()};
}

// Threads of the system's own that a download left may hold handles for some seconds: handle
// and thread counts that differ are read again for a while before they count as a leak.
Resources SettledResources(const Resources& expected) {
    Resources now = TakeResources();
    for (int tries = 0;
         tries < 25 && (now.handles != expected.handles || now.threads != expected.threads);
         tries++) {
        Sleep(200);
        now = TakeResources();
    }
    return now;
}

std::string DescribeResources(const Resources& expected, const Resources& now,
                              const std::map<uintptr_t, DWORD>& expectedObjects) {
    char counts[160];
    snprintf(counts, sizeof(counts),
             "%d GDI objects, expected %d; %d windows, expected %d; %d threads, expected %d",
             now.gdiObjects, expected.gdiObjects, now.windows, expected.windows, now.threads,
             expected.threads);
    std::string handles = DescribeCensusDifference(expected.handles, now.handles);
    std::string objects = DescribeGdiDifference(expectedObjects, LiveGdiObjects());
    return "handles " + (handles.empty() ? std::string("as expected") : handles) + "; " + counts +
           (objects.empty() ? std::string() : "\n" + objects.substr(0, objects.size() - 1));
}

HandleCounts Plus(HandleCounts counts, const HandleCounts& added) {
    for (const auto& [type, count] : added)
        counts[type] += count;
    return counts;
}

// The handles that loading and unloading the module file leaves behind by itself, whatever it
// is asked to do: its static runtime (winpthreads) keeps a thread object for the thread that
// loaded it. Measured on a second load, after the first has loaded what stays for the process.
HandleCounts HandlesKeptPerLoad(const std::wstring& dll) {
    HandleCounts before;
    for (int load = 0; load < 2; load++) {
        before = HandleCensus();
        if (HMODULE module = LoadLibraryW(dll.c_str())) FreeLibrary(module);
    }
    HandleCounts after = HandleCensus();
    HandleCounts kept;
    for (const auto& [type, count] : after) {
        auto found = before.find(type);
        int change = count - (found == before.end() ? 0 : found->second);
        if (change) kept[type] = change;
    }
    return kept;
}

// ---------------------------------------------------------------------------------------------
// The fault runs

// The traces of every fault run come from this seed, so that the k-th call is the same call.
const unsigned FaultTraceSeed = 20261209;

int RunFaultCase(Host& host, const Options& options, const FaultCase& fault, long number,
                 FaultTally* tally) {
    snprintf(g_faultReplay, sizeof(g_faultReplay), "%s", fault.Replay().c_str());
    g_progress.round = number;
    OnButtonMessageProc onButtonMessage = nullptr;
    Round round(host, options, 0, FaultTraceSeed, &fault);
    int code = round.Run(&onButtonMessage);
    // A thread the module left running past its unload would crash once the slow endpoint
    // answers: give it that long inside the run.
    if (options.pingDelayMs) {
        Step("waiting for the endpoint's answer");
        Sleep(options.pingDelayMs + 2000);
    }
    g_progress.started = 0;
    if (code != Passed)
        Report("run %ld failed, first failed call %s: replay with %s\n", number,
               round.Tally().firstFailure.empty() ? "none" : round.Tally().firstFailure.c_str(),
               g_faultReplay);
    g_faultReplay[0] = 0;
    if (tally) *tally = round.Tally();
    return code;
}

// Counts each chosen scenario's failable calls in a run without failures, which must pass, then
// makes the runs of the chosen modes: every k, every function the scenario calls, every first
// failing allocation, the protected profile.
int RunFaults(Host& host, const Options& options) {
    if (!options.function.empty() && !IsFailableImport(options.function)) {
        Report("\"%s\" is no import the fault runs can make fail\n", options.function.c_str());
        return BadArguments;
    }
    auto wants = [&](const char* mode) { return options.mode.empty() || options.mode == mode; };
    std::vector<FaultCase> cases;
    for (int s = 0; s < static_cast<int>(std::size(ScenarioNames)); s++) {
        if (!options.scenario.empty() && options.scenario != ScenarioNames[s]) continue;
        auto scenario = static_cast<Scenario>(s);
        FaultCase count = {scenario, "count", {FaultKind::None, options.function}};
        FaultTally tally;
        if (int code = RunFaultCase(host, options, count, -1, &tally)) return code;
        Report("%s: %ld failable calls%s, %ld allocations, %zu functions\n", ScenarioNames[s],
               tally.calls, options.function.empty() ? "" : (" of " + options.function).c_str(),
               tally.allocations, tally.functions.size());
        auto addEveryK = [&](const char* mode, FaultKind kind, long total, bool persistent) {
            for (long k = options.k ? options.k : 1; k <= (options.k ? options.k : total); k++)
                cases.push_back({scenario, mode, {kind, options.function, k, persistent}});
        };
        if (wants("calls")) addEveryK("calls", FaultKind::Calls, tally.calls, false);
        if (wants("persistent"))
            for (const std::string& function : tally.functions)
                cases.push_back({scenario, "persistent", {FaultKind::Calls, function, 1, true}});
        if (wants("oom") && options.function.empty())
            addEveryK("oom", FaultKind::Allocations, tally.allocations, true);
        if (wants("protected") && options.function.empty())
            cases.push_back({scenario, "protected", {FaultKind::Protected, "", 0, false}});
    }
    if (cases.empty()) {
        Report("no fault run matches the scenario and mode asked for\n");
        return BadArguments;
    }
    if (options.sample > 0 && options.sample < static_cast<long>(cases.size())) {
        std::mt19937 random(options.seed);
        std::shuffle(cases.begin(), cases.end(), random);
        cases.resize(options.sample);
    }
    Report("%zu fault runs\n", cases.size());
    int result = Passed;
    long failed = 0;
    DWORD start = GetTickCount();
    for (size_t i = std::max(0L, options.first); i < cases.size(); i++) {
        if (int code = RunFaultCase(host, options, cases[i], static_cast<long>(i), nullptr)) {
            failed++;
            if (result == Passed) result = code;
            if (!options.keepGoing) break;
        }
        if ((i + 1) % 100 == 0)
            Report("%zu runs in %lu s\n", i + 1,
                   static_cast<unsigned long>((GetTickCount() - start) / 1000));
    }
    Report("fault runs: %zu, failed %ld, in %lu s\n", cases.size(), failed,
           static_cast<unsigned long>((GetTickCount() - start) / 1000));
    return result;
}

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

    if (options.faults) {
        int result = RunFaults(host, options);
        g_progress.started = 0;
        ResetStores(host.places);
        RestoreMachineState();
        Report("exit %d\n", result);
        return result;
    }
    HandleCounts perLoad = HandlesKeptPerLoad(options.dll);
    if (!perLoad.empty())
        Report("the module file keeps handles at each load and unload by itself: %s\n",
               DescribeCensusDifference(HandleCounts(), perLoad).c_str());
    int result = Passed;
    DWORD start = GetTickCount();
    // A warm-up round first: what lives for the process is made there.
    auto runRound = [&](long index) {
        g_progress.round = index;
        OnButtonMessageProc onButtonMessage = nullptr;
        Round one(host, options, index, options.seed);
        DWORD roundStart = GetTickCount();
        int code = one.Run(&onButtonMessage);
        g_progress.started = 0;
        DWORD took = GetTickCount() - roundStart;
        if (took > 10000)
            Report("round %ld took %lu s%s\n", index, static_cast<unsigned long>(took / 1000),
                   one.Summary().c_str());
        if (code != Passed) ReportWhere("failed");
        return code;
    };
    int ownThreads = CountProcessThreads();
    result = runRound(-1);
    // The count starts when the threads of the system that the warm-up's downloads used are gone.
    for (int tries = 0; tries < 50 && CountProcessThreads() > ownThreads; tries++)
        Sleep(200);
    // What the system reads once per process and keeps open: the mouse settings the list view
    // and the link labels ask for, and the display DC cache (see GrowDisplayDcCache).
    UINT setting = 0;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &setting, 0);
    SystemParametersInfoW(SPI_GETMOUSEHOVERWIDTH, 0, &setting, 0);
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &setting, 0);
    GetDoubleClickTime();
    GrowDisplayDcCache();
    Resources baseline = TakeResources();
    std::map<uintptr_t, DWORD> baselineObjects = LiveGdiObjects();
    long end = options.first + options.rounds;
    int deferred = 0;
    for (long round = options.first; result == Passed && round < end; round++) {
        long index = options.repeat ? options.first : round;
        result = runRound(index);
        if (result != Passed) break;
        baseline.handles = Plus(baseline.handles, perLoad);
        Step("counting handles and GDI objects");
        Resources now = TakeResources();
        // A download's threads of the system still at work: the count is made after a later
        // round, when they have gone, rather than waited for here.
        if (now.threads > baseline.threads && round + 1 < end && deferred < 20) {
            deferred++;
            continue;
        }
        deferred = 0;
        if (!(now == baseline)) now = SettledResources(baseline);
        // Something new held: the platform may have filled a cache of its own, once for the
        // process, or the round leaked. A leak comes again when the round does.
        for (int again = 0; again < 2 && !(now == baseline) && result == Passed; again++) {
            Report("round %ld: %s; the round runs again\n", index,
                   DescribeResources(baseline, now, baselineObjects).c_str());
            baseline = now;
            baselineObjects = LiveGdiObjects();
            result = runRound(index);
            baseline.handles = Plus(baseline.handles, perLoad);
            now = SettledResources(baseline);
        }
        if (result == Passed && !(now == baseline)) {
            result = now.handles != baseline.handles || now.threads != baseline.threads
                         ? HandlesLeaked
                     : now.gdiObjects != baseline.gdiObjects ? GdiObjectsLeaked
                                                             : WindowsLeaked;
            Report("round %ld leaks: %s\n", index,
                   DescribeResources(baseline, now, baselineObjects).c_str());
            ReportWhere("leak");
            break;
        }
        baseline = now;
        long done = round - options.first + 1;
        if (done % 100 == 0)
            Report("%ld rounds in %lu s\n", done,
                   static_cast<unsigned long>((GetTickCount() - start) / 1000));
    }
    g_progress.started = 0;
    if (options.times)
        for (const auto& [name, ms] : g_stepTimes)
            Report("  %-32s %7lu ms\n", name.c_str(), static_cast<unsigned long>(ms));
    Report("%ld rounds took %lu s\n", options.rounds,
           static_cast<unsigned long>((GetTickCount() - start) / 1000));
    ResetStores(host.places);
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
               "[--ping-port N] [--ping-delay N] [--seed N]\n");
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
