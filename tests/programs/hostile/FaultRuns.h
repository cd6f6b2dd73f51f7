// The fault runs (--faults): the module's calls made to fail while it goes through one scenario.
#pragma once

#include "programs/hostile/Round.h"

namespace hostile {

// Counts each chosen scenario's failable calls, then makes the runs of the chosen modes; the
// exit code of the first failed run, or Passed.
int RunFaults(Host& host, const Options& options);

} // namespace hostile
