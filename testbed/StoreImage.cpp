#include "testbed/StoreImage.h"

#include "testbed/KeySecurity.h"

namespace {

std::string Describe(const StoredValue& value) {
    return "type " + std::to_string(value.type) + ", " + std::to_string(value.bytes.size()) +
           " bytes";
}

} // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

KeyImage TakeKeyImage(HKEY root, const std::wstring& path) {
    KeyImage image;
    image.exists = KeyExists(root, path.c_str());
    if (!image.exists) return image;
    image.security =
        KeySecuritySddl(root, path.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    for (const std::wstring& name : SubKeyNames(root, path, &image.listable))
        image.subKeys[name] = TakeKeyImage(root, path + L"\\" + name);
    if (image.listable) image.values = ReadStoredValues(path.c_str(), root);
    return image;
}

std::string CompareKeyImages(const KeyImage& before, const KeyImage& after,
                             const std::wstring& label) {
    std::string place = Utf8(label);
    if (before.exists != after.exists)
        return place + (before.exists ? ": the key is gone" : ": the key appeared");
    if (before.security != after.security)
        return place + ": security was \"" + Utf8(before.security) + "\", is \"" +
               Utf8(after.security) + "\"";
    if (before.listable != after.listable) return place + ": can no longer be listed the same";
    for (const auto& [name, value] : before.values) {
        auto found = after.values.find(name);
        if (found == after.values.end())
            return place + ": value \"" + Utf8(name) + "\" (" + Describe(value) + ") is gone";
        if (!(found->second == value))
            return place + ": value \"" + Utf8(name) + "\" was " + Describe(value) + ", is " +
                   Describe(found->second);
    }
    for (const auto& [name, value] : after.values)
        if (!before.values.count(name))
            return place + ": value \"" + Utf8(name) + "\" (" + Describe(value) + ") appeared";
    for (const auto& [name, key] : before.subKeys) {
        auto found = after.subKeys.find(name);
        std::wstring below = label + L"\\" + name;
        if (found == after.subKeys.end()) return Utf8(below) + ": the key is gone";
        std::string difference = CompareKeyImages(key, found->second, below);
        if (!difference.empty()) return difference;
    }
    for (const auto& [name, key] : after.subKeys)
        if (!before.subKeys.count(name)) return Utf8(label + L"\\" + name) + ": the key appeared";
    return std::string();
}

FileImage TakeFileImage(const std::wstring& path) {
    FileImage image;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return image;
    image.exists = true;
    image.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (image.directory) {
        WIN32_FIND_DATAW found = {};
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return image;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                image.children[name] = TakeFileImage(path + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return image;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return image;
    DWORD size = GetFileSize(file, nullptr);
    image.bytes.resize(size == INVALID_FILE_SIZE ? 0 : size);
    DWORD read = 0;
    if (!image.bytes.empty() && ReadFile(file, image.bytes.data(), size, &read, nullptr))
        image.bytes.resize(read);
    CloseHandle(file);
    return image;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL wrote = bytes.empty() ||
                 WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote != FALSE;
}

std::string CompareFileImages(const FileImage& before, const FileImage& after,
                              const std::wstring& label) {
    std::string place = Utf8(label);
    if (before.exists != after.exists) return place + (before.exists ? " is gone" : " appeared");
    if (before.directory != after.directory) return place + " changed between file and folder";
    if (before.bytes != after.bytes)
        return place + ": " + std::to_string(before.bytes.size()) + " bytes before, " +
               std::to_string(after.bytes.size()) + " after, not the same";
    for (const auto& [name, child] : before.children) {
        auto found = after.children.find(name);
        if (found == after.children.end()) return Utf8(label + L"\\" + name) + " is gone";
        std::string difference = CompareFileImages(child, found->second, label + L"\\" + name);
        if (!difference.empty()) return difference;
    }
    for (const auto& [name, child] : after.children)
        if (!before.children.count(name)) return Utf8(label + L"\\" + name) + " appeared";
    return std::string();
}
