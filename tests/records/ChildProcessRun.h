// Runs some of this test program's own tests in a new process, for behaviour a process reads
// once at its start (the visual-style state, which DLLs may load).
#pragma once

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

#include "ProgramRun.h"

using ChildRun = ProgramRun;

// The tests matching filter, disabled ones included, with extra environment variables.
ChildRun RunOwnTestsInNewProcess(const std::string& filter,
                                 const std::vector<std::pair<std::wstring, std::wstring>>& env);
// The environment variable a child run is started with, telling its tests what to expect; empty
// in an ordinary run.
constexpr wchar_t ChildModeVariable[] = L"VELA_RECORDS_CHILD";
std::wstring ChildMode();
