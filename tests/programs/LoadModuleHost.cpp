// A host that loads the built VelaClear.dll from its own folder and drives one button whose
// browser query fails with E_FAIL. The module must answer 0 instead of letting the failure
// leave the DLL, which would end this process. Exit code 0 when every step behaved.
#include <windows.h>

#include "host/ButtonHost.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"

namespace {

int Run() {
    OnButtonMessageProc onButtonMessage = nullptr;
    HMODULE module = LoadButtonModule(&onButtonMessage);
    if (!module) return 10;
    if (!onButtonMessage) return 11;

    int failure = 0;
    {
        ComPtr<HostSite> site = HostSite::Make();
        site->SetBrowserQueryResult(E_FAIL);
        HostInfo info(L"Clear", 300);
        const LONG id = 7;
        LONG refs = site->RefCount();
        if (onButtonMessage(info.Get(), id, ButtonCreate, site->AsWParam(), 0) != 0) failure = 12;
        // Still alive: the button made for that call answers the next one without
        // being created again.
        else if (onButtonMessage(info.Get(), id, ButtonUserChanged, site->AsWParam(), 0) != 1)
            failure = 13;
        else if (site->CountCalls(SiteMethod::QueryInterface) != 1)
            failure = 14;
        else if (onButtonMessage(info.Get(), id, ButtonDestroy, 0, 0) != 1)
            failure = 15;
        else if (site->RefCount() != refs)
            failure = 16;
    }
    if (!FreeLibrary(module)) return failure ? failure : 17;
    return failure;
}

} // namespace

int main() {
    return Run();
}
