#include "testbed/UrlHistoryStandIn.h"

#include <shlwapi.h>

#include "env/Handles.h"

namespace {

constexpr WCHAR ClassKey[] = L"Software\\Classes\\CLSID\\{3C374A40-BAE4-11CF-BF7D-00AA006946EE}";
constexpr WCHAR ServerKey[] =
    L"Software\\Classes\\CLSID\\{3C374A40-BAE4-11CF-BF7D-00AA006946EE}\\InprocServer32";
constexpr WCHAR StandInFileName[] = L"TestUrlHistory.dll";

bool ReadString(HKEY key, const WCHAR* name, std::wstring* out) {
    WCHAR buffer[MAX_PATH] = {};
    DWORD type = 0, size = sizeof(buffer) - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    *out = buffer;
    return true;
}

bool WriteString(HKEY key, const WCHAR* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

std::wstring StandInPath() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    PathAppendW(path, StandInFileName);
    return path;
}

} // namespace

UrlHistoryStandIn::UrlHistoryStandIn() : dllPath_(StandInPath()) {
    ready_ = Register() && LoadControls();
    if (ready_) reset_();
}

UrlHistoryStandIn::~UrlHistoryStandIn() {
    if (reset_) reset_();
    RestoreRegistration();
    if (module_) FreeLibrary(module_);
}

bool UrlHistoryStandIn::Register() {
    if (GetFileAttributesW(dllPath_.c_str()) == INVALID_FILE_ATTRIBUTES) return false;

    UniqueRegKey classKey;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        classKey.Put(), &disposition) != ERROR_SUCCESS)
        return false;
    classKeyCreated_ = disposition == REG_CREATED_NEW_KEY;

    UniqueRegKey serverKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        serverKey.Put(), &disposition) != ERROR_SUCCESS)
        return false;
    keyExisted_ = disposition == REG_OPENED_EXISTING_KEY;
    hadServer_ = ReadString(serverKey.Get(), nullptr, &server_);
    hadThreadingModel_ = ReadString(serverKey.Get(), L"ThreadingModel", &threadingModel_);
    // A run that died with the stand-in registered left it behind: what was there before it
    // is Wine's own server.
    if (hadServer_ && lstrcmpiW(PathFindFileNameW(server_.c_str()), StandInFileName) == 0) {
        WCHAR system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        PathAppendW(system, L"ieframe.dll");
        server_ = system;
        hadThreadingModel_ = true;
        threadingModel_ = L"Apartment";
    }
    saved_ = true;

    return WriteString(serverKey.Get(), nullptr, dllPath_) &&
           WriteString(serverKey.Get(), L"ThreadingModel", L"Apartment");
}

void UrlHistoryStandIn::RestoreRegistration() {
    if (!saved_) return;
    if (classKeyCreated_) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, ClassKey);
        return;
    }
    if (!keyExisted_) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, ServerKey);
        return;
    }
    UniqueRegKey serverKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServerKey, 0, KEY_ALL_ACCESS, serverKey.Put()) !=
        ERROR_SUCCESS)
        return;
    if (hadServer_)
        WriteString(serverKey.Get(), nullptr, server_);
    else
        RegDeleteValueW(serverKey.Get(), nullptr);
    if (hadThreadingModel_)
        WriteString(serverKey.Get(), L"ThreadingModel", threadingModel_);
    else
        RegDeleteValueW(serverKey.Get(), L"ThreadingModel");
}

bool UrlHistoryStandIn::LoadControls() {
    module_ = LoadLibraryW(dllPath_.c_str());
    if (!module_) return false;
    auto find = [this](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return function != nullptr;
    };
    return find(reset_, "UrlHistoryReset") && find(clearCount_, "UrlHistoryClearCount") &&
           find(queryCount_, "UrlHistoryQueryCount") &&
           find(liveObjects_, "UrlHistoryLiveObjects") && find(urlCount_, "UrlHistoryUrlCount") &&
           find(setTitle_, "UrlHistorySetTitle") && find(hasUrl_, "UrlHistoryHasUrl") &&
           find(setCreateFailure_, "UrlHistorySetCreateFailure") &&
           find(withholdStg2_, "UrlHistoryWithholdStg2") &&
           find(setClearGate_, "UrlHistorySetClearGate");
}
