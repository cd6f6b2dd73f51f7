#include "host/Module.h"

HMODULE AddModuleReference() {
    HINSTANCE self = ModuleInstance();
    if (!self || self == GetModuleHandleW(nullptr)) return nullptr;
    WCHAR path[MAX_PATH] = {};
    if (!GetModuleFileNameW(self, path, MAX_PATH)) return nullptr;
    return LoadLibraryW(path);
}

void ReleaseModuleReference(HMODULE module) {
    if (module) FreeLibrary(module);
}

void ExitThreadReleasingModule(HMODULE module, DWORD exitCode) {
    if (module) FreeLibraryAndExitThread(module, exitCode);
}
