// The record dialog ("删除地址栏记录", "删除搜索记录") as a user meets it: its rows as the list
// view holds them, and clicks on a row's tick zone or delete link, delivered as the list view's
// own NM_CLICK and NM_DBLCLK notifications.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

// One row as the list view holds it.
struct Row {
    std::wstring text;
    int image = -1;
    bool hasItem = false;
    bool ticked = false;
    std::wstring url;
};

HWND ListOf(HWND records);
int RowCount(HWND records);
std::vector<Row> Rows(HWND records);
RECT RowBounds(HWND records, int row);
// NM_CLICK or NM_DBLCLK from the list view at point, with the row the list view finds there.
void ClickList(HWND records, POINT point, UINT code = NM_CLICK);
// A click in the row's tick zone.
void ClickTick(HWND records, int row, UINT code = NM_CLICK);
// A point on the row's delete link, for a link that takes clicks on linkWidth pixels.
POINT DeleteLinkPoint(HWND records, int row, int linkWidth);
// The link width the dialog measures: "删除" on the list view's window DC, minus 6.
int MeasureDeleteLinkWidth(HWND records);
