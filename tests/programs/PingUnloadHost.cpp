// A host that loads the built VelaClear.dll, opens and closes one clean dialog through the
// button and unloads the module at once, while the usage ping of that dialog still waits for
// a slow endpoint. The ping thread must keep the module mapped until it has left its code and
// then give it back; a thread left running in unmapped code would end this process with an
// access violation. Exit code 0 when every step behaved.
//
// With --frame, run as iexplore.exe with the automatic clean armed: a browser frame of this
// process stays open through the unload (a second one, open when the button ends, keeps the
// decision for the module's termination), so the automatic clean runs inside the termination on
// the ping thread, while this thread waits for the module to go. The frame's address bar must
// keep its entry: a message sent to it from there would wait for this thread, which waits for
// the loader lock the ping thread holds.
//
// This host never loads the URL moniker library itself, as a host other than the browser may
// not: WinINet may still call that library back after the download has returned, so it must
// stay loaded when the module that brought it in has gone (exit code 20).
#include <windows.h>

#include <memory>

#include "host/ButtonHost.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/ModalScript.h"

namespace {

const wchar_t CleanCaption[] = L"清理上网痕迹";
const DWORD UnloadWaitMs = 60000;

int Run(bool withFrame) {
    std::unique_ptr<BrowserFrame> frame, second;
    if (withFrame) {
        frame = std::make_unique<BrowserFrame>();
        second = std::make_unique<BrowserFrame>();
        frame->AddEntries({L"http://kept.example/"});
    }
    if (GetModuleHandleW(L"urlmon.dll")) return 9;
    OnButtonMessageProc onButtonMessage = nullptr;
    HMODULE module = LoadButtonModule(&onButtonMessage);
    if (!module) return 10;
    if (!onButtonMessage) return 11;

    {
        ComPtr<HostSite> site = HostSite::Make();
        HostInfo info(L"Clear", 300);
        const LONG id = 9;
        ModalScript driver(CleanCaption, [](HWND dialog) { PressButton(dialog, IDCANCEL); });
        if (onButtonMessage(info.Get(), id, ButtonCreate, site->AsWParam(), 0) != 1) return 12;
        // Returns when the dialog has closed, which starts the ping.
        if (onButtonMessage(info.Get(), id, ButtonPressed, 0, 0) != 1) return 13;
        if (!driver.Finish()) return 14;
        if (onButtonMessage(info.Get(), id, ButtonDestroy, 0, 0) != 1) return 15;
        second.reset();
    }
    if (!FreeLibrary(module)) return 16;
    // The endpoint has not answered yet: the ping thread's reference keeps the module loaded.
    if (!GetModuleHandleW(L"VelaClear.dll")) return 17;
    // Once the answer has come, the thread gives the module back on its way out.
    for (DWORD waited = 0; GetModuleHandleW(L"VelaClear.dll"); waited += 20) {
        if (waited >= UnloadWaitMs) return 18;
        Sleep(20);
    }
    if (frame && frame->Entries().size() != 1) return 19;
    // Without a reference of its own the library goes a moment after the module, once the
    // download's last objects are released.
    Sleep(3000);
    if (!GetModuleHandleW(L"urlmon.dll")) return 20;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return Run(argc > 1 && lstrcmpA(argv[1], "--frame") == 0);
}
