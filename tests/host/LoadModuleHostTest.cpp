// The module file itself, loaded by a host process of its own: a COM failure during button
// creation must not cross the DLL boundary.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "TestSupport.h"

namespace {

TEST(LoadModuleHost, FailingBrowserQueryThroughTheRealDllLeavesTheHostRunning) {
    std::wstring program = BinPath(L"LoadModuleHost.exe");
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process))
        << "cannot start " << Narrow(program) << ", error " << GetLastError();
    CloseHandle(process.hThread);
    DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the host did not finish";
    EXPECT_EQ(0u, exitCode) << "see the exit codes in tests/programs/LoadModuleHost.cpp";
}

} // namespace
