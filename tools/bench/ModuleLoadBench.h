// The module file itself: its size and import table, and what loading it and creating its
// button costs a host, against loading and freeing a system DLL of about its size.
#pragma once

#include "tools/bench/BenchReport.h"

void RunModuleLoadBench(BenchReport& report, bool quick);
