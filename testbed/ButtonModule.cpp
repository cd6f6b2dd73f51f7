#include "testbed/ButtonModule.h"

#include <shlwapi.h>

std::wstring PathBesideProgram(const wchar_t* fileName) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    PathAppendW(path, fileName);
    return path;
}

HMODULE LoadButtonModule(OnButtonMessageProc* onButtonMessage, const std::wstring& path) {
    *onButtonMessage = nullptr;
    HMODULE module = LoadLibraryW(path.c_str());
    if (module)
        *onButtonMessage = reinterpret_cast<OnButtonMessageProc>(
            reinterpret_cast<void*>(GetProcAddress(module, "OnButtonMessage")));
    return module;
}
