// The module file itself through a long random session of a host process of its own: 100,000
// button messages with random ids, codes, records and sites, clean dialogs opened and ended
// on the way. The run must end without a crash and with the process's handles, GDI objects
// and windows back where they were (tests/programs/RobustnessHost.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdlib>
#include <string>

#include "ProgramRun.h"
#include "TestSupport.h"
#include "host/HostTestSupport.h"

namespace {

const DWORD HostTimeoutMs = 180000;

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
    ProgramRun run =
        RunProgram(BinPath(L"RobustnessHost.exe"), std::to_wstring(seed), HostTimeoutMs);
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
