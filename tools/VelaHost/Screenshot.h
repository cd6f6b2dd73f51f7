// Pictures of windows as the screen shows them, for the demo's record of each dialog.
#pragma once

#include <windows.h>

// Copies a rectangle of the screen into a 24-bit BMP file, with a caption in a strip under it
// unless caption is null. False when the rectangle is empty or the file cannot be written.
bool SaveScreenPicture(const RECT& rect, const WCHAR* path, const WCHAR* caption);
// The same for the window's rectangle; false when the window is gone.
bool SaveWindowPicture(HWND window, const WCHAR* path);
