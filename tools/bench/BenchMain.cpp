// VelaBench: times the module's costly operations side by side with the platform calls they
// are built on, in one run, and prints the ratios as a table and as JSON.
//
//   VelaBench.exe [--quick | --thorough] [--out FILE.json] [--only cache|dialog|typed|module]
//                 [--release VelaClear.dll --baseline LoadBaseline.dll]
//
// --quick runs few repetitions on small sizes, to check that every figure can be made;
// the default measures URL caches of 1,000 and 5,000 entries; --thorough adds 20,000 entries and
// repeats the large caches more often, for a spread on every size. --release and --baseline add
// the released DLL's load figure against its like-for-like baseline.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <string>

#include "host/Module.h"
#include "tools/bench/BenchReport.h"
#include "tools/bench/ModuleLoadBench.h"
#include "tools/bench/RecordDialogBench.h"
#include "tools/bench/TypedUrlBench.h"
#include "tools/bench/UrlCacheBench.h"

namespace {

struct Options {
    bool quick = false;
    bool thorough = false;
    std::wstring out;
    std::wstring only;
    std::wstring release;
    std::wstring baseline;
};

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
    for (int i = 1; i < argc; i++) {
        std::wstring arg = argv[i];
        if (arg == L"--quick") {
            options->quick = true;
        } else if (arg == L"--thorough") {
            options->thorough = true;
        } else if (arg == L"--out" && i + 1 < argc) {
            options->out = argv[++i];
        } else if (arg == L"--only" && i + 1 < argc) {
            options->only = argv[++i];
        } else if (arg == L"--release" && i + 1 < argc) {
            options->release = argv[++i];
        } else if (arg == L"--baseline" && i + 1 < argc) {
            options->baseline = argv[++i];
        } else {
            return false;
        }
    }
    return options->release.empty() == options->baseline.empty();
}

bool Wanted(const Options& options, const wchar_t* group) {
    return options.only.empty() || options.only == group;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: VelaBench.exe [--quick | --thorough] [--out FILE.json] "
                        "[--only cache|dialog|typed|module] "
                        "[--release VelaClear.dll --baseline LoadBaseline.dll]\n");
        return 2;
    }
    // The module's code and resources are linked into this executable, as in the tests, so the
    // module instance whose dialogs it shows is the executable itself.
    SetModuleInstance(GetModuleHandleW(nullptr));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    BenchReport report;
    report.quick = options.quick;
    Stopwatch total;
    // Cheap figures first, so a slow cache size cannot keep the others from being reported.
    if (Wanted(options, L"module"))
        RunModuleLoadBench(report, options.quick, options.release, options.baseline);
    if (Wanted(options, L"typed")) RunTypedUrlBench(report, options.quick);
    if (Wanted(options, L"dialog")) RunRecordDialogBench(report, options.quick);
    if (Wanted(options, L"cache")) RunUrlCacheBench(report, options.quick, options.thorough);
    report.facts.push_back({"benchmark run time", total.ElapsedMicroseconds() / 1e6, "s"});

    PrintReport(report);
    if (!options.out.empty() && !WriteReportJson(report, options.out)) {
        fprintf(stderr, "cannot write the JSON report\n");
        return 1;
    }
    return report.problems.empty() ? 0 : 1;
}
