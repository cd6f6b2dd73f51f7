// ForeignFrame.exe <tag> [entry ...]: a browser frame in a process of its own. Publishes its
// window handles in the mapping "..._<tag>_Info", signals "..._<tag>_Ready", then pumps
// messages until "..._<tag>_Quit" is set or the frame is destroyed.
#include <windows.h>
#include <shellapi.h>

#include "testbed/BrowserFrame.h"
#include "testbed/ForeignFrameProcess.h"

int main() {
    int argc = 0;
    UniqueLocal args(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &argc)));
    if (!args || argc < 2) return 2;
    WCHAR** argv = static_cast<WCHAR**>(args.Get());
    std::wstring tag = argv[1];

    UniqueHandleValue ready(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, ForeignFrameObjectName(tag, L"Ready").c_str()));
    UniqueHandleValue quit(
        OpenEventW(SYNCHRONIZE, FALSE, ForeignFrameObjectName(tag, L"Quit").c_str()));
    if (!ready || !quit) return 3;

    BrowserFrame frame;
    if (!frame.Window() || !frame.AddressBar()) return 4;
    std::vector<std::wstring> entries(argv + 2, argv + argc);
    frame.AddEntries(entries);

    UniqueHandleValue mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                 sizeof(ForeignFrameInfo),
                                                 ForeignFrameObjectName(tag, L"Info").c_str()));
    if (!mapping) return 5;
    UniqueView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(ForeignFrameInfo)));
    if (!view) return 5;
    auto* info = static_cast<ForeignFrameInfo*>(view.Get());
    info->frame = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(frame.Window()));
    info->addressBar = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(frame.AddressBar()));
    SetEvent(ready.Get());

    HANDLE waits[] = {quit.Get()};
    while (IsWindow(frame.Window())) {
        DWORD woke = MsgWaitForMultipleObjects(1, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}
