// The load baseline: a DLL like the module in everything the loader sees (the same toolchain,
// flags and static runtime, the same imported functions and the same manifest resource) that
// does nothing. scripts/bench loads, drives and frees it as it does the released module.
#include <windows.h>

#include "host/ButtonHost.h"

// One reference to each import slot of the module (generated from tests/res/imports.txt).
extern void* const* const BaselineImportSlots[];

namespace {

void* const* const* volatile g_importSlots;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Keeps the table, and with it every import, in the linked file.
        g_importSlots = BaselineImportSlots;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" LONG WINAPI OnButtonMessage(const ButtonHostInfo*, LONG, LONG, WPARAM, LPARAM) {
    return 1;
}
