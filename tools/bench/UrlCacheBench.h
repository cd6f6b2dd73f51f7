// The URL cache cleaner (CleanTemporaryFiles, CleanCookies) on seeded caches of several sizes,
// against the bare enumerate-and-delete loop and against FreeUrlCacheSpaceW.
#pragma once

#include "tools/bench/BenchReport.h"

void RunUrlCacheBench(BenchReport& report, bool quick);
