// The concurrency and repetition runs (--concurrency): browser threads that press their buttons
// at once, interactive cleans at once in one process and in several, and the module loaded and
// unloaded many times.
#pragma once

#include "programs/hostile/Round.h"

namespace hostile {

// Runs the chosen scenario (--scenario threads, cleans, processes or cycles; default all), or
// the part of a copy that a "processes" run started (--parent); the exit code of the first
// failure, or Passed.
int RunConcurrency(Host& host, const Options& options);

} // namespace hostile
