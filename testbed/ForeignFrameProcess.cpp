#include "testbed/ForeignFrameProcess.h"

#include <shlwapi.h>

#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"

namespace {

// The helper is started and torn down within a test; this only bounds a broken helper.
constexpr DWORD HelperWaitMs = 20000;

std::wstring NextTag() {
    static LONG counter = 0;
    WCHAR tag[32] = {};
    wnsprintfW(tag, 32, L"%lu_%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    return tag;
}

} // namespace

std::wstring ForeignFrameObjectName(const std::wstring& tag, const WCHAR* suffix) {
    return L"VelaTestbed_ForeignFrame_" + tag + L"_" + suffix;
}

ForeignFrameProcess::ForeignFrameProcess(const std::vector<std::wstring>& entries) {
    std::wstring tag = NextTag();
    UniqueHandleValue ready(
        CreateEventW(nullptr, TRUE, FALSE, ForeignFrameObjectName(tag, L"Ready").c_str()));
    quit_.Reset(CreateEventW(nullptr, TRUE, FALSE, ForeignFrameObjectName(tag, L"Quit").c_str()));
    if (!ready || !quit_) return;

    std::wstring commandLine = L"\"" + PathBesideProgram(L"ForeignFrame.exe") + L"\" " + tag;
    for (const std::wstring& entry : entries)
        commandLine += L" \"" + entry + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    processId_ = info.dwProcessId;

    HANDLE waits[] = {ready.Get(), process_.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, HelperWaitMs) != WAIT_OBJECT_0) return;
    UniqueHandleValue mapping(
        OpenFileMappingW(FILE_MAP_READ, FALSE, ForeignFrameObjectName(tag, L"Info").c_str()));
    if (!mapping) return;
    UniqueView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(ForeignFrameInfo)));
    if (!view) return;
    const auto* published = static_cast<const ForeignFrameInfo*>(view.Get());
    frame_ = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(published->frame));
    addressBar_ = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(published->addressBar));
}

ForeignFrameProcess::~ForeignFrameProcess() {
    if (quit_) SetEvent(quit_.Get());
    if (process_ && WaitForSingleObject(process_.Get(), HelperWaitMs) != WAIT_OBJECT_0)
        TerminateProcess(process_.Get(), 1);
}

int ForeignFrameProcess::Count() const {
    return static_cast<int>(SendMessageW(addressBar_, CB_GETCOUNT, 0, 0));
}

std::vector<WPARAM> ForeignFrameProcess::Resets() const {
    return BrowserFrame::QueryResets(frame_);
}
