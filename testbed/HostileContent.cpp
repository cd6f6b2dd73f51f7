#include "testbed/HostileContent.h"

#include "testbed/KeySecurity.h"

namespace {

const WCHAR WordUnits[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const unsigned WordUnitCount = sizeof(WordUnits) / sizeof(WCHAR) - 1;

void SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                   static_cast<DWORD>(size));
}

} // namespace

unsigned HostileContent::Pick(unsigned range) {
    return range ? static_cast<unsigned>(random_() % range) : 0;
}

std::vector<BYTE> HostileContent::Bytes(size_t count) {
    std::vector<BYTE> bytes(count);
    for (BYTE& byte : bytes)
        byte = static_cast<BYTE>(random_());
    return bytes;
}

std::wstring HostileContent::Word(size_t length) {
    std::wstring word;
    for (size_t i = 0; i < length; i++)
        word += WordUnits[Pick(WordUnitCount)];
    return word;
}

std::wstring HostileContent::UrlOfLength(size_t units, unsigned host) {
    std::wstring url =
        (Chance(20) ? L"https://h" : L"http://h") + std::to_wstring(host) + L".example/";
    if (Chance(10)) url[2] = L'T'; // the same URL in another letter case
    while (url.size() < units)
        url += WordUnits[Pick(WordUnitCount)];
    return url;
}

std::wstring HostileContent::Url() {
    static const size_t longUnits[] = {2082, 2083, 2083, 2084, 2085, 3000, 5000};
    size_t units = Chance(12) ? longUnits[Pick(7)] : 12 + Pick(60);
    return UrlOfLength(units, Pick(40));
}

void HostileContent::WriteString(HKEY key, const std::wstring& name, const std::wstring& text) {
    SetValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

void HostileContent::WriteBrokenValue(HKEY key, const std::wstring& name) {
    switch (Pick(9)) {
    case 0: { // a number where a string belongs
        DWORD number = static_cast<DWORD>(random_());
        SetValue(key, name, REG_DWORD, &number, sizeof(number));
        break;
    }
    case 1:
        SetValue(key, name, REG_SZ, nullptr, 0);
        break;
    case 2: { // an odd count of bytes
        std::vector<BYTE> bytes = Bytes(1 + 2 * Pick(40));
        SetValue(key, name, REG_SZ, bytes.data(), bytes.size());
        break;
    }
    case 3: { // text without its terminator, sometimes exactly a record's size
        std::wstring text = Chance(50) ? UrlOfLength(2084, Pick(40)) : Url();
        SetValue(key, name, REG_SZ, text.c_str(), text.size() * sizeof(WCHAR));
        break;
    }
    case 4: { // a terminated text one unit too long for a record
        std::wstring text = UrlOfLength(2084 + Pick(3), Pick(40));
        SetValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        break;
    }
    case 5: { // huge
        std::vector<BYTE> bytes = Bytes(Chance(5) ? 2 * 1024 * 1024 : 4168 + Pick(60000));
        SetValue(key, name, Chance(50) ? REG_SZ : REG_BINARY, bytes.data(), bytes.size());
        break;
    }
    case 6: { // several strings
        std::wstring text = Url() + L'\0' + Url() + L'\0';
        SetValue(key, name, REG_MULTI_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        break;
    }
    case 7: { // an expandable string with a variable in it
        std::wstring text = L"%TEMP%\\" + Word(8);
        SetValue(key, name, REG_EXPAND_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        break;
    }
    default: { // binary junk of a record's size or near it
        std::vector<BYTE> bytes = Bytes(4164 + Pick(8));
        SetValue(key, name, REG_BINARY, bytes.data(), bytes.size());
        break;
    }
    }
}

void HostileContent::Deny(HKEY root, const std::wstring& path) {
    std::wstring user = CurrentUserSidString();
    std::wstring sddl = Chance(50) ? L"D:P" : L"D:P(A;;KR;;;" + user + L")";
    SetKeySecuritySddl(root, path.c_str(), sddl.c_str(), DACL_SECURITY_INFORMATION);
}

void HostileContent::AddSubKeys(HKEY root, const std::wstring& path, int count, bool denied) {
    for (int i = 0; i < count; i++) {
        std::wstring child = path + L"\\" + Word(1 + Pick(Chance(5) ? 255 : 12));
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, child.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            continue;
        for (unsigned v = Pick(4); v > 0; v--) {
            if (Chance(50))
                WriteString(key, Word(1 + Pick(8)), Url());
            else
                WriteBrokenValue(key, Word(1 + Pick(8)));
        }
        RegCloseKey(key);
        if (denied && Chance(30)) Deny(root, child);
    }
}

void HostileContent::AddTree(HKEY root, const std::wstring& path, int depth, int width,
                             bool denied) {
    std::wstring level = path;
    int wide = static_cast<int>(Pick(static_cast<unsigned>(depth) + 1));
    for (int d = 0; d < depth; d++) {
        AddSubKeys(root, level, d == wide ? width : static_cast<int>(Pick(3)), false);
        level += L"\\" + Word(1 + Pick(6));
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, level.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        RegCloseKey(key);
    }
    if (denied) {
        // Denied from the bottom up, so that every key could still be made.
        for (std::wstring key = level; key.size() > path.size(); key.resize(key.rfind(L'\\')))
            if (Chance(20)) Deny(root, key);
    }
}
