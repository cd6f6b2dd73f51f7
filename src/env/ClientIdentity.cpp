#include "env/ClientIdentity.h"

#include <objbase.h>
#include <shlwapi.h>
#include <cwchar>
#include <cstdlib>

#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"

namespace {

constexpr WCHAR IdentityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr WCHAR ClientGuidValue[] = L"Custom_ID2";
constexpr WCHAR OwnerValue[] = L"Owner_ID2";

// Splits a version text at "." and "," into its first four numbers; 0 when fewer come out.
int ParseFourNumbers(WCHAR* text, int numbers[4]) {
    int count = 0;
    for (WCHAR* piece = wcstok(text, L".,"); piece && count < 4; piece = wcstok(nullptr, L".,"))
        numbers[count++] = _wtoi(piece);
    return count == 4;
}

// The client GUID as stored, or, only when "Custom_ID2" does not exist, a new one written as
// it; zeros when neither works. A value that exists but cannot be read into 16 bytes (longer,
// or not readable) gives zeros and is never written over.
void CollectClientGuid(BYTE* guidBytes) {
    BYTE stored[sizeof(GUID)] = {};
    DWORD size = sizeof(stored);
    LONG status =
        SHGetValueW(HKEY_LOCAL_MACHINE, IdentityKey, ClientGuidValue, nullptr, stored, &size);
    if (status == ERROR_SUCCESS) {
        memcpy(guidBytes, stored, sizeof(stored));
        return;
    }
    if (status != ERROR_FILE_NOT_FOUND) return;
    GUID guid = {};
    if (FAILED(CoCreateGuid(&guid))) return;
    SHSetValueW(HKEY_LOCAL_MACHINE, IdentityKey, ClientGuidValue, REG_BINARY, &guid, sizeof(guid));
    memcpy(guidBytes, &guid, sizeof(guid));
}

void CollectToolbarVersion(BYTE* bytes) {
    WCHAR version[64] = {};
    if (!ReadToolbarVersion(version, 64)) return;
    int n[4] = {};
    if (!ParseFourNumbers(version, n)) return;
    bytes[0] = static_cast<BYTE>(((n[0] << 4) | (n[1] & 0x0F)) & 0xFF);
    bytes[1] = static_cast<BYTE>(n[2] & 0xFF);
    bytes[2] = static_cast<BYTE>(n[3] & 0xFF);
}

void CollectLibraryVersion(BYTE* bytes) {
    WCHAR path[MAX_PATH] = {};
    // Without the data folder there is no library to look at; a bare file name would make
    // the version lookup search the DLL path for some other "Toolbar.dll".
    if (!GetToolbarPath(DllsFolder, path, MAX_PATH)) return;
    PathAppendW(path, L"Toolbar.dll");
    WCHAR version[64] = {};
    if (!GetFileVersionString(path, version, 63)) return;
    int n[4] = {};
    if (!ParseFourNumbers(version, n)) return;
    bytes[0] = static_cast<BYTE>(n[2] & 0xFF);
    bytes[1] = static_cast<BYTE>(n[3] & 0xFF);
}

} // namespace

const WCHAR* ClientIdentity::GetIdentityText() {
    if (!text_[0]) {
        if (!collected_) CollectIdentity();
        char encoded[33] = {};
        EncodeIdentity(block_, IdentityBlockSize, encoded, 32);
        MultiByteToWideChar(GetACP(), 0, encoded, -1, text_, 128);
    }
    return text_;
}

void ClientIdentity::CollectIdentity() {
    memset(block_, 0, sizeof(block_));
    block_[19] = 2;
    CollectClientGuid(block_);
    block_[20] = GetOsVersionCode();
    CollectToolbarVersion(block_ + 16);
    CollectLibraryVersion(block_ + 22);

    // Read as two bytes whatever its type; the outcome is not looked at and only the low
    // byte goes into the block.
    WORD owner = 0;
    DWORD size = sizeof(owner);
    SHGetValueW(HKEY_LOCAL_MACHINE, IdentityKey, OwnerValue, nullptr, &owner, &size);
    block_[21] = LOBYTE(owner);
    collected_ = TRUE;
}

int EncodeIdentity(const BYTE* data, int length, char* output, int capacity) {
    if (!data || !output || length < 0 || length % 3 != 0) return 0;
    if (capacity < length / 3 * 4) return 0;
    for (int i = 0; i < length; i += 3) {
        BYTE b0 = data[i], b1 = data[i + 1], b2 = data[i + 2];
        *output++ = IdentityAlphabet[b0 >> 2];
        *output++ = IdentityAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        *output++ = IdentityAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)];
        *output++ = IdentityAlphabet[b2 & 0x3F];
    }
    return 1;
}
