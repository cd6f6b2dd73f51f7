// Pictures of windows as the screen shows them, for the demo's record of each dialog.
#pragma once

#include <windows.h>

// Copies the window's rectangle from the screen into a 24-bit BMP file. False when the
// window is gone or the file cannot be written.
bool SaveWindowPicture(HWND window, const WCHAR* path);
