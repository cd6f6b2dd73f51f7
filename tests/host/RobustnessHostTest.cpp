// The module file itself through a long random session of a host process of its own: 100,000
// button messages with random ids, codes, records and sites, clean dialogs opened and ended
// on the way. The run must end without a crash and with the process's handles, GDI objects
// and windows back where they were (tests/programs/RobustnessHost.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "host/HostTestSupport.h"

namespace {

const DWORD HostTimeoutMs = 180000;

struct HostRun {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs the host with the seed, its standard output and error gathered through a pipe.
HostRun RunRobustnessHost(unsigned seed) {
    HostRun run;
    std::wstring program = BinPath(L"RobustnessHost.exe");
    std::wstring commandLine = L"\"" + program + L"\" " + std::to_wstring(seed);

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    run.started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &process) != FALSE;
    CloseHandle(writeEnd);
    if (!run.started) {
        CloseHandle(readEnd);
        return run;
    }
    // Read while the host runs, so that it never blocks on a full pipe; the pipe ends when
    // the host does, also when it is ended for taking too long.
    std::thread reader([&run, readEnd] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            run.output.append(buffer, read);
    });
    run.finished = WaitForSingleObject(process.hProcess, HostTimeoutMs) == WAIT_OBJECT_0;
    if (!run.finished) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    reader.join();
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// VELA_ROBUST_SEED replays a run; otherwise every run tries a new sequence.
unsigned ChooseSeed() {
    char value[32] = {};
    if (GetEnvironmentVariableA("VELA_ROBUST_SEED", value, sizeof(value)) > 0)
        return static_cast<unsigned>(strtoul(value, nullptr, 0));
    return GetTickCount() ^ (GetCurrentProcessId() << 16);
}

class RobustnessHost : public HostTest {};

TEST_F(RobustnessHost, HundredThousandRandomMessagesEndWithoutCrashOrLeak) {
    // The host program runs as the same Windows version in every run of the suite (it has no
    // version of its own), so one run of the suite is enough.
    ONLY_ON(WinVersion::Win7);
    unsigned seed = ChooseSeed();
    HostRun run = RunRobustnessHost(seed);
    ASSERT_TRUE(run.started) << "cannot start RobustnessHost.exe, error " << GetLastError();
    ASSERT_TRUE(run.finished) << "the host did not finish within " << HostTimeoutMs / 1000
                              << " s (seed " << seed << "); its output:\n"
                              << run.output;
    EXPECT_EQ(0u, run.exitCode) << "exit code " << run.exitCode << " (0x" << std::hex
                                << run.exitCode << std::dec << "), seed " << seed
                                << "; replay with VELA_ROBUST_SEED=" << seed
                                << " or RobustnessHost.exe " << seed
                                << "; see the exit codes in tests/programs/RobustnessHost.cpp;"
                                << " its output:\n"
                                << run.output;
}

} // namespace
