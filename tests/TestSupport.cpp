#include "TestSupport.h"

#include <shlwapi.h>

#include "env/ToolbarLocations.h"
#include "testbed/ButtonModule.h"

void DeleteToolbarRegistryState() {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane");
    SHDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\AppDataLow\\Corvane");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane");
}

void TurnUsagePingOff() {
    WriteToolbarDword(L"iebar", L"join", 0);
}

std::wstring BinPath(const wchar_t* fileName) {
    return PathBesideProgram(fileName);
}

std::string Narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    return result;
}
