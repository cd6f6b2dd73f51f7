#include "host/Module.h"

bool AddModuleReference(HMODULE* reference) {
    *reference = nullptr;
    HINSTANCE self = ModuleInstance();
    if (!self) return false;
    // The process image: GetModuleHandle(nullptr) cannot fail for it.
    if (self == GetModuleHandleW(nullptr)) return true;
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    *reference = LoadLibraryW(path);
    return *reference != nullptr;
}

void ReleaseModuleReference(HMODULE module) {
    if (module) FreeLibrary(module);
}

void ExitThreadReleasingModule(HMODULE module, DWORD exitCode) {
    if (module) FreeLibraryAndExitThread(module, exitCode);
}
