// The page the demo's browser shows: a simple page of the demo's own, drawn with GDI, since
// the demo's Wine runs without a browser engine.
#pragma once

#include <windows.h>

// The page's address and title, as the browser's address bar and caption show them.
extern const WCHAR DemoPageUrl[];
extern const WCHAR DemoPageTitle[];

// A child window of parent, sunken as a browser's page is, that draws the page; it goes with its
// parent.
HWND CreateDemoPage(HWND parent);
