#include "clean/CleanSettings.h"

#include <shlwapi.h>
#include <cstdio>

#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"

namespace {

SelectionMask g_currentSelection;

void GetSettingsKeyPath(WCHAR* path) {
    // The buffer is zero-filled so the formatted path is always terminated.
    GetToolbarKeyPath(path, MAX_PATH, CleanSettingsSubKey);
}

} // namespace

SelectionMask CurrentSelection() {
    return g_currentSelection;
}

BOOL ReadStoredSelection(SelectionMask* mask) {
    WCHAR path[MAX_PATH] = {};
    GetSettingsKeyPath(path);
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (SHGetValueW(HKEY_CURRENT_USER, path, L"UserSelect", nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return FALSE;
    *mask = value;
    return TRUE;
}

void LoadSelection(HWND dialog) {
    if (!ReadStoredSelection(&g_currentSelection)) g_currentSelection = DefaultSelection;
    for (const CleanCategory& category : CategoryTable) {
        if (g_currentSelection & category.bit) CheckDlgButton(dialog, category.checkBoxId, 1);
    }
    CheckDlgButton(dialog, AutoCleanCheckBoxId, GetAutoClean() ? 1 : 0);
}

void SaveSelection(HWND dialog) {
    g_currentSelection = 0;
    for (const CleanCategory& category : CategoryTable) {
        if (IsDlgButtonChecked(dialog, category.checkBoxId) == 1)
            g_currentSelection |= category.bit;
    }
    WCHAR path[MAX_PATH] = {};
    GetSettingsKeyPath(path);
    SelectionMask value = g_currentSelection;
    SHSetValueW(HKEY_CURRENT_USER, path, L"UserSelect", REG_DWORD, &value, sizeof(value));
}

DWORD GetAutoClean() {
    DWORD value = 0;
    ReadToolbarDword(CleanSettingsSubKey, L"AutoClean", &value);
    return value;
}

int SetAutoClean(DWORD value) {
    WCHAR path[MAX_PATH] = {};
    GetSettingsKeyPath(path);
    return SHSetValueW(HKEY_CURRENT_USER, path, L"AutoClean", REG_DWORD, &value, sizeof(value)) ==
           ERROR_SUCCESS;
}

int AutoCleanSupported() {
    if (IsNt6OrLater()) return 0;
    if (!IsIexploreProcess(nullptr)) return 0;
    return GetIeMajorVersion() <= 7 ? 1 : 0;
}
