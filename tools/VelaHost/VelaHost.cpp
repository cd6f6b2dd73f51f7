// VelaHost: the reference host of VelaClear.dll.
//
//   VelaHost.exe                    the host alone, with whatever traces the machine has
//   VelaHost.exe --demo-traces      seeds demo traces first (a demo machine, not a user's)
//   VelaHost.exe --tour FOLDER      seeds, walks through every dialog without a person, saves
//                                   pictures into FOLDER and prints the traces before and after;
//                                   exits non-zero when a step failed or a trace was left
//   VelaHost.exe --tour -           the same tour without pictures (a display without a screen)
//   VelaHost.exe --dialogs FOLDER SUFFIX
//                                   seeds and pictures only the clean dialog and both record
//                                   dialogs, named with SUFFIX; cleans nothing
#include <windows.h>
#include <cstdio>
#include <memory>

#include "testbed/AddressBarImages.h"
#include "testbed/ButtonModule.h"
#include "testbed/UrlHistoryStandIn.h"
#include "tools/VelaHost/DemoBrowser.h"
#include "tools/VelaHost/DemoTour.h"
#include "tools/VelaHost/DemoTraces.h"
#include "tools/VelaHost/ReferenceHost.h"

namespace {

int Fail(const char* what) {
    fprintf(stderr, "VelaHost: %s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    bool seed = false;
    const wchar_t* tourFolder = nullptr;
    const wchar_t* dialogsSuffix = nullptr;
    for (int i = 1; i < argc; i++) {
        if (lstrcmpW(argv[i], L"--demo-traces") == 0) {
            seed = true;
        } else if (lstrcmpW(argv[i], L"--tour") == 0 && i + 1 < argc) {
            seed = true;
            tourFolder = argv[++i];
        } else if (lstrcmpW(argv[i], L"--dialogs") == 0 && i + 2 < argc) {
            seed = true;
            tourFolder = argv[++i];
            dialogsSuffix = argv[++i];
        } else {
            return Fail(
                "usage: VelaHost [--demo-traces] [--tour FOLDER] [--dialogs FOLDER SUFFIX]");
        }
    }

    OleInitialize(nullptr);
    int result = 0;
    {
        // The browser's URL history, which the demo machine lacks, is the testbed's.
        std::unique_ptr<UrlHistoryStandIn> history;
        if (seed) {
            history.reset(new UrlHistoryStandIn());
            if (!history->IsReady()) return Fail("the URL history stand-in is not available");
        }
        DemoBrowser browser;
        ReferenceHost host(browser.Frame(),
                           seed ? DemoSearchRecords() : std::vector<std::wstring>());
        std::unique_ptr<AddressBarImages> addressBarImages;
        if (seed && !SeedDemoTraces(browser.AddressBar(), *history, &addressBarImages))
            return Fail("seeding the demo traces failed");

        // The toolbar is loaded into a browser that is already on the screen.
        browser.Show();
        std::wstring error;
        if (!host.Start(PathBesideProgram(L"VelaClear.dll").c_str(), &error)) {
            fwprintf(stderr, L"VelaHost: %ls\n", error.c_str());
            return 1;
        }
        if (!tourFolder) return browser.Run();

        TraceCounts before = CountTraces(browser.AddressBar(), host, *history);
        DemoTour tour(browser, host, *history, lstrcmpW(tourFolder, L"-") ? tourFolder : L"");
        if (dialogsSuffix) tour.DialogsOnly(dialogsSuffix);
        tour.Start();
        browser.Run();
        if (!tour.Finish()) {
            fprintf(stderr, "VelaHost: tour failed: %s\n", tour.Failure().c_str());
            result = 1;
        }
        if (result == 0 && !dialogsSuffix) PrintTraceTable(before, tour.After());
        if (result == 0 && !dialogsSuffix && !IsEmpty(tour.After())) {
            fprintf(stderr, "VelaHost: the clean left traces behind\n");
            result = 2;
        }
    }
    OleUninitialize();
    return result;
}
