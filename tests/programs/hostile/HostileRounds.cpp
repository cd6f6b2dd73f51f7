#include "programs/hostile/HostileRounds.h"

#include "testbed/LeakProbes.h"
#include "testbed/ProgramReport.h"
#include "programs/hostile/ResourceChecks.h"
#include "programs/hostile/RunReports.h"

namespace hostile {

int RunHostileRounds(Host& host, const Options& options) {
    HandleCounts perLoad = HandlesKeptPerLoad(options.dll);
    if (!perLoad.empty())
        Report("the module file keeps handles at each load and unload by itself: %s\n",
               DescribeCensusDifference(HandleCounts(), perLoad).c_str());
    int result = Passed;
    DWORD start = GetTickCount();
    // A warm-up round first: what lives for the process is made there.
    auto runRound = [&](long index) {
        g_progress.round = index;
        OnButtonMessageProc onButtonMessage = nullptr;
        Round one(host, options, index, options.seed);
        DWORD roundStart = GetTickCount();
        int code = one.Run(&onButtonMessage);
        g_progress.started = 0;
        DWORD took = GetTickCount() - roundStart;
        if (took > 10000)
            Report("round %ld took %lu s%s\n", index, static_cast<unsigned long>(took / 1000),
                   one.Summary().c_str());
        if (code != Passed) ReportWhere("failed");
        return code;
    };
    int ownThreads = CountProcessThreads();
    result = runRound(-1);
    // The count starts when the threads of the system that the warm-up's downloads used are gone.
    for (int tries = 0; tries < 50 && CountProcessThreads() > ownThreads; tries++)
        Sleep(200);
    MakeLastingObjects();
    Resources baseline = TakeResources();
    std::map<uintptr_t, DWORD> baselineObjects = LiveGdiObjects();
    long end = options.first + options.rounds;
    int deferred = 0;
    for (long round = options.first; result == Passed && round < end; round++) {
        long index = options.repeat ? options.first : round;
        result = runRound(index);
        if (result != Passed) break;
        baseline.handles = Plus(baseline.handles, perLoad);
        Step("counting handles and GDI objects");
        Resources now = TakeResources();
        // A download's threads of the system still at work: the count is made after a later
        // round, when they have gone, rather than waited for here.
        if (now.threads > baseline.threads && round + 1 < end && deferred < 20) {
            deferred++;
            continue;
        }
        deferred = 0;
        if (!(now == baseline)) now = SettledResources(baseline);
        // Something new held: the platform may have filled a cache of its own, once for the
        // process, or the round leaked. A leak comes again when the round does.
        for (int again = 0; again < 2 && !(now == baseline) && result == Passed; again++) {
            Report("round %ld: %s; the round runs again\n", index,
                   DescribeResources(baseline, now, baselineObjects).c_str());
            baseline = now;
            baselineObjects = LiveGdiObjects();
            result = runRound(index);
            baseline.handles = Plus(baseline.handles, perLoad);
            now = SettledResources(baseline);
        }
        if (result == Passed && !(now == baseline)) {
            result = now.handles != baseline.handles || now.threads != baseline.threads
                         ? HandlesLeaked
                     : now.gdiObjects != baseline.gdiObjects ? GdiObjectsLeaked
                                                             : WindowsLeaked;
            Report("round %ld leaks: %s\n", index,
                   DescribeResources(baseline, now, baselineObjects).c_str());
            ReportWhere("leak");
            break;
        }
        baseline = now;
        long done = round - options.first + 1;
        if (done % 100 == 0)
            Report("%ld rounds in %lu s\n", done,
                   static_cast<unsigned long>((GetTickCount() - start) / 1000));
    }
    g_progress.started = 0;
    if (options.times)
        for (const auto& [name, ms] : g_stepTimes)
            Report("  %-32s %7lu ms\n", name.c_str(), static_cast<unsigned long>(ms));
    Report("%ld rounds took %lu s\n", options.rounds,
           static_cast<unsigned long>((GetTickCount() - start) / 1000));
    return result;
}

} // namespace hostile
