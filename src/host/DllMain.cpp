#include "host/Module.h"

namespace __gnu_cxx {
// Frees what the static C++ runtime allocated for the process: the emergency pool that
// exception objects fall back on when the heap is full (about 18.5 KB, allocated when the
// runtime starts). The runtime itself never frees it, since a process image keeps it until the
// process ends.
void __freeres();
} // namespace __gnu_cxx

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    // A FreeLibrary that unloads the module (reserved is null) must give back what its load took,
    // or a host that loads the module per window loses the pool each time. No exception is thrown
    // after this point: every thread of the module holds a reference on it, so none is in its
    // code any more, and the static objects' destructors that run next throw nothing. At process
    // exit the memory goes with the process.
    if (reason == DLL_PROCESS_DETACH && !reserved) __gnu_cxx::__freeres();
    return TRUE;
}
