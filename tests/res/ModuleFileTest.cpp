// The built module file itself: a 32-bit i386 DLL with its one export, importing only
// reviewed functions of system DLLs (tests/res/imports.txt).
#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "testbed/PeImage.h"

namespace {

// The DLLs every supported Windows has; anything else would have to ship with the module.
const char* const SystemDlls[] = {
    "KERNEL32.dll", "USER32.dll",  "GDI32.dll",    "ADVAPI32.dll", "SHLWAPI.dll",
    "SHELL32.dll",  "OLE32.dll",   "OLEAUT32.dll", "COMCTL32.dll", "WININET.dll",
    "URLMON.dll",   "VERSION.dll", "msvcrt.dll",
};

bool IsSystemDll(const std::string& name) {
    for (const char* dll : SystemDlls)
        if (lstrcmpiA(dll, name.c_str()) == 0) return true;
    return false;
}

std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// "DLL!Function" with the DLL name in lower case, as imports are compared.
std::string ImportKey(const std::string& dll, const std::string& function) {
    return Lower(dll) + "!" + function;
}

// A file of the source tree. The build passes the source folder as the build machine wrote
// it; a Unix path is mapped to its Wine drive.
std::wstring SourcePath(const wchar_t* relative) {
    std::wstring path = std::wstring(VELA_SOURCE_DIR) + L"/" + relative;
    if (!path.empty() && path[0] == L'/') {
        typedef WCHAR*(CDECL * DosFileName)(const char*);
        FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
        auto convert = reinterpret_cast<DosFileName>(reinterpret_cast<void (*)()>(proc));
        if (WCHAR* dos = convert ? convert(Narrow(path).c_str()) : nullptr) {
            path = dos;
            HeapFree(GetProcessHeap(), 0, dos);
        } else {
            path = L"Z:" + path;
        }
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

struct ListEntry {
    int line;
    std::string text;
};

// The reviewed imports: one "DLL!Function" per line, "#" starts a comment.
bool ReadReviewedImports(std::vector<ListEntry>* entries) {
    struct Closer {
        void operator()(FILE* file) const { fclose(file); }
    };
    std::unique_ptr<FILE, Closer> file(_wfopen(SourcePath(L"tests/res/imports.txt").c_str(), L"r"));
    if (!file) return false;
    char buffer[512];
    int line = 0;
    while (fgets(buffer, sizeof(buffer), file.get())) {
        line++;
        std::string text = buffer;
        text = text.substr(0, text.find('#'));
        size_t first = text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) continue;
        size_t last = text.find_last_not_of(" \t\r\n");
        entries->push_back({line, text.substr(first, last - first + 1)});
    }
    return true;
}

class ModuleFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(image_.Load(BinPath(L"VelaClear.dll")))
            << Narrow(BinPath(L"VelaClear.dll")) << ": " << image_.Error();
    }

    // Imports and delay-loaded imports together.
    void ReadAllImports(std::vector<PeImportedDll>* dlls) {
        std::vector<PeImportedDll> delayed;
        ASSERT_TRUE(image_.ReadImports(dlls)) << image_.Error();
        ASSERT_TRUE(image_.ReadDelayImports(&delayed)) << image_.Error();
        dlls->insert(dlls->end(), delayed.begin(), delayed.end());
    }

    void ReadReviewedKeys(std::set<std::string>* keys) {
        std::vector<ListEntry> entries;
        ASSERT_TRUE(ReadReviewedImports(&entries))
            << "cannot read " << Narrow(SourcePath(L"tests/res/imports.txt"));
        for (const ListEntry& entry : entries) {
            size_t bang = entry.text.find('!');
            if (bang != std::string::npos)
                keys->insert(ImportKey(entry.text.substr(0, bang), entry.text.substr(bang + 1)));
        }
    }

    PeImage image_;
};

TEST_F(ModuleFile, IsA32BitI386Dll) {
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, image_.FileHeader().Machine)
        << std::hex << "machine 0x" << image_.FileHeader().Machine;
    EXPECT_TRUE(image_.FileHeader().Characteristics & IMAGE_FILE_DLL)
        << std::hex << "characteristics 0x" << image_.FileHeader().Characteristics;
    EXPECT_TRUE(image_.FileHeader().Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
    EXPECT_TRUE(image_.FileHeader().Characteristics & IMAGE_FILE_32BIT_MACHINE);
    const IMAGE_OPTIONAL_HEADER32& optional = image_.OptionalHeader();
    // Windows 2000 is 5.0: an image asking for a newer subsystem is not for it.
    EXPECT_LE(optional.MajorSubsystemVersion * 100 + optional.MinorSubsystemVersion, 500)
        << "subsystem " << optional.MajorSubsystemVersion << "." << optional.MinorSubsystemVersion;
}

TEST_F(ModuleFile, ExportsOnlyOnButtonMessage) {
    PeExports exports;
    ASSERT_TRUE(image_.ReadExports(&exports)) << image_.Error();
    EXPECT_EQ("VelaClear.dll", exports.dllName);
    EXPECT_EQ(1u, exports.functionCount);
    ASSERT_EQ(1u, exports.names.size());
    EXPECT_EQ("OnButtonMessage", exports.names[0]);
    // A forwarder or a data export would not lie in the code.
    EXPECT_TRUE(image_.IsCodeRva(exports.nameFunctionRvas[0]))
        << std::hex << "RVA 0x" << exports.nameFunctionRvas[0];
}

TEST_F(ModuleFile, ImportsOnlyFromSystemDlls) {
    std::vector<PeImportedDll> dlls;
    ASSERT_NO_FATAL_FAILURE(ReadAllImports(&dlls));
    ASSERT_FALSE(dlls.empty());
    for (const PeImportedDll& dll : dlls)
        EXPECT_TRUE(IsSystemDll(dll.dllName)) << "imports from " << dll.dllName;
}

TEST_F(ModuleFile, ImportsOnlyReviewedFunctions) {
    std::set<std::string> reviewed;
    ASSERT_NO_FATAL_FAILURE(ReadReviewedKeys(&reviewed));
    std::vector<PeImportedDll> dlls;
    ASSERT_NO_FATAL_FAILURE(ReadAllImports(&dlls));
    std::string unlisted;
    for (const PeImportedDll& dll : dlls)
        for (const std::string& function : dll.functions)
            if (!reviewed.count(ImportKey(dll.dllName, function)))
                unlisted += "  " + dll.dllName + "!" + function + "\n";
    EXPECT_EQ("", unlisted) << "imports missing from tests/res/imports.txt; check that each "
                               "exists on Windows 2000 (or look it up at run time) and add it";
}

TEST_F(ModuleFile, ReviewedImportsAreAllStillImported) {
    std::set<std::string> reviewed;
    ASSERT_NO_FATAL_FAILURE(ReadReviewedKeys(&reviewed));
    std::vector<PeImportedDll> dlls;
    ASSERT_NO_FATAL_FAILURE(ReadAllImports(&dlls));
    for (const PeImportedDll& dll : dlls)
        for (const std::string& function : dll.functions)
            reviewed.erase(ImportKey(dll.dllName, function));
    std::string stale;
    for (const std::string& key : reviewed)
        stale += "  " + key + "\n";
    EXPECT_EQ("", stale) << "entries of tests/res/imports.txt the module no longer imports";
}

// Functions of KERNEL32, USER32 and ADVAPI32 that came after Windows 2000 and that the C++
// runtime or dialog code tends to pull in; importing one keeps the DLL from loading there, so
// none may be on the reviewed list either. Not complete: the review of each new entry is.
const char* const NewerThanWindows2000[] = {
    "AcquireSRWLockExclusive",
    "AcquireSRWLockShared",
    "ActivateActCtx",
    "AddVectoredContinueHandler",
    "AddVectoredExceptionHandler",
    "CreateActCtxW",
    "CreateEventExW",
    "CreateMutexExW",
    "CreateSemaphoreExW",
    "DeactivateActCtx",
    "FlsAlloc",
    "FlsFree",
    "FlsGetValue",
    "FlsSetValue",
    "GetModuleHandleExW",
    "GetNativeSystemInfo",
    "GetSystemTimePreciseAsFileTime",
    "GetTickCount64",
    "InitOnceBeginInitialize",
    "InitOnceComplete",
    "InitOnceExecuteOnce",
    "InitializeConditionVariable",
    "InitializeCriticalSectionEx",
    "InitializeSRWLock",
    "IsWow64Process",
    "RegDeleteTreeW",
    "RegGetValueW",
    "ReleaseActCtx",
    "ReleaseSRWLockExclusive",
    "ReleaseSRWLockShared",
    "RemoveVectoredContinueHandler",
    "RemoveVectoredExceptionHandler",
    "SHGetKnownFolderPath",
    "SetThreadDescription",
    "SleepConditionVariableCS",
    "SleepConditionVariableSRW",
    "TryAcquireSRWLockExclusive",
    "TryAcquireSRWLockShared",
    "WakeAllConditionVariable",
    "WakeConditionVariable",
};

bool IsNewerThanWindows2000(const std::string& function) {
    for (const char* name : NewerThanWindows2000)
        if (function == name) return true;
    return false;
}

TEST_F(ModuleFile, ImportsNothingKnownToBeMissingOnWindows2000) {
    std::vector<PeImportedDll> dlls;
    ASSERT_NO_FATAL_FAILURE(ReadAllImports(&dlls));
    for (const PeImportedDll& dll : dlls)
        for (const std::string& function : dll.functions)
            EXPECT_FALSE(IsNewerThanWindows2000(function)) << dll.dllName << "!" << function;

    std::vector<ListEntry> entries;
    ASSERT_TRUE(ReadReviewedImports(&entries));
    for (const ListEntry& entry : entries)
        EXPECT_FALSE(IsNewerThanWindows2000(entry.text.substr(entry.text.find('!') + 1)))
            << "imports.txt line " << entry.line << ": " << entry.text;
}

// The list stays reviewable: well-formed lines, system DLLs only, sorted, no repeats.
TEST_F(ModuleFile, ReviewedImportListIsSortedAndNamesSystemDllsOnly) {
    std::vector<ListEntry> entries;
    ASSERT_TRUE(ReadReviewedImports(&entries));
    ASSERT_FALSE(entries.empty());
    std::string previous;
    for (const ListEntry& entry : entries) {
        SCOPED_TRACE("imports.txt line " + std::to_string(entry.line) + ": " + entry.text);
        size_t bang = entry.text.find('!');
        ASSERT_NE(std::string::npos, bang);
        std::string dll = entry.text.substr(0, bang);
        std::string function = entry.text.substr(bang + 1);
        EXPECT_TRUE(IsSystemDll(dll));
        EXPECT_FALSE(function.empty());
        EXPECT_EQ(std::string::npos, function.find_first_of(" \t!"));
        std::string key = ImportKey(dll, function);
        EXPECT_LT(previous, key) << "out of order or repeated";
        previous = key;
    }
}

} // namespace
