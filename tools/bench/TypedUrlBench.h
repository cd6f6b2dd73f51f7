// The typed-URL store's batch deletion of 25 records, on the path before NT 6 (the browser's
// list is rewritten) and from NT 6 on (the "DeletedUrls" list is written), against writing 25
// registry values.
#pragma once

#include "tools/bench/BenchReport.h"

void RunTypedUrlBench(BenchReport& report, bool quick);
