#include "host/Module.h"

bool AddModuleReference(HMODULE* reference) {
    *reference = nullptr;
    HINSTANCE self = ModuleInstance();
    if (!self) return false;
    // The process image: GetModuleHandle(nullptr) cannot fail for it.
    if (self == GetModuleHandleW(nullptr)) return true;
    // The unit past the buffer stays the terminator of a path cut to MAX_PATH.
    WCHAR path[MAX_PATH + 1] = {};
    if (!GetModuleFileNameW(self, path, MAX_PATH)) return false;
    *reference = LoadLibraryW(path);
    return *reference != nullptr;
}

void ReleaseModuleReference(HMODULE module) {
    if (module) FreeLibrary(module);
}

void ExitThreadReleasingModule(HMODULE module, DWORD exitCode) {
    if (module) FreeLibraryAndExitThread(module, exitCode);
}
