// A row of an owner-drawn list view drawn the way the list view asks its dialog for it when it
// paints: WM_DRAWITEM with the row's item data, into a device context of the caller's.
#pragma once

#include <windows.h>

void SendDrawRow(HWND dialog, HWND list, int listId, int row, UINT state, HDC dc, RECT rect);
