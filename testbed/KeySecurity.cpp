#include "testbed/KeySecurity.h"

#include <sddl.h>
#include <shlwapi.h>
#include <memory>

namespace {

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return std::wstring();
    std::wstring result = text;
    LocalFree(text);
    return result;
}

// The key's security descriptor for `info` in a block of its own, or null.
std::unique_ptr<BYTE[]> ReadKeySecurity(HKEY root, const wchar_t* path, SECURITY_INFORMATION info) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, READ_CONTROL, &key) != ERROR_SUCCESS) return nullptr;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> block;
    if (RegGetKeySecurity(key, info, nullptr, &size) == ERROR_INSUFFICIENT_BUFFER) {
        block.reset(new BYTE[size]());
        if (RegGetKeySecurity(key, info, block.get(), &size) != ERROR_SUCCESS) block.reset();
    }
    RegCloseKey(key);
    return block;
}

void CollectTree(HKEY root, const std::wstring& path, std::vector<std::wstring>* paths) {
    paths->push_back(path);
    for (const std::wstring& name : SubKeyNames(root, path))
        CollectTree(root, path + L"\\" + name, paths);
}

void TakeBackTree(HKEY root, const std::wstring& path, const std::wstring& user) {
    std::wstring sddl = L"O:" + user + L"D:(A;CIOI;KA;;;" + user + L")";
    SetKeySecuritySddl(root, path.c_str(), sddl.c_str(), OWNER_SECURITY_INFORMATION);
    SetKeySecuritySddl(root, path.c_str(), sddl.c_str(), DACL_SECURITY_INFORMATION);
    for (const std::wstring& name : SubKeyNames(root, path))
        TakeBackTree(root, path + L"\\" + name, user);
}

} // namespace

std::vector<std::wstring> SubKeyNames(HKEY root, const std::wstring& path, bool* listable) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    bool opened = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (listable) *listable = opened;
    if (!opened) return names;
    for (DWORD index = 0;; index++) {
        WCHAR name[260] = {};
        DWORD size = 260;
        if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::wstring CurrentUserSidString() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::wstring result;
    if (size) {
        std::unique_ptr<BYTE[]> block(new BYTE[size]());
        if (GetTokenInformation(token, TokenUser, block.get(), size, &size))
            result = SidText(reinterpret_cast<TOKEN_USER*>(block.get())->User.Sid);
    }
    CloseHandle(token);
    return result;
}

std::wstring KeySecuritySddl(HKEY root, const wchar_t* path, SECURITY_INFORMATION info) {
    std::unique_ptr<BYTE[]> descriptor = ReadKeySecurity(root, path, info);
    if (!descriptor) return std::wstring();
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.get(), SDDL_REVISION_1,
                                                              info, &text, nullptr))
        return std::wstring();
    std::wstring result = text;
    LocalFree(text);
    return result;
}

bool SetKeySecuritySddl(HKEY root, const wchar_t* path, const wchar_t* sddl,
                        SECURITY_INFORMATION info) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    REGSAM access = 0;
    if (info & OWNER_SECURITY_INFORMATION) access |= WRITE_OWNER;
    if (info & DACL_SECURITY_INFORMATION) access |= WRITE_DAC;
    HKEY key = nullptr;
    bool done = false;
    if (RegOpenKeyExW(root, path, 0, access, &key) == ERROR_SUCCESS) {
        done = RegSetKeySecurity(key, info, descriptor) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return done;
}

KeyDacl ReadKeyDaclTrustees(HKEY root, const wchar_t* path) {
    KeyDacl result;
    std::unique_ptr<BYTE[]> descriptor = ReadKeySecurity(root, path, DACL_SECURITY_INFORMATION);
    if (!descriptor) return result;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted)) return result;
    result.readable = true;
    result.present = present != FALSE;
    result.null = present && !acl;
    if (!acl) return result;
    for (DWORD index = 0; index < acl->AceCount; index++) {
        void* ace = nullptr;
        if (!GetAce(acl, index, &ace)) continue;
        // Allowed and denied ACEs share this layout: the SID starts at SidStart.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        result.trustees.push_back(SidText(&allowed->SidStart));
    }
    return result;
}

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(root, path, 0, READ_CONTROL, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    // A key that refuses even READ_CONTROL still exists.
    return status != ERROR_FILE_NOT_FOUND;
}

std::vector<std::wstring> ListKeyTree(HKEY root, const wchar_t* path) {
    std::vector<std::wstring> paths;
    if (KeyExists(root, path)) CollectTree(root, path, &paths);
    return paths;
}

bool ForceDeleteKeyTree(HKEY root, const wchar_t* path) {
    if (!KeyExists(root, path)) return true;
    TakeBackTree(root, path, CurrentUserSidString());
    SHDeleteKeyW(root, path);
    return !KeyExists(root, path);
}
