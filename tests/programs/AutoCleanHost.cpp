// A browser process as the module meets it when the browser closes: see AutoCleanHost.h for
// the command line and the report. The test copies this program to "iexplore.exe" so the
// module takes it for the browser. Exit code 0 after a complete run; a set-up failure is
// reported in AutoCleanReport::setupFailure (and as the exit code):
//   2 bad command line, 3 report mapping, 4 window classes, 5 frames, 6 loading the module,
//   7 the export, 8 button creation answered 0, 9 message 21 answered 0, 10 FreeLibrary failed.
#include <windows.h>
#include <shellapi.h>
#include <cwchar>
#include <string>
#include <vector>

#include "host/ButtonHost.h"
#include "programs/AutoCleanHost.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/UrlCacheSeed.h"

namespace {

const WCHAR ToolbarClass[] = L"VelaAutoCleanHostToolbar";
const LONG ButtonId = 5;

enum class EndButtons { BeforeUnload, InDestroy, Never };

struct Options {
    int frames = 1;
    std::wstring frameClass = L"IEFrame";
    EndButtons end = EndButtons::BeforeUnload;
    bool closeSecond = false;
    bool keepFrames = false;
    bool subclassOnTop = false;
};

AutoCleanReport* g_report;
std::wstring g_url;
std::vector<HWND> g_frames;
HMODULE g_module;
OnButtonMessageProc g_onButtonMessage;
HostInfo* g_info;
WNDPROC g_belowOwnSubclass;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void Observe(AutoCleanMoment& moment) {
    moment.reached = 1;
    if (CacheEntryRecordSize(g_url.c_str()) == 0) {
        moment.cleaned = 1;
        SeedCacheEntry(g_url.c_str());
    }
    moment.moduleLoaded = GetModuleHandleW(L"VelaClear.dll") != nullptr;
    HWND frame = g_frames.empty() ? nullptr : g_frames[0];
    if (!frame || !IsWindow(frame)) return;
    moment.frameIsOwn =
        GetWindowLongPtrW(frame, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(FrameProc);
    moment.ownerProperty = GetPropW(frame, AutoCleanOwnerProp) != nullptr;
    moment.procProperty = GetPropW(frame, AutoCleanProcProp) != nullptr;
}

LONG EndButton() {
    LONG answer = g_onButtonMessage(g_info->Get(), ButtonId, ButtonDestroy, 0, 0);
    Observe(g_report->afterEnd);
    return answer;
}

// From here on only the frames' own messages may reach the module's code.
bool Unload() {
    g_onButtonMessage = nullptr;
    BOOL freed = FreeLibrary(g_module);
    Observe(g_report->afterUnload);
    return freed != FALSE;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!g_frames.empty() && window == g_frames[0]) {
        if (message == WM_DESTROY) {
            g_report->destroyMessages++;
            Observe(g_report->frameDestroy);
        } else if (message == WM_NCDESTROY) {
            Observe(g_report->frameNcDestroy);
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// Another add-on's subclass of the first frame, put on top of the close hook.
LRESULT CALLBACK OnTopProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return CallWindowProcW(g_belowOwnSubclass, window, message, wparam, lparam);
}

// The toolbar inside the first frame: it ends the button and unloads the module while the
// frame is being destroyed, after the frame's own WM_DESTROY.
LRESULT CALLBACK ToolbarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY && g_onButtonMessage) {
        EndButton();
        Unload();
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool ParseOptions(int argc, WCHAR** argv, Options* options) {
    for (int i = 3; i < argc; i++) {
        const WCHAR* arg = argv[i];
        if (!wcsncmp(arg, L"--frames=", 9))
            options->frames = _wtoi(arg + 9);
        else if (!wcsncmp(arg, L"--class=", 8))
            options->frameClass = arg + 8;
        else if (!wcscmp(arg, L"--end=before-unload"))
            options->end = EndButtons::BeforeUnload;
        else if (!wcscmp(arg, L"--end=in-destroy"))
            options->end = EndButtons::InDestroy;
        else if (!wcscmp(arg, L"--end=never"))
            options->end = EndButtons::Never;
        else if (!wcscmp(arg, L"--close-second"))
            options->closeSecond = true;
        else if (!wcscmp(arg, L"--keep-frames"))
            options->keepFrames = true;
        else if (!wcscmp(arg, L"--subclass-on-top"))
            options->subclassOnTop = true;
        else
            return false;
    }
    return options->frames >= 0;
}

bool RegisterClasses(const Options& options) {
    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.lpszClassName = options.frameClass.c_str();
    WNDCLASSW toolbarClass = {};
    toolbarClass.lpfnWndProc = ToolbarProc;
    toolbarClass.hInstance = GetModuleHandleW(nullptr);
    toolbarClass.lpszClassName = ToolbarClass;
    return RegisterClassW(&frameClass) && RegisterClassW(&toolbarClass);
}

int Run(const Options& options) {
    if (!RegisterClasses(options)) return 4;
    for (int i = 0; i < options.frames; i++) {
        HWND frame =
            CreateWindowExW(0, options.frameClass.c_str(), L"Browser", WS_OVERLAPPEDWINDOW, 0, 0,
                            400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!frame) return 5;
        g_frames.push_back(frame);
    }
    if (options.end == EndButtons::InDestroy) {
        if (g_frames.empty()) return 5;
        if (!CreateWindowExW(0, ToolbarClass, L"", WS_CHILD, 0, 0, 10, 10, g_frames[0], nullptr,
                             GetModuleHandleW(nullptr), nullptr))
            return 5;
    }

    g_module = LoadButtonModule(&g_onButtonMessage);
    if (!g_module) return 6;
    if (!g_onButtonMessage) return 7;

    // The site outlives the button: a button that is never ended keeps its reference.
    ComPtr<HostSite> site = HostSite::Make();
    HostInfo info(L"Clear", 300);
    g_info = &info;
    if (g_onButtonMessage(info.Get(), ButtonId, ButtonCreate, site->AsWParam(), 0) == 0) return 8;
    Observe(g_report->afterCreate);

    if (options.end == EndButtons::BeforeUnload && EndButton() == 0) return 9;
    if (options.closeSecond && g_frames.size() > 1) DestroyWindow(g_frames[1]);
    if (options.end != EndButtons::InDestroy && !Unload()) return 10;
    if (options.subclassOnTop && !g_frames.empty()) {
        g_belowOwnSubclass = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(g_frames[0], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc)));
    }

    if (!options.keepFrames) {
        for (HWND frame : g_frames) {
            if (IsWindow(frame)) DestroyWindow(frame);
        }
        Observe(g_report->afterDestroyed);
    }
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;

    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, argv[1]);
    if (!mapping) return 3;
    g_report = static_cast<AutoCleanReport*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(AutoCleanReport)));
    if (!g_report) return 3;
    g_url = argv[2];

    Options options;
    int result = ParseOptions(argc, argv, &options) ? Run(options) : 2;
    g_report->setupFailure = result;
    LocalFree(argv);
    return result;
}
