// The user's clean choices that outlive a dialog: the selected categories and the automatic
// clean switch, under the toolbar's settings key, and the one table of the categories.
#pragma once

#include <windows.h>

using SelectionMask = DWORD;

struct CleanCategory {
    int checkBoxId;
    SelectionMask bit;
};

// In clean order, which is neither the order of the control ids nor the order on screen.
inline constexpr CleanCategory CategoryTable[] = {
    {1179, 0x01}, // IE address-bar records
    {1162, 0x02}, // browsing history
    {1183, 0x04}, // AutoComplete form data
    {1181, 0x08}, // toolbar search records
    {1184, 0x10}, // passwords saved by web pages
    {1182, 0x20}, // IE temporary files
    {1185, 0x40}, // cookies
};
constexpr int CategoryCount = 7;

// Address-bar records, history, form data and saved passwords.
constexpr SelectionMask DefaultSelection = 0x17;

constexpr int AutoCleanCheckBoxId = 1191;
constexpr WCHAR CleanSettingsSubKey[] = L"HistoryClean";

// The selection last loaded or saved by a dialog in this process.
SelectionMask CurrentSelection();

// Checks the stored categories (DefaultSelection when none is stored) and the automatic box.
void LoadSelection(HWND dialog);
// Stores the checked categories as "UserSelect".
void SaveSelection(HWND dialog);
// "UserSelect" as stored; false when it cannot be read.
BOOL ReadStoredSelection(SelectionMask* mask);

DWORD GetAutoClean();
int SetAutoClean(DWORD value);
// Only before NT 6, inside IEXPLORE.EXE, with IE 7 or older.
int AutoCleanSupported();
