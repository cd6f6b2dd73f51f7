// Runs one IE-version-dependent cleaner in a process of its own, so the IE major version the
// module reads while it loads is the one the test has just written to the registry.
// Usage: IeVersionCleanProbe forms|passwords. Exit code: the IE major version the module
// loaded with, or 100 for an unknown argument.
#include <windows.h>
#include <shellapi.h>
#include <cwchar>

#include "cleaners/BrowserDataCleaners.h"
#include "env/SystemQueries.h"

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    int result = 100;
    if (arguments && count == 2) {
        if (wcscmp(arguments[1], L"forms") == 0) {
            CleanFormData();
            result = LoadedIeMajorVersion;
        } else if (wcscmp(arguments[1], L"passwords") == 0) {
            CleanSavedPasswords();
            result = LoadedIeMajorVersion;
        }
    }
    LocalFree(arguments);
    return result;
}
