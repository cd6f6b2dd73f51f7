// Windows and Internet Explorer version queries, the host process test and file versions.
#pragma once

#include <windows.h>

BOOL IsWindows2000();
BOOL IsWindowsXP();
BOOL IsNt6OrLater();
// 1 Win9x family, 2 Windows 2000, 3 XP, 4 5.2, 5 NT 6.x, 0 anything else.
BYTE GetOsVersionCode();

// The number before the first point of an Internet Explorer version text; 0 without a point.
int ParseIeMajorVersion(const WCHAR* version);
// Major version from HKLM "SOFTWARE\Microsoft\Internet Explorer" "Version", read afresh;
// 0 when missing or without a point.
int ReadIeMajorVersion();
// ReadIeMajorVersion once per process; later calls give the kept value.
int GetIeMajorVersion();
// The value GetIeMajorVersion gave while the module loaded.
extern int LoadedIeMajorVersion;

// True when the image of module (null: the process executable) is named IEXPLORE.EXE in any case.
BOOL IsIexploreProcess(HMODULE module);

class FileVersionInfo {
public:
    explicit FileVersionInfo(const WCHAR* path);
    virtual ~FileVersionInfo();
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    BOOL IsLoaded() const { return loaded_; }
    int QueryStringValue(const WCHAR* name, WCHAR* buffer, int capacity) const;
    // File version numbers major, minor, build, revision; 0 when not loaded.
    WORD FileVersion(int index) const;
    WORD ProductVersion(int index) const;
    const WCHAR* CompanyName() const { return companyName_; }
    const WCHAR* ProductName() const { return productName_; }
    const WCHAR* FileDescription() const { return fileDescription_; }

private:
    BOOL Load();

    BOOL loaded_ = FALSE;
    BYTE* block_ = nullptr;
    WORD fileVersion_[4] = {};
    WORD productVersion_[4] = {};
    DWORD fileFlagsMask_ = 0, fileFlags_ = 0, fileOs_ = 0, fileType_ = 0, fileSubtype_ = 0;
    WCHAR path_[MAX_PATH] = {};
    WCHAR companyName_[MAX_PATH] = {};
    WCHAR productName_[MAX_PATH] = {};
    WCHAR fileDescription_[MAX_PATH] = {};
};

// "%d.%d.%d.%d" of the file version; 0 without a path or a usable version resource.
int GetFileVersionString(const WCHAR* path, WCHAR* buffer, int capacity);
