// The module file itself: its size and import table, and what loading it and creating its
// button costs a host. The test build's DLL is timed against loading and freeing a system DLL
// of about its size; the released DLL, when given, against its like-for-like baseline
// (tools/release/LoadBaseline.dll).
#pragma once

#include <string>

#include "tools/bench/BenchReport.h"

void RunModuleLoadBench(BenchReport& report, bool quick, const std::wstring& releasePath,
                        const std::wstring& baselinePath);
