// The check box pictures of the record list: four images drawn once into an image list, in the
// current visual style when one is active and as classic frame controls otherwise. UxTheme.dll
// is looked up at run time, since Windows 2000 has no visual styles.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Indexes into the check image list.
constexpr int CheckImageCheckedHot = 0;
constexpr int CheckImageUnchecked = 1;
constexpr int CheckImageChecked = 2;
constexpr int CheckImageMixed = 3;

// Four images of 16 x 16 (visual style) or 14 x 14 (classic) pixels at 96 DPI, larger as the
// system's small icons are, drawn for window's theme and device context. The caller destroys
// the list.
HIMAGELIST CreateCheckImageList(HWND window);
// A length of the record list's rows at 96 DPI, grown in step with the system's small icons
// (16 pixels at 96 DPI, 24 at 144).
int RecordPixels(int pixels);
// IsThemeActive of the visual-style library, or 0 when the library or the function is missing.
BOOL IsThemeActiveSafe();
