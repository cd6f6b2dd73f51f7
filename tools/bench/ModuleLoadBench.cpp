#include "tools/bench/ModuleLoadBench.h"

#include <windows.h>
#include <shlwapi.h>
#include <cmath>
#include <string>
#include <vector>

#include "host/ButtonHost.h"
#include "testbed/BrowserFrame.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/PeImage.h"
#include "testbed/TestBrowser.h"
#include "testbed/ButtonModule.h"

namespace {

// System DLLs the benchmark itself does not load; the one nearest the module's image size is
// the reference.
const WCHAR* const ReferenceCandidates[] = {L"jscript.dll",  L"vbscript.dll", L"msxml3.dll",
                                            L"riched20.dll", L"dbghelp.dll",  L"mlang.dll",
                                            L"msi.dll",      L"hhctrl.ocx"};

std::wstring InSystemFolder(const WCHAR* fileName) {
    WCHAR path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    PathAppendW(path, fileName);
    return path;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (WCHAR c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

double FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<double>(data.nFileSizeLow);
}

// Bytes of the sections the loader maps (debug sections are discardable and stay on disk).
double LoadedSectionBytes(const PeImage& image) {
    double bytes = 0;
    for (const IMAGE_SECTION_HEADER& section : image.Sections()) {
        if (!(section.Characteristics & IMAGE_SCN_MEM_DISCARDABLE)) bytes += section.SizeOfRawData;
    }
    return bytes;
}

// Size and imports of a module file; label names it in the facts ("VelaClear.dll", ...).
void ReportModuleFile(BenchReport& report, const std::string& label, const std::wstring& path) {
    PeImage image;
    if (!image.Load(path)) {
        report.problems.push_back("cannot read " + Narrow(path) + ": " + image.Error());
        return;
    }
    std::vector<PeImportedDll> dlls;
    std::vector<PeImportedDll> delayed;
    image.ReadImports(&dlls);
    image.ReadDelayImports(&delayed);
    size_t functions = 0;
    for (const PeImportedDll& dll : dlls)
        functions += dll.functions.size();
    size_t delayedFunctions = 0;
    for (const PeImportedDll& dll : delayed)
        delayedFunctions += dll.functions.size();
    report.facts.push_back({label + " file size", FileBytes(path), "bytes"});
    report.facts.push_back(
        {label + " mapped sections (without debug)", LoadedSectionBytes(image), "bytes"});
    report.facts.push_back(
        {label + " SizeOfImage", static_cast<double>(image.OptionalHeader().SizeOfImage), "bytes"});
    report.facts.push_back({label + " imported DLLs", static_cast<double>(dlls.size()), ""});
    report.facts.push_back({label + " imported functions", static_cast<double>(functions), ""});
    report.facts.push_back(
        {label + " delay-loaded functions", static_cast<double>(delayedFunctions), ""});
    for (const PeImportedDll& dll : dlls)
        report.facts.push_back({label + " imports from " + dll.dllName,
                                static_cast<double>(dll.functions.size()), "functions"});
}

// The system DLL not loaded yet whose image size is nearest the module's.
std::wstring PickReference(DWORD moduleImageSize, DWORD* referenceImageSize) {
    std::wstring best;
    double bestDistance = 0;
    for (const WCHAR* name : ReferenceCandidates) {
        if (GetModuleHandleW(name)) continue;
        PeImage image;
        if (!image.Load(InSystemFolder(name))) continue;
        DWORD size = image.OptionalHeader().SizeOfImage;
        double distance = std::fabs(std::log(static_cast<double>(size) / moduleImageSize));
        if (best.empty() || distance < bestDistance) {
            best = name;
            bestDistance = distance;
            *referenceImageSize = size;
        }
    }
    return best;
}

// What a host does with a button module, timed in its four phases: load the file, create a
// button (message 1, with a site that has a browser and a toolbar), end it (message 21) and
// free the file.
struct LoadPhases {
    double loaded = 0;
    double created = 0;
    double destroyed = 0;
    double freed = 0;
    bool stayedLoaded = false;
};

class ButtonHostRound {
public:
    ButtonHostRound() : browser_(TestBrowser::Make(frame_.Window())) {}

    // False when the module does not load or has no export.
    bool Run(const std::wstring& path, LoadPhases* phases) {
        ComPtr<HostSite> site = HostSite::Make();
        site->SetBrowser(browser_.Get());
        site->SetToolbarWindow(toolbar_.Window());

        Stopwatch timer;
        HMODULE module = LoadLibraryW(path.c_str());
        phases->loaded = timer.ElapsedMicroseconds();
        auto onButtonMessage = reinterpret_cast<OnButtonMessageProc>(
            reinterpret_cast<void*>(GetProcAddress(module, "OnButtonMessage")));
        if (!onButtonMessage) {
            if (module) FreeLibrary(module);
            return false;
        }
        onButtonMessage(info_.Get(), 1, ButtonCreate, site->AsWParam(), 0);
        phases->created = timer.ElapsedMicroseconds();
        onButtonMessage(info_.Get(), 1, ButtonDestroy, 0, 0);
        phases->destroyed = timer.ElapsedMicroseconds();
        FreeLibrary(module);
        phases->freed = timer.ElapsedMicroseconds();
        phases->stayedLoaded = GetModuleHandleW(path.c_str()) != nullptr;
        return true;
    }

private:
    BrowserFrame frame_;
    ComPtr<TestBrowser> browser_;
    HostToolbar toolbar_{300};
    HostInfo info_{L"Clear", 300};
};

void AddPhases(Figure& figure, const std::string& side, const LoadPhases& phases) {
    figure.Phase(side + ": LoadLibraryW").Add(phases.loaded);
    figure.Phase(side + ": message 1 (button created)").Add(phases.created - phases.loaded);
    figure.Phase(side + ": message 21 (button destroyed)").Add(phases.destroyed - phases.created);
    figure.Phase(side + ": FreeLibrary").Add(phases.freed - phases.destroyed);
}

// The test build's DLL against loading and freeing a system DLL of about its image size.
void RunTestBuildFigure(BenchReport& report, int repetitions) {
    std::wstring modulePath = PathBesideProgram(L"VelaClear.dll");
    ReportModuleFile(report, "VelaClear.dll", modulePath);
    PeImage moduleImage;
    moduleImage.Load(modulePath);
    DWORD referenceSize = 0;
    std::wstring reference =
        PickReference(moduleImage.OptionalHeader().SizeOfImage, &referenceSize);
    if (reference.empty()) report.problems.push_back("no reference system DLL to load");

    Figure& figure = report.Add(
        "VelaClear.dll load + message 1 + 21 + free",
        "LoadLibraryW, OnButtonMessage 1 (create, site with browser), 21 (destroy), FreeLibrary",
        "LoadLibraryW + FreeLibrary of " + Narrow(reference) +
            " (a reference, not a like-for-like "
            "baseline)");
    report.facts.push_back({"reference " + Narrow(reference) + " SizeOfImage",
                            static_cast<double>(referenceSize), "bytes"});

    ButtonHostRound round;
    int stayedLoaded = 0;
    // The first round pays for what the process keeps (the loader's caches of the imports).
    for (int rep = -1; rep < repetitions; rep++) {
        LoadPhases phases;
        if (!round.Run(modulePath, &phases)) {
            report.problems.push_back("VelaClear.dll did not load or has no OnButtonMessage");
            break;
        }
        stayedLoaded += phases.stayedLoaded;

        double referenceUs = 0;
        if (!reference.empty()) {
            Stopwatch timer;
            HMODULE system = LoadLibraryW(reference.c_str());
            double systemLoaded = timer.ElapsedMicroseconds();
            if (system) FreeLibrary(system);
            referenceUs = timer.ElapsedMicroseconds();
            if (rep >= 0) {
                figure.Phase("reference: LoadLibraryW").Add(systemLoaded);
                figure.Phase("reference: FreeLibrary").Add(referenceUs - systemLoaded);
            }
        }
        if (rep < 0) continue;
        figure.moduleUs.Add(phases.freed);
        figure.baselineUs.Add(referenceUs);
        AddPhases(figure, "module", phases);
    }
    figure.note = stayedLoaded ? std::to_string(stayedLoaded) + " rounds left the module loaded"
                               : "the module was unloaded after every round";
}

// The released DLL against its like-for-like baseline: a DLL of the same build with the same
// imports and manifest whose export does nothing, loaded, driven and freed the same way. The
// two alternate within each repetition.
void RunReleaseFigure(BenchReport& report, int repetitions, const std::wstring& releasePath,
                      const std::wstring& baselinePath) {
    ReportModuleFile(report, "release VelaClear.dll", releasePath);
    ReportModuleFile(report, "release LoadBaseline.dll", baselinePath);
    Figure& figure =
        report.Add("release DLL load + message 1 + 21 + free",
                   "the released DLL: LoadLibraryW, OnButtonMessage 1, 21, FreeLibrary",
                   "the same with LoadBaseline.dll (same build, imports and manifest; "
                   "an export that does nothing)");
    ButtonHostRound round;
    int stayedLoaded = 0;
    for (int rep = -1; rep < repetitions; rep++) {
        LoadPhases module;
        LoadPhases baseline;
        if (!round.Run(releasePath, &module) || !round.Run(baselinePath, &baseline)) {
            report.problems.push_back("the release DLL or its baseline did not load");
            break;
        }
        stayedLoaded += module.stayedLoaded;
        if (rep < 0) continue;
        figure.moduleUs.Add(module.freed);
        figure.baselineUs.Add(baseline.freed);
        AddPhases(figure, "module", module);
        AddPhases(figure, "baseline", baseline);
    }
    figure.note = stayedLoaded ? std::to_string(stayedLoaded) + " rounds left the module loaded"
                               : "the module was unloaded after every round";
}

} // namespace

void RunModuleLoadBench(BenchReport& report, bool quick, const std::wstring& releasePath,
                        const std::wstring& baselinePath) {
    int repetitions = quick ? 3 : 40;
    RunTestBuildFigure(report, repetitions);
    if (!releasePath.empty()) RunReleaseFigure(report, repetitions, releasePath, baselinePath);
}
