// The module file itself, loaded by a host process of its own: a COM failure during button
// creation must not cross the DLL boundary, also on several threads at once, and loading and
// unloading the module must give back what it took (tests/programs/LoadModuleHost.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "ProgramRun.h"
#include "TestSupport.h"

namespace {

TEST(LoadModuleHost, FailingBrowserQueryThroughTheRealDllLeavesTheHostRunning) {
    ProgramRun run = RunProgram(BinPath(L"LoadModuleHost.exe"), L"", 120000);
    ASSERT_TRUE(run.started) << "cannot start LoadModuleHost.exe, error " << GetLastError();
    ASSERT_TRUE(run.finished) << "the host did not finish";
    EXPECT_EQ(0u, run.exitCode) << "exit code " << run.exitCode
                                << "; see the exit codes in tests/programs/LoadModuleHost.cpp";
}

} // namespace
