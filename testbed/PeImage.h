// Reads a 32-bit PE file from disk (not through the loader) for the tests and the benchmark:
// its headers, exports and imports, with every RVA mapped through the section table and
// every read bounds-checked against the file.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct PeExports {
    std::string dllName;
    DWORD functionCount = 0;
    std::vector<std::string> names;
    std::vector<DWORD> nameFunctionRvas; // the function each name leads to, in name order
};

struct PeImportedDll {
    std::string dllName;
    // Functions by name; ordinal imports as "#n".
    std::vector<std::string> functions;
};

class PeImage {
public:
    // Reads and checks the headers of the file; false with Error() set when it is not a PE32
    // image or cannot be read.
    bool Load(const std::wstring& path);
    const std::string& Error() const { return error_; }

    const IMAGE_FILE_HEADER& FileHeader() const { return fileHeader_; }
    const IMAGE_OPTIONAL_HEADER32& OptionalHeader() const { return optional_; }
    const std::vector<IMAGE_SECTION_HEADER>& Sections() const { return sections_; }

    // Copies size bytes at rva; false when any of them lies outside the file's sections.
    bool ReadAtRva(DWORD rva, void* target, size_t size) const;
    // A zero-terminated byte string at rva, at most 4096 bytes.
    bool StringAtRva(DWORD rva, std::string* text) const;
    // True when rva lies inside a section that holds code.
    bool IsCodeRva(DWORD rva) const;

    // Each false return sets Error(); a missing directory is an empty answer, not a failure.
    bool ReadExports(PeExports* exports);
    bool ReadImports(std::vector<PeImportedDll>* dlls);
    bool ReadDelayImports(std::vector<PeImportedDll>* dlls);

private:
    bool Fail(const std::string& message);
    bool OffsetOfRva(DWORD rva, size_t size, size_t* offset) const;
    const IMAGE_DATA_DIRECTORY& Directory(int index) const;
    // base is subtracted from name addresses (0 when the table holds RVAs).
    bool ReadThunks(DWORD rva, DWORD base, PeImportedDll* dll);

    std::vector<BYTE> file_;
    IMAGE_FILE_HEADER fileHeader_ = {};
    IMAGE_OPTIONAL_HEADER32 optional_ = {};
    std::vector<IMAGE_SECTION_HEADER> sections_;
    std::string error_;
};
