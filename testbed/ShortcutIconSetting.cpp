#include "testbed/ShortcutIconSetting.h"

#include <shlwapi.h>

namespace {

const WCHAR IconKey[] = L"SOFTWARE\\Classes\\InternetShortcut\\DefaultIcon";

} // namespace

ShortcutIconSetting::ShortcutIconSetting(const wchar_t* location) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, IconKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        keyExisted_ = true;
        DWORD size = 0;
        if (RegQueryValueExW(key, nullptr, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            valueExisted_ = RegQueryValueExW(key, nullptr, nullptr, &type_, data_.data(), &size) ==
                            ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, IconKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (location) {
        DWORD size = static_cast<DWORD>((lstrlenW(location) + 1) * sizeof(WCHAR));
        applied_ = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(location),
                                  size) == ERROR_SUCCESS;
    } else {
        LONG status = RegDeleteValueW(key, nullptr);
        applied_ = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    RegCloseKey(key);
}

ShortcutIconSetting::~ShortcutIconSetting() {
    if (!keyExisted_) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, IconKey);
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, IconKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (valueExisted_)
        RegSetValueExW(key, nullptr, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        RegDeleteValueW(key, nullptr);
    RegCloseKey(key);
}
