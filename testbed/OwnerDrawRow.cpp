#include "testbed/OwnerDrawRow.h"

#include <commctrl.h>

void SendDrawRow(HWND dialog, HWND list, int listId, int row, UINT state, HDC dc, RECT rect) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_LISTVIEW;
    draw.CtlID = static_cast<UINT>(listId);
    draw.itemID = static_cast<UINT>(row);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = state;
    draw.hwndItem = list;
    draw.hDC = dc;
    draw.rcItem = rect;
    draw.itemData = static_cast<ULONG_PTR>(item.lParam);
    SendMessageW(dialog, WM_DRAWITEM, static_cast<WPARAM>(listId), reinterpret_cast<LPARAM>(&draw));
}
