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

void ReportModuleFile(BenchReport& report, const std::wstring& path) {
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
    report.facts.push_back({"VelaClear.dll file size", FileBytes(path), "bytes"});
    report.facts.push_back(
        {"VelaClear.dll mapped sections (without debug)", LoadedSectionBytes(image), "bytes"});
    report.facts.push_back({"VelaClear.dll SizeOfImage",
                            static_cast<double>(image.OptionalHeader().SizeOfImage), "bytes"});
    report.facts.push_back({"VelaClear.dll imported DLLs", static_cast<double>(dlls.size()), ""});
    report.facts.push_back(
        {"VelaClear.dll imported functions", static_cast<double>(functions), ""});
    report.facts.push_back(
        {"VelaClear.dll delay-loaded functions", static_cast<double>(delayedFunctions), ""});
    for (const PeImportedDll& dll : dlls)
        report.facts.push_back({"VelaClear.dll imports from " + dll.dllName,
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

} // namespace

void RunModuleLoadBench(BenchReport& report, bool quick) {
    std::wstring modulePath = PathBesideProgram(L"VelaClear.dll");
    ReportModuleFile(report, modulePath);
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

    BrowserFrame frame;
    ComPtr<TestBrowser> browser = TestBrowser::Make(frame.Window());
    HostToolbar toolbar{300};
    HostInfo info(L"Clear", 300);
    int repetitions = quick ? 3 : 40;
    int stayedLoaded = 0;
    // The first round pays for what the process keeps (the loader's caches of the imports).
    for (int rep = -1; rep < repetitions; rep++) {
        ComPtr<HostSite> site = HostSite::Make();
        site->SetBrowser(browser.Get());
        site->SetToolbarWindow(toolbar.Window());

        Stopwatch timer;
        HMODULE module = LoadLibraryW(modulePath.c_str());
        double loaded = timer.ElapsedMicroseconds();
        auto onButtonMessage = reinterpret_cast<OnButtonMessageProc>(
            reinterpret_cast<void*>(GetProcAddress(module, "OnButtonMessage")));
        if (!onButtonMessage) {
            report.problems.push_back("VelaClear.dll did not load or has no OnButtonMessage");
            if (module) FreeLibrary(module);
            break;
        }
        onButtonMessage(info.Get(), 1, ButtonCreate, site->AsWParam(), 0);
        double created = timer.ElapsedMicroseconds();
        onButtonMessage(info.Get(), 1, ButtonDestroy, 0, 0);
        double destroyed = timer.ElapsedMicroseconds();
        FreeLibrary(module);
        double freed = timer.ElapsedMicroseconds();
        if (GetModuleHandleW(modulePath.c_str())) stayedLoaded++;

        double referenceUs = 0;
        if (!reference.empty()) {
            timer.Restart();
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
        figure.moduleUs.Add(freed);
        figure.baselineUs.Add(referenceUs);
        figure.Phase("module: LoadLibraryW").Add(loaded);
        figure.Phase("module: message 1 (button created)").Add(created - loaded);
        figure.Phase("module: message 21 (button destroyed)").Add(destroyed - created);
        figure.Phase("module: FreeLibrary").Add(freed - destroyed);
    }
    figure.note = stayedLoaded ? std::to_string(stayedLoaded) + " rounds left the module loaded"
                               : "the module was unloaded after every round";
}
