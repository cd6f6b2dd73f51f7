// Opening the record deletion dialog in address-bar mode with 25 typed URLs, each with a page
// title in the URL history and a site icon in the URL cache, against the bare look-ups the
// dialog makes for them.
#pragma once

#include "tools/bench/BenchReport.h"

void RunRecordDialogBench(BenchReport& report, bool quick);
