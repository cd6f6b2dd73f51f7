#include "programs/hostile/RunOptions.h"

#include <shlwapi.h>

#include <cstdlib>

#include "testbed/ButtonModule.h"
#include "testbed/ProgramReport.h"
#include "testbed/StoreImage.h"

namespace hostile {

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
        } else if (name == L"--concurrency") {
            options->concurrency = true;
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
        } else if (name == L"--threads") {
            options->threads = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--processes") {
            options->processes = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--cycles") {
            options->cycles = wcstol(argv[++i], nullptr, 0);
        } else if (name == L"--parent") {
            options->parent = wcstoul(argv[++i], nullptr, 0);
        } else {
            return false;
        }
    }
    // Round -1 is the warm-up round, which a failure there names.
    return options->rounds >= 0 && options->first >= -1 && options->stepSeconds > 0 &&
           options->threads > 0 && options->threads < 64 && options->processes > 1 &&
           options->processes < 32 && options->cycles > 0;
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

bool StartWithOurOutput(const std::wstring& program, std::wstring commandLine,
                        PROCESS_INFORMATION* process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    return CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, process) != FALSE;
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
    PROCESS_INFORMATION process = {};
    DWORD exitCode = BrowserCopyFailed;
    if (StartWithOurOutput(browser, commandLine, &process)) {
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

} // namespace hostile
