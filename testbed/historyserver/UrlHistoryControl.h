// The control functions TestUrlHistory.dll exports next to its COM entry points. The DLL is
// loaded into the test process by COM, so a test reaches the very state the object uses by
// loading the same DLL and calling these through GetProcAddress (see testbed/UrlHistoryStandIn).
#pragma once

#include <windows.h>

extern "C" {
// Forgets every URL, zeroes the counters and clears every switch and gate.
typedef void(__cdecl* UrlHistoryResetFn)();
// Number of ClearHistory calls, QueryUrl calls, and URL history objects alive now.
typedef LONG(__cdecl* UrlHistoryCountFn)();
// Puts url into the history with title (null title: a URL without a title), or replaces its
// title. QueryUrl answers it with a copy of both strings in CoTaskMemAlloc blocks.
typedef void(__cdecl* UrlHistorySetTitleFn)(const WCHAR* url, const WCHAR* title);
// TRUE when url is in the history.
typedef BOOL(__cdecl* UrlHistoryHasUrlFn)(const WCHAR* url);
// IClassFactory::CreateInstance fails with hr while it is a failure code (S_OK: normal).
typedef void(__cdecl* UrlHistorySetHresultFn)(HRESULT hr);
// While on, the object answers E_NOINTERFACE to IUrlHistoryStg2 (IUrlHistoryStg still works).
typedef void(__cdecl* UrlHistorySetSwitchFn)(BOOL on);
// ClearHistory sets entered (when not null) and then waits for release (when not null)
// before it clears, so a test can hold a caller inside the call.
typedef void(__cdecl* UrlHistorySetClearGateFn)(HANDLE entered, HANDLE release);
}
