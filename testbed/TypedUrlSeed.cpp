#include "testbed/TypedUrlSeed.h"

#include <shlwapi.h>

const WCHAR TypedUrlsKey[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";

namespace {

const WCHAR* const DeletedUrlsKeys[] = {L"SOFTWARE\\Corvane\\VelaToolbar\\DeletedUrls",
                                        L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar\\DeletedUrls"};

} // namespace

bool SeedTypedUrls(const std::vector<std::wstring>& urls) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, TypedUrlsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    for (size_t i = 0; i < urls.size(); i++) {
        std::wstring name = L"url" + std::to_wstring(i + 1);
        DWORD size = static_cast<DWORD>((urls[i].size() + 1) * sizeof(WCHAR));
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(urls[i].c_str()),
                       size);
    }
    RegCloseKey(key);
    return true;
}

void DeleteTypedUrls() {
    SHDeleteKeyW(HKEY_CURRENT_USER, TypedUrlsKey);
}

std::vector<std::wstring> TypedUrls() {
    return NumberedValues(TypedUrlsKey, L"url");
}

std::vector<std::wstring> NumberedValues(const WCHAR* path, const WCHAR* prefix) {
    std::vector<std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return values;
    for (int i = 1; i <= 25; i++) {
        std::wstring name = prefix + std::to_wstring(i);
        WCHAR data[2100] = {};
        DWORD size = sizeof(data) - sizeof(WCHAR);
        if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                             &size) == ERROR_SUCCESS)
            values.push_back(data);
    }
    RegCloseKey(key);
    return values;
}

std::vector<std::wstring> DeletedUrls() {
    std::vector<std::wstring> all;
    for (const WCHAR* path : DeletedUrlsKeys) {
        std::vector<std::wstring> values = NumberedValues(path, L"");
        all.insert(all.end(), values.begin(), values.end());
    }
    return all;
}

StoredValue StringValue(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(WCHAR))};
}

StoredValues ReadStoredValues(const WCHAR* path, HKEY root) {
    StoredValues values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return values;
    DWORD longestName = 0, largestData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longestName, &largestData, nullptr, nullptr);
    std::vector<WCHAR> name(longestName + 2);
    for (DWORD index = 0;; index++) {
        DWORD nameUnits = static_cast<DWORD>(name.size());
        StoredValue value;
        value.bytes.resize(largestData + 2);
        DWORD size = static_cast<DWORD>(value.bytes.size());
        if (RegEnumValueW(key, index, name.data(), &nameUnits, nullptr, &value.type,
                          value.bytes.data(), &size) != ERROR_SUCCESS)
            break;
        value.bytes.resize(size);
        values[std::wstring(name.data(), nameUnits)] = value;
    }
    RegCloseKey(key);
    return values;
}
