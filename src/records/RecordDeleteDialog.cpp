#include "records/RecordDeleteDialog.h"

#include "clean/CleanDialog.h"
#include "cleaners/AddressBars.h"
#include "cleaners/SearchBox.h"
#include "cleaners/TypedUrlStore.h"
#include "host/Module.h"
#include "records/CheckImages.h"
#include "ui/LinkLabel.h"

int DeleteLinkWidth = 0;

namespace {

const WCHAR DeleteLinkText[] = L"删除";
const COLORREF SelectedRowColor = RGB(199, 228, 243);
const COLORREF DeleteLinkColor = RGB(8, 51, 189);
const COLORREF SeparatorColor = RGB(127, 157, 185);

// Clicks left of this x (list-view client coordinates) toggle the row's tick.
const int TickZoneWidth = 16;
// The delete link occupies the last 35 pixels of a row.
const int DeleteLinkRightOffset = 35;
// Room given back to the column when the vertical scroll bar goes.
const int ScrollBarAllowance = 18;
// A search record holds up to 259 characters (SearchRecordNode::text): a row's text is read
// whole, or the host would be asked to delete a record it does not have.
const int SearchTextUnits = 260;

} // namespace

RecordDeleteDialog::RecordDeleteDialog()
    : DialogBase(TemplateId), listSubclass_(LinkOwnerProp, LinkProcProp) {}

RecordDeleteDialog::~RecordDeleteDialog() = default;

int RecordDeleteDialog::ShowForOwner(CleanDialog* owner, RecordKind kind) {
    if (!owner) return -1;
    owner_ = owner;
    kind_ = kind;
    HWND parent = IsWindow(owner->window) ? owner->window : nullptr;
    // A dialog that never ran has left nothing to count: report that, not an empty list, so
    // the caller does not take it for "every record deleted".
    if (DoModal(ModuleInstance(), parent) == -1) return -1;
    return rowsLeft_;
}

BOOL RecordDeleteDialog::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, LRESULT& result) {
    static const MessageMapEntry<RecordDeleteDialog> messageMap[] = {
        {WM_INITDIALOG, &RecordDeleteDialog::OnInitDialog},
        {WM_COMMAND, &RecordDeleteDialog::OnCommand},
        {WM_NOTIFY, &RecordDeleteDialog::OnNotify},
        {WM_DRAWITEM, &RecordDeleteDialog::OnDrawItem},
        {WM_DESTROY, &RecordDeleteDialog::OnDestroy},
    };
    return RouteMessage(messageMap, window, message, wParam, lParam, result);
}

LRESULT RecordDeleteDialog::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    CenterWindow(nullptr);
    checkImages_.Reset(CreateCheckImageList(window));

    listView_ = GetDlgItem(window, ListViewId);
    rows_ = 0;
    listedWhole_ = listView_ != nullptr;
    RECT client = {};
    GetClientRect(listView_, &client);
    int columnWidth = client.right - client.left;
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = columnWidth;
    SendMessageW(listView_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    {
        WindowDc dc(listView_);
        SIZE size = {};
        GetTextExtentPoint32W(dc.Get(), DeleteLinkText, lstrlenW(DeleteLinkText), &size);
        DeleteLinkWidth = size.cx - 6;
    }

    // Rows twice as tall as the text: the list view takes its row height from its font, so it
    // gets a font of double height; the rows themselves are drawn in the original one.
    listFont_ = reinterpret_cast<HFONT>(SendMessageW(listView_, WM_GETFONT, 0, 0));
    LOGFONTW logFont = {};
    if (listFont_ && GetObjectW(listFont_, sizeof(logFont), &logFont)) {
        logFont.lfHeight *= 2;
        enlargedFont_.Reset(CreateFontIndirectW(&logFont));
        if (enlargedFont_)
            SendMessageW(listView_, WM_SETFONT, reinterpret_cast<WPARAM>(enlargedFont_.Get()), 1);
    }

    listSubclass_.Install(listView_, ListViewProc, this);

    LRESULT exStyle = SendMessageW(listView_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(listView_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, exStyle | LVS_EX_TRACKSELECT);
    SendMessageW(listView_, LVM_SETHOVERTIME, 0, 1);

    // The list view re-measures its scroll bars and invalidates its rows after every insertion
    // while it redraws; with redrawing off during the fill it does that once, when it is turned
    // back on, so the scroll bar state read below is already the filled list's.
    SendMessageW(listView_, WM_SETREDRAW, FALSE, 0);
    if (kind_ == AddressBarRecords) {
        SetWindowTextW(window, L"删除地址栏记录");
        FillAddressBarRecords();
    } else if (kind_ == SearchRecords) {
        SetWindowTextW(window, L"删除搜索记录");
        FillSearchRecords();
    }
    SendMessageW(listView_, WM_SETREDRAW, TRUE, 0);

    if (RowCount() == 0) EnableDeleteButton(FALSE);
    UpdateDeleteButton();

    if (IsVerticalScrollBarVisible(listView_))
        SendMessageW(listView_, LVM_SETCOLUMNWIDTH, 0,
                     MAKELPARAM(columnWidth - ScrollBarAllowance, 0));
    return 0;
}

LRESULT RecordDeleteDialog::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    handled = FALSE; // "关闭" reaches the default handling as IDCANCEL
    if (HIWORD(wParam) != 0) return 0;
    switch (LOWORD(wParam)) {
    case SelectAllButtonId:
        TickAllRows();
        break;
    case InvertButtonId:
        InvertTicks();
        break;
    case DeleteButtonId:
        DeleteTickedRows();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT RecordDeleteDialog::OnNotify(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || !listView_ || header->hwndFrom != listView_) return 0;
    if (header->code != static_cast<UINT>(NM_CLICK) && header->code != static_cast<UINT>(NM_DBLCLK))
        return 0;

    auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
    if (activate->ptAction.x < TickZoneWidth && activate->iItem >= 0) ToggleRow(activate->iItem);
    if (header->code == static_cast<UINT>(NM_CLICK)) {
        // The row deleted is the one whose link lies under the click.
        LVHITTESTINFO hit = {};
        hit.pt = activate->ptAction;
        int row = static_cast<int>(
            SendMessageW(listView_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row >= 0 && HitTestDeleteLink(listView_, activate->ptAction)) DeleteRowByLink(row);
    }
    return 0;
}

LRESULT RecordDeleteDialog::OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
    auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!draw || draw->CtlType != ODT_LISTVIEW) {
        handled = FALSE;
        return 0;
    }
    DrawRow(*draw);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
    return 0;
}

void RecordDeleteDialog::DrawRow(const DRAWITEMSTRUCT& draw) {
    HDC dc = draw.hDC;
    const RECT& rc = draw.rcItem;
    auto* item = reinterpret_cast<const RecordItem*>(draw.itemData);

    if (draw.itemState & ODS_SELECTED) {
        UniqueBrush brush(CreateSolidBrush(SelectedRowColor));
        if (brush) FillRect(dc, &rc, brush.Get());
    } else {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
    }

    BOOL themed = IsThemeActiveSafe();
    int offset = themed ? 1 : 2;

    int iconWidth = 0;
    int iconHeight = 0;
    ImageList_GetIconSize(checkImages_.Get(), &iconWidth, &iconHeight);
    int size = iconWidth ? iconWidth : 16;
    int y = rc.top + (rc.bottom - rc.top - size) / 2;
    int checkImage = (item && item->ticked) ? CheckImageChecked : CheckImageUnchecked;
    ImageList_Draw(checkImages_.Get(), checkImage, dc, rc.left + offset, themed ? y : y + 1,
                   ILD_NORMAL);

    WCHAR text[UrlRecordUnits] = {};
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE;
    row.iItem = static_cast<int>(draw.itemID);
    row.pszText = text;
    row.cchTextMax = UrlRecordUnits;
    SendMessageW(listView_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row));
    const WCHAR* rowText = row.pszText ? row.pszText : text;

    int textOffset = offset + 18;
    if (kind_ == AddressBarRecords) {
        ImageList_Draw(siteIcons_.Get(), row.iImage, dc, rc.left + offset + 17, y, ILD_TRANSPARENT);
        textOffset = offset + 35;
    }

    HFONT font = listFont_ ? listFont_ : static_cast<HFONT>(GetCurrentObject(dc, OBJ_FONT));
    HGDIOBJ previousFont = SelectObject(dc, font);
    // The text goes over the row's background, not a box of the context's own colour.
    int previousMode = SetBkMode(dc, TRANSPARENT);

    RECT textRect = {rc.left + textOffset + 5, rc.top, rc.right - 45, rc.bottom};
    COLORREF previousColor = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, rowText, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_WORD_ELLIPSIS);
    SetTextColor(dc, previousColor);

    LOGFONTW logFont = {};
    GetObjectW(font, sizeof(logFont), &logFont);
    logFont.lfUnderline = TRUE;
    UniqueFont underlined(CreateFontIndirectW(&logFont));
    if (underlined) SelectObject(dc, underlined.Get());
    previousColor = SetTextColor(dc, DeleteLinkColor);
    RECT linkRect = {rc.right - DeleteLinkRightOffset, rc.top, rc.right, rc.bottom};
    DrawTextW(dc, DeleteLinkText, -1, &linkRect, DT_SINGLELINE | DT_VCENTER);
    SetTextColor(dc, previousColor);
    SetBkMode(dc, previousMode);
    SelectObject(dc, previousFont);
    underlined.Reset();

    UniquePen pen(CreatePen(PS_SOLID, 1, SeparatorColor));
    if (pen) {
        SelectedObject selected(dc, pen.Get());
        MoveToEx(dc, rc.left, rc.bottom - 1, nullptr);
        LineTo(dc, rc.right, rc.bottom - 1);
    }
}

LRESULT RecordDeleteDialog::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    listSubclass_.Remove(listView_, ListViewProc, this);

    // The list view does not share its image lists, so it would destroy the site icon list
    // once more when it goes: the dialog owns that list and takes it back first.
    SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    checkImages_.Reset();
    siteIcons_.Reset();

    if (listFont_) SendMessageW(listView_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), 0);
    enlargedFont_.Reset();

    int count = RowCount();
    for (int i = 0; i < count; i++) {
        if (RecordItem* item = RowItem(i)) {
            WriteRowItem(i, nullptr);
            FreeRecordItem(item);
        }
    }
    // Counted by the dialog itself: "none left" only when every record was listed and every
    // row's deletion went through, never because a count could not be had.
    rowsLeft_ = rows_ == 0 && !listedWhole_ ? -1 : rows_;
    return 0;
}

int RecordDeleteDialog::RowCount() const {
    if (!listView_) return 0;
    return static_cast<int>(SendMessageW(listView_, LVM_GETITEMCOUNT, 0, 0));
}

RecordItem* RecordDeleteDialog::RowItem(int row, WCHAR* text, int capacity) const {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (text && capacity > 0) {
        text[0] = 0;
        item.mask |= LVIF_TEXT;
        item.pszText = text;
        item.cchTextMax = capacity;
    }
    if (!SendMessageW(listView_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    if (text && item.pszText && item.pszText != text && capacity > 0)
        lstrcpynW(text, item.pszText, capacity);
    return reinterpret_cast<RecordItem*>(item.lParam);
}

void RecordDeleteDialog::WriteRowItem(int row, RecordItem* item) {
    LVITEMW written = {};
    written.mask = LVIF_PARAM;
    written.iItem = row;
    written.lParam = reinterpret_cast<LPARAM>(item);
    SendMessageW(listView_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&written));
}

void RecordDeleteDialog::InsertRow(UINT mask, const WCHAR* text, int image, RecordItem* item,
                                   int* inserted) {
    LVITEMW row = {};
    row.mask = mask;
    row.iItem = *inserted;
    row.pszText = const_cast<WCHAR*>(text);
    row.iImage = image;
    row.lParam = reinterpret_cast<LPARAM>(item);
    if (SendMessageW(listView_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)) == -1) {
        FreeRecordItem(item);
        listedWhole_ = false;
    } else {
        ++*inserted;
        ++rows_;
    }
}

// The row goes from the list, or nothing is deleted: a row still shown keeps its item.
bool RecordDeleteDialog::RemoveRow(int row) {
    if (!SendMessageW(listView_, LVM_DELETEITEM, row, 0)) return false;
    --rows_;
    return true;
}

void RecordDeleteDialog::UpdateDeleteButton() {
    BOOL anyTicked = FALSE;
    int count = RowCount();
    for (int i = 0; i < count && !anyTicked; i++) {
        RecordItem* item = RowItem(i);
        anyTicked = item && item->ticked;
    }
    EnableDeleteButton(anyTicked);
}

void RecordDeleteDialog::EnableDeleteButton(BOOL enable) {
    EnableWindow(GetDlgItem(window, DeleteButtonId), enable);
}

BOOL RecordDeleteDialog::HitTestDeleteLink(HWND listView, POINT point) {
    LVHITTESTINFO hit = {};
    hit.pt = point;
    int row =
        static_cast<int>(SendMessageW(listView, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0) return FALSE;
    RECT r = {};
    r.left = LVIR_BOUNDS;
    if (!SendMessageW(listView, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r))) return FALSE;
    int linkLeft = r.right - DeleteLinkRightOffset;
    return linkLeft < point.x && point.x < linkLeft + DeleteLinkWidth && r.top + 2 < point.y &&
           point.y < r.bottom - 5;
}

BOOL RecordDeleteDialog::IsVerticalScrollBarVisible(HWND listView) {
    SCROLLBARINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetScrollBarInfo(listView, OBJID_VSCROLL, &info)) return TRUE;
    return (info.rgstate[0] & STATE_SYSTEM_INVISIBLE) == 0;
}

LRESULT CALLBACK RecordDeleteDialog::ListViewProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    static const WindowSubclass properties(LinkOwnerProp, LinkProcProp);
    auto* dialog = static_cast<RecordDeleteDialog*>(properties.Owner(window));
    WNDPROC previous = properties.PreviousProc(window);

    switch (message) {
    case WM_MOUSEMOVE: {
        POINT point = {LOWORD(lParam), HIWORD(lParam)};
        SetCursor(LoadCursorW(nullptr, HitTestDeleteLink(window, point) ? IDC_HAND : IDC_ARROW));
        break;
    }
    case WM_SETCURSOR:
        return TRUE; // keeps the cursor chosen on the last mouse move
    case LVM_DELETEITEM: {
        BOOL barBefore = IsVerticalScrollBarVisible(window);
        LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
        if (barBefore && !IsVerticalScrollBarVisible(window)) {
            int width = static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH, 0, 0));
            SendMessageW(window, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(width + ScrollBarAllowance, 0));
        }
        if (dialog) dialog->UpdateDeleteButton();
        return result;
    }
    default:
        break;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void RecordDeleteDialog::ToggleRow(int row) {
    RecordItem* item = RowItem(row);
    if (!item) return;
    item->ticked = !item->ticked;
    WriteRowItem(row, item);
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    if (SendMessageW(listView_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds)))
        InvalidateRect(listView_, &bounds, FALSE);
    UpdateDeleteButton();
}

void RecordDeleteDialog::DeleteRowByLink(int row) {
    WCHAR text[SearchTextUnits] = {};
    RecordItem* item = RowItem(row, text, SearchTextUnits);
    if (!RemoveRow(row)) return;
    if (kind_ == AddressBarRecords) {
        // Without its item the row's URL is unknown; ClearAddressBars with no URL would empty
        // every address bar instead.
        if (item) {
            ClearAddressBars(item->url);
            TypedUrlStore& store = TypedUrlStore::Instance();
            store.BeginDeletion();
            store.MarkDeleted(item->url);
            store.CommitDeletion();
        }
    } else if (kind_ == SearchRecords) {
        DeleteSearchRecord(owner_->Site(), text);
    }
    FreeRecordItem(item);
    if (rows_ == 0) EnableDeleteButton(FALSE);
}

void RecordDeleteDialog::TickAllRows() {
    int count = RowCount();
    for (int i = 0; i < count; i++) {
        if (RecordItem* item = RowItem(i)) {
            item->ticked = 1;
            WriteRowItem(i, item);
        }
    }
    InvalidateRect(listView_, nullptr, FALSE);
    UpdateDeleteButton();
}

void RecordDeleteDialog::InvertTicks() {
    int count = RowCount();
    for (int i = 0; i < count; i++) {
        if (RecordItem* item = RowItem(i)) {
            item->ticked = !item->ticked;
            WriteRowItem(i, item);
        }
    }
    InvalidateRect(listView_, nullptr, FALSE);
    UpdateDeleteButton();
}

// From the last row to the first, so that deleting a row does not move the rows still to visit.
void RecordDeleteDialog::DeleteTickedRows() {
    TypedUrlStore* store = kind_ == AddressBarRecords ? &TypedUrlStore::Instance() : nullptr;
    if (store) store->BeginDeletion();
    for (int i = RowCount() - 1; i >= 0; i--) {
        WCHAR text[SearchTextUnits] = {};
        RecordItem* item = RowItem(i, text, SearchTextUnits);
        if (!item || !item->ticked || !RemoveRow(i)) continue;
        if (store) {
            ClearAddressBars(item->url);
            store->MarkDeleted(item->url);
        } else if (kind_ == SearchRecords) {
            DeleteSearchRecord(owner_->Site(), text);
        }
        FreeRecordItem(item);
    }
    if (store) store->CommitDeletion();

    if (rows_ == 0 && listedWhole_) {
        if (kind_ == AddressBarRecords) {
            HWND addressBar = OwnerAddressBar();
            if (IsWindow(addressBar)) ResetAddressBar(addressBar);
        }
        EnableDeleteButton(FALSE);
    }
}

HWND RecordDeleteDialog::OwnerAddressBar() const {
    return owner_ ? FindAddressBar(owner_->BrowserWindow()) : nullptr;
}
