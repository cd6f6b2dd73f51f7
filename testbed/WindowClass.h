// The window classes that host windows of the running program are made of.
#pragma once

#include <windows.h>

// Registers a class of the running program under name, with the arrow cursor and the given
// background brush (null when the window paints all of itself), unless it is there already.
void EnsureWindowClass(const WCHAR* name, WNDPROC proc, HBRUSH background);
