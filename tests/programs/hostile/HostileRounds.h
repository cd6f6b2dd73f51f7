// The hostile-store rounds: a warm-up round, then round after round with the handles, GDI
// objects, windows and threads counted after each.
#pragma once

#include "programs/hostile/Round.h"

namespace hostile {

// The exit code of the first failed round or leak, or Passed.
int RunHostileRounds(Host& host, const Options& options);

} // namespace hostile
