// The URL cache cleaner (CleanTemporaryFiles, CleanCookies) on seeded caches of several sizes,
// against the bare enumerate-and-delete loop and against FreeUrlCacheSpaceW.
#pragma once

#include "tools/bench/BenchReport.h"

// thorough: more repetitions of the large caches (a run of about 16 minutes instead of 9).
void RunUrlCacheBench(BenchReport& report, bool quick, bool thorough);
