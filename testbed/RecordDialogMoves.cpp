#include "testbed/RecordDialogMoves.h"

#include "records/RecordDeleteDialog.h"

HWND ListOf(HWND records) {
    return GetDlgItem(records, RecordDeleteDialog::ListViewId);
}

int RowCount(HWND records) {
    return static_cast<int>(SendMessageW(ListOf(records), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<Row> Rows(HWND records) {
    std::vector<Row> rows;
    int count = RowCount(records);
    for (int i = 0; i < count; i++) {
        WCHAR text[2100] = {};
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = 2100;
        SendMessageW(ListOf(records), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        Row row;
        row.text = item.pszText ? item.pszText : text;
        row.image = item.iImage;
        if (auto* record = reinterpret_cast<RecordItem*>(item.lParam)) {
            row.hasItem = true;
            row.ticked = record->ticked != 0;
            row.url = record->url;
        }
        rows.push_back(row);
    }
    return rows;
}

RECT RowBounds(HWND records, int row) {
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(ListOf(records), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    return bounds;
}

void ClickList(HWND records, POINT point, UINT code) {
    HWND list = ListOf(records);
    LVHITTESTINFO hit = {};
    hit.pt = point;
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = RecordDeleteDialog::ListViewId;
    click.hdr.code = code;
    // A click anywhere on a row reports it, as the list view's own click handling finds it.
    click.iItem =
        static_cast<int>(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    click.ptAction = point;
    SendMessageW(records, WM_NOTIFY, RecordDeleteDialog::ListViewId,
                 reinterpret_cast<LPARAM>(&click));
}

void ClickTick(HWND records, int row, UINT code) {
    RECT bounds = RowBounds(records, row);
    ClickList(records, POINT{8, (bounds.top + bounds.bottom) / 2}, code);
}

POINT DeleteLinkPoint(HWND records, int row, int linkWidth) {
    RECT bounds = RowBounds(records, row);
    // The link takes clicks on linkWidth - 1 pixels from one past its left edge; where "删除"
    // is measured in a font without its glyphs that may be very few.
    return POINT{bounds.right - 35 + (linkWidth + 1) / 2, (bounds.top + bounds.bottom) / 2};
}

int MeasureDeleteLinkWidth(HWND records) {
    HWND list = ListOf(records);
    HDC dc = GetDC(list);
    SIZE size = {};
    GetTextExtentPoint32W(dc, L"删除", 2, &size);
    ReleaseDC(list, dc);
    return size.cx - 6;
}
