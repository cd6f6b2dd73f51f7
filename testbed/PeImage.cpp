#include "testbed/PeImage.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

// Import and export tables are short; anything longer than this is a broken table.
const size_t MaxTableEntries = 65536;

} // namespace

bool PeImage::Fail(const std::string& message) {
    error_ = message;
    return false;
}

bool PeImage::Load(const std::wstring& path) {
    file_.clear();
    sections_.clear();
    error_.clear();
    std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
    if (!file) return Fail("cannot open the file");
    BYTE buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file.get())) > 0)
        file_.insert(file_.end(), buffer, buffer + got);

    IMAGE_DOS_HEADER dos;
    if (file_.size() < sizeof(dos)) return Fail("shorter than a DOS header");
    memcpy(&dos, file_.data(), sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE) return Fail("no MZ signature");
    size_t at = static_cast<DWORD>(dos.e_lfanew);
    DWORD signature = 0;
    if (at > file_.size() || file_.size() - at < sizeof(signature) + sizeof(fileHeader_))
        return Fail("the PE header lies outside the file");
    memcpy(&signature, file_.data() + at, sizeof(signature));
    if (signature != IMAGE_NT_SIGNATURE) return Fail("no PE signature");
    at += sizeof(signature);
    memcpy(&fileHeader_, file_.data() + at, sizeof(fileHeader_));
    at += sizeof(fileHeader_);

    WORD magic = 0;
    if (fileHeader_.SizeOfOptionalHeader < sizeof(optional_) ||
        file_.size() - at < fileHeader_.SizeOfOptionalHeader)
        return Fail("no room for a PE32 optional header");
    memcpy(&magic, file_.data() + at, sizeof(magic));
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return Fail("not a PE32 optional header");
    memcpy(&optional_, file_.data() + at, sizeof(optional_));
    at += fileHeader_.SizeOfOptionalHeader;

    for (WORD i = 0; i < fileHeader_.NumberOfSections; i++) {
        IMAGE_SECTION_HEADER section;
        if (file_.size() - at < sizeof(section)) return Fail("the section table is cut short");
        memcpy(&section, file_.data() + at, sizeof(section));
        at += sizeof(section);
        sections_.push_back(section);
    }
    return true;
}

bool PeImage::OffsetOfRva(DWORD rva, size_t size, size_t* offset) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
        DWORD start = section.VirtualAddress;
        DWORD raw = section.SizeOfRawData;
        if (rva < start || rva - start >= raw) continue;
        // Bytes beyond the raw data are zero in memory but not in the file: refuse them.
        if (size > raw - (rva - start)) return false;
        size_t fileAt = static_cast<size_t>(section.PointerToRawData) + (rva - start);
        if (fileAt > file_.size() || size > file_.size() - fileAt) return false;
        *offset = fileAt;
        return true;
    }
    return false;
}

bool PeImage::ReadAtRva(DWORD rva, void* target, size_t size) const {
    size_t offset = 0;
    if (!OffsetOfRva(rva, size, &offset)) return false;
    memcpy(target, file_.data() + offset, size);
    return true;
}

bool PeImage::StringAtRva(DWORD rva, std::string* text) const {
    text->clear();
    for (DWORD i = 0; i < 4096; i++) {
        char c = 0;
        if (!ReadAtRva(rva + i, &c, 1)) return false;
        if (c == 0) return true;
        text->push_back(c);
    }
    return false;
}

bool PeImage::IsCodeRva(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
        DWORD extent = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent)
            return (section.Characteristics & IMAGE_SCN_CNT_CODE) != 0;
    }
    return false;
}

const IMAGE_DATA_DIRECTORY& PeImage::Directory(int index) const {
    static const IMAGE_DATA_DIRECTORY none = {};
    if (static_cast<DWORD>(index) >= optional_.NumberOfRvaAndSizes) return none;
    return optional_.DataDirectory[index];
}

bool PeImage::ReadExports(PeExports* exports) {
    *exports = PeExports();
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (directory.VirtualAddress == 0) return true;
    IMAGE_EXPORT_DIRECTORY table;
    if (!ReadAtRva(directory.VirtualAddress, &table, sizeof(table)))
        return Fail("the export directory lies outside the sections");
    if (!StringAtRva(table.Name, &exports->dllName)) return Fail("unreadable export DLL name");
    if (table.NumberOfNames > MaxTableEntries || table.NumberOfFunctions > MaxTableEntries)
        return Fail("implausible export counts");
    exports->functionCount = table.NumberOfFunctions;
    for (DWORD i = 0; i < table.NumberOfNames; i++) {
        DWORD nameRva = 0;
        WORD ordinal = 0;
        DWORD functionRva = 0;
        std::string name;
        if (!ReadAtRva(table.AddressOfNames + 4 * i, &nameRva, 4) || !StringAtRva(nameRva, &name) ||
            !ReadAtRva(table.AddressOfNameOrdinals + 2 * i, &ordinal, 2))
            return Fail("unreadable export name " + std::to_string(i));
        if (ordinal >= table.NumberOfFunctions ||
            !ReadAtRva(table.AddressOfFunctions + 4 * ordinal, &functionRva, 4))
            return Fail("export " + name + " leads to no function");
        exports->names.push_back(name);
        exports->nameFunctionRvas.push_back(functionRva);
    }
    return true;
}

bool PeImage::ReadThunks(DWORD rva, DWORD base, PeImportedDll* dll) {
    for (size_t i = 0; i < MaxTableEntries; i++) {
        DWORD thunk = 0;
        if (!ReadAtRva(rva + 4 * static_cast<DWORD>(i), &thunk, 4))
            return Fail("unreadable import thunk of " + dll->dllName);
        if (thunk == 0) return true;
        if (thunk & IMAGE_ORDINAL_FLAG32) {
            dll->functions.push_back("#" + std::to_string(thunk & 0xFFFF));
            continue;
        }
        std::string name; // after the two-byte hint
        if (!StringAtRva(thunk - base + 2, &name))
            return Fail("unreadable imported name in " + dll->dllName);
        dll->functions.push_back(name);
    }
    return Fail("unterminated import thunks of " + dll->dllName);
}

bool PeImage::ReadImports(std::vector<PeImportedDll>* dlls) {
    dlls->clear();
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (directory.VirtualAddress == 0) return true;
    for (DWORD i = 0; i < MaxTableEntries; i++) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (!ReadAtRva(directory.VirtualAddress + i * sizeof(descriptor), &descriptor,
                       sizeof(descriptor)))
            return Fail("the import directory lies outside the sections");
        if (descriptor.Name == 0 && descriptor.FirstThunk == 0) return true;
        PeImportedDll dll;
        if (!StringAtRva(descriptor.Name, &dll.dllName))
            return Fail("unreadable imported DLL name");
        // The name table survives binding; the address table is the fallback of old linkers.
        DWORD names =
            descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        if (!ReadThunks(names, 0, &dll)) return false;
        dlls->push_back(dll);
    }
    return Fail("unterminated import directory");
}

bool PeImage::ReadDelayImports(std::vector<PeImportedDll>* dlls) {
    dlls->clear();
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    if (directory.VirtualAddress == 0) return true;
    for (DWORD i = 0; i < MaxTableEntries; i++) {
        IMAGE_DELAYLOAD_DESCRIPTOR descriptor;
        if (!ReadAtRva(directory.VirtualAddress + i * sizeof(descriptor), &descriptor,
                       sizeof(descriptor)))
            return Fail("the delay import directory lies outside the sections");
        if (descriptor.DllNameRVA == 0) return true;
        // Old linkers wrote addresses instead of RVAs and left the RVA flag clear.
        DWORD base = descriptor.Attributes.RvaBased ? 0 : optional_.ImageBase;
        PeImportedDll dll;
        if (!StringAtRva(descriptor.DllNameRVA - base, &dll.dllName))
            return Fail("unreadable delay-loaded DLL name");
        if (!ReadThunks(descriptor.ImportNameTableRVA - base, base, &dll)) return false;
        dlls->push_back(dll);
    }
    return Fail("unterminated delay import directory");
}
