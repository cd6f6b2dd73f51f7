#include "cleaners/ProtectedStorageCleaner.h"

#include <aclapi.h>
#include <shlwapi.h>
#include <cstdarg>

#include "env/Handles.h"

namespace {

constexpr WCHAR ProtectedStorageKey[] = L"Software\\Microsoft\\Protected Storage System Provider";
// The AutoComplete item type and subtype.
constexpr WCHAR AutoCompleteItems[] =
    L"%s\\Data\\e161255a-37c3-11d2-bcaa-00c04fd929db\\e161255a-37c3-11d2-bcaa-00c04fd929db";

using ConvertSidToStringSidFn = BOOL(WINAPI*)(PSID, LPWSTR*);

// The token's TOKEN_USER record in a LocalAlloc block, or null.
UniqueLocal ReadTokenUser() {
    UniqueHandleValue token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return UniqueLocal();
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return UniqueLocal();
    UniqueLocal user(LocalAlloc(LMEM_ZEROINIT, size));
    if (!user || !GetTokenInformation(token.Get(), TokenUser, user.Get(), size, &size))
        return UniqueLocal();
    return user;
}

PSID UserSid(const UniqueLocal& tokenUser) {
    return static_cast<TOKEN_USER*>(tokenUser.Get())->User.Sid;
}

// ConvertSidToStringSidW is looked up at run time so the module loads where it is missing.
int FormatSid(PSID sid, WCHAR* buffer, int capacity) {
    UniqueModule advapi(LoadLibraryW(L"Advapi32.dll"));
    if (!advapi) return 0;
    auto convert = reinterpret_cast<ConvertSidToStringSidFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi.Get(), "ConvertSidToStringSidW")));
    if (!convert) return 0;
    LPWSTR text = nullptr;
    if (!convert(sid, &text) || !text) return 0;
    lstrcpynW(buffer, text, capacity);
    LocalFree(text);
    return 1;
}

// Formats into a buffer of `capacity` units; false when the text might not fit whole, since
// a cut path names some other key (a parent of the one meant, perhaps).
bool FormatPath(WCHAR* buffer, int capacity, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int length = wvnsprintfW(buffer, capacity, format, args);
    va_end(args);
    return length >= 0 && length < capacity - 1;
}

} // namespace

int GetUserSidString(WCHAR* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    UniqueLocal tokenUser = ReadTokenUser();
    if (!tokenUser) return 0;
    return FormatSid(UserSid(tokenUser), buffer, capacity);
}

int ReadKeyDacl(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR* descriptor) {
    if (!path || !descriptor) return 0;
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path, 0, READ_CONTROL, key.Put()) != ERROR_SUCCESS) return 0;
    DWORD size = 0;
    if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size) !=
        ERROR_INSUFFICIENT_BUFFER)
        return 0;
    UniqueLocal block(LocalAlloc(LMEM_ZEROINIT, size));
    if (!block) return 0;
    if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, block.Get(), &size) !=
        ERROR_SUCCESS)
        return 0;
    *descriptor = block.Release();
    return 1;
}

int BuildUserFullAccess(PSID user, PSECURITY_DESCRIPTOR* descriptor, PACL* acl) {
    *descriptor = nullptr;
    *acl = nullptr;
    if (!user) return 0;

    // The current user, not a group every account belongs to: keys that outlive a failed
    // deletion must not be left open to other accounts.
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = KEY_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(user);
    if (SetEntriesInAclW(1, &access, nullptr, acl) != ERROR_SUCCESS) return 0;

    *descriptor = LocalAlloc(LMEM_ZEROINIT, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!*descriptor) return 0;
    if (!InitializeSecurityDescriptor(*descriptor, SECURITY_DESCRIPTOR_REVISION)) return 0;
    return SetSecurityDescriptorDacl(*descriptor, TRUE, *acl, FALSE) ? 1 : 0;
}

int SetKeyDaclTree(HKEY root, const WCHAR* path, PSECURITY_DESCRIPTOR descriptor, BOOL recursive) {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path, 0, WRITE_DAC, key.Put()) != ERROR_SUCCESS) return 0;
    if (RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor) != ERROR_SUCCESS)
        return 0;
    if (!recursive) return 1;

    // Reopened for listing only now, so a key whose old DACL refused reading can be walked.
    key.Reset();
    if (RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return 1;
    for (DWORD index = 0;; index++) {
        WCHAR name[260] = {};
        DWORD nameSize = 260;
        if (RegEnumKeyExW(key.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        SetKeyDaclTree(key.Get(), name, descriptor, recursive);
    }
    return 1;
}

int CleanProtectedStorage() {
    UniqueLocal tokenUser = ReadTokenUser();
    if (!tokenUser) return 0;
    WCHAR sid[260] = {};
    if (!FormatSid(UserSid(tokenUser), sid, 259)) return 0;

    WCHAR userKey[260] = {};
    WCHAR dataKey[260] = {};
    if (!FormatPath(userKey, 260, L"%s\\%s", ProtectedStorageKey, sid) ||
        !FormatPath(dataKey, 259, AutoCompleteItems, userKey))
        return 0;

    PSECURITY_DESCRIPTOR saved = nullptr;
    ReadKeyDacl(HKEY_CURRENT_USER, userKey, &saved);
    UniqueLocal savedDacl(saved);

    int result = 0;
    {
        PSECURITY_DESCRIPTOR userAccess = nullptr;
        PACL userAcl = nullptr;
        int built = BuildUserFullAccess(UserSid(tokenUser), &userAccess, &userAcl);
        // Declared in this order so the descriptor is freed before its ACL.
        UniqueLocal aclOwner(userAcl);
        UniqueLocal descriptorOwner(userAccess);
        if (built) {
            SetKeyDaclTree(HKEY_CURRENT_USER, dataKey, userAccess, TRUE);
            if (SHDeleteKeyW(HKEY_CURRENT_USER, dataKey) == ERROR_SUCCESS) result = 1;
        }
    }

    if (saved) SetKeyDaclTree(HKEY_CURRENT_USER, userKey, saved, FALSE);
    return result;
}
