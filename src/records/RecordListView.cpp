#include "records/RecordListView.h"

#include "records/CheckImages.h"
#include "records/RecordList.h"
#include "ui/LinkLabel.h"

int DeleteLinkWidth = 0;

namespace {

const WCHAR DeleteLinkText[] = L"删除";
const COLORREF SelectedRowColor = RGB(199, 228, 243);
const COLORREF DeleteLinkColor = RGB(8, 51, 189);
const COLORREF SeparatorColor = RGB(127, 157, 185);

// Lengths at 96 DPI, grown with RecordPixels: the delete link occupies the last 35 pixels of a
// row; room given back to the column when the vertical scroll bar goes.
const int DeleteLinkRightOffset = 35;
const int ScrollBarAllowance = 18;
// The item state images that tell a row's tick: 1 unticked, 2 ticked, as check-box lists do.
const UINT UntickedState = INDEXTOSTATEIMAGEMASK(1);
const UINT TickedState = INDEXTOSTATEIMAGEMASK(2);

} // namespace

RecordListView::RecordListView() : subclass_(LinkOwnerProp, LinkProcProp) {}

RecordListView::~RecordListView() = default;

// One call for every message to the list view: the module's code stays small.
LRESULT RecordListView::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(listView_, message, wParam, lParam);
}

void RecordListView::Attach(HWND listView, RecordKind kind, RecordListCallback callback,
                            void* context) {
    listView_ = listView;
    kind_ = kind;
    callback_ = callback;
    context_ = context;
    rows_ = 0;
    listedWhole_ = listView != nullptr;
    checkImages_.Reset(CreateCheckImageList(listView));

    RECT client = {};
    GetClientRect(listView_, &client);
    columnWidth_ = client.right - client.left;
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = columnWidth_;
    Send(LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    {
        WindowDc dc(listView_);
        SIZE size = {};
        GetTextExtentPoint32W(dc.Get(), DeleteLinkText, lstrlenW(DeleteLinkText), &size);
        DeleteLinkWidth = size.cx - 6;
    }

    // Rows twice as tall as the text: the list view takes its row height from its font, so it
    // gets a font of double height; the rows themselves are drawn in the original one.
    listFont_ = reinterpret_cast<HFONT>(Send(WM_GETFONT, 0, 0));
    LOGFONTW logFont = {};
    if (listFont_ && GetObjectW(listFont_, sizeof(logFont), &logFont)) {
        logFont.lfHeight *= 2;
        enlargedFont_.Reset(CreateFontIndirectW(&logFont));
        if (enlargedFont_) Send(WM_SETFONT, reinterpret_cast<WPARAM>(enlargedFont_.Get()), 1);
    }

    subclass_.Install(listView_, ListViewProc, this);

    LRESULT exStyle = Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, exStyle | LVS_EX_TRACKSELECT);
    Send(LVM_SETHOVERTIME, 0, 1);
}

void RecordListView::Detach() {
    subclass_.Remove(listView_, ListViewProc, this);

    // The list view does not share its image lists, so it would destroy the site icon list
    // once more when it goes: the list owns that list and takes it back first.
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    checkImages_.Reset();
    siteIcons_.Reset();

    if (listFont_) Send(WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), 0);
    enlargedFont_.Reset();

    int count = RowCount();
    for (int i = 0; i < count; i++) {
        if (RecordItem* item = RowItem(i)) {
            LVITEMW cleared = {};
            cleared.mask = LVIF_PARAM;
            cleared.iItem = i;
            Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cleared));
            FreeRecordItem(item);
        }
    }
}

void RecordListView::FitColumn() {
    if (IsVerticalScrollBarVisible(listView_))
        Send(LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(columnWidth_ - RecordPixels(ScrollBarAllowance), 0));
}

int RecordListView::RowCount() const {
    if (!listView_) return 0;
    return static_cast<int>(Send(LVM_GETITEMCOUNT, 0, 0));
}

RecordItem* RecordListView::RowItem(int row, WCHAR* text, int capacity) const {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (text && capacity > 0) {
        text[0] = 0;
        item.mask |= LVIF_TEXT;
        item.pszText = text;
        item.cchTextMax = capacity;
    }
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    if (text && item.pszText && item.pszText != text && capacity > 0)
        lstrcpynW(text, item.pszText, capacity);
    return reinterpret_cast<RecordItem*>(item.lParam);
}

// The item is the row's own, changed in place; the list view learns the tick as the row's state.
void RecordListView::SetTick(int row, RecordItem* item, LONG ticked) {
    item->ticked = ticked;
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = ticked ? TickedState : UntickedState;
    Send(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

void RecordListView::InsertRow(const WCHAR* text, int image, RecordItem* item) {
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE | (kind_ == AddressBarRecords ? LVIF_IMAGE : 0);
    row.iItem = RowCount();
    row.pszText = const_cast<WCHAR*>(text);
    row.iImage = image;
    row.lParam = reinterpret_cast<LPARAM>(item);
    row.stateMask = LVIS_STATEIMAGEMASK;
    row.state = UntickedState;
    if (Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)) == -1) {
        FreeRecordItem(item);
        listedWhole_ = false;
    } else {
        ++rows_;
    }
}

bool RecordListView::RemoveRow(int row) {
    if (!Send(LVM_DELETEITEM, row, 0)) return false;
    --rows_;
    return true;
}

void RecordListView::ToggleRow(int row) {
    RecordItem* item = RowItem(row);
    if (!item) return;
    SetTick(row, item, !item->ticked);
    // Only the row's tick changed: repaint that row, not the list.
    Send(LVM_REDRAWITEMS, row, row);
}

void RecordListView::SetAllTicks(bool invert) {
    int count = RowCount();
    for (int i = 0; i < count; i++)
        if (RecordItem* item = RowItem(i)) SetTick(i, item, invert ? !item->ticked : 1);
    InvalidateRect(listView_, nullptr, FALSE);
}

bool RecordListView::AnyTicked() const {
    int count = RowCount();
    for (int i = 0; i < count; i++) {
        RecordItem* item = RowItem(i);
        if (item && item->ticked) return true;
    }
    return false;
}

int RecordListView::FocusedRow() const {
    if (!listView_) return -1;
    return static_cast<int>(
        Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED, 0)));
}

void RecordListView::FocusRow(int row) {
    if (row < 0 || row >= RowCount()) return;
    LVITEMW state = {};
    state.stateMask = LVIS_FOCUSED;
    state.state = LVIS_FOCUSED;
    Send(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    Send(LVM_ENSUREVISIBLE, row, FALSE);
}

BOOL RecordListView::BuildSiteIconList(HWND addressBar) {
    if (!addressBar) return 0;
    if (siteIcons_) {
        // The list view may still show the old list; it must not keep a destroyed one.
        if (Send(LVM_GETIMAGELIST, LVSIL_SMALL, 0) == reinterpret_cast<LRESULT>(siteIcons_.Get()))
            Send(LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        siteIcons_.Reset();
        defaultIconIndex_ = -1;
    }

    auto boxImages =
        reinterpret_cast<HIMAGELIST>(SendMessageW(addressBar, CBEM_GETIMAGELIST, 0, 0));
    if (!boxImages) return 0;
    // A copy, so that the box's own image indexes stay valid in the list; at the system's
    // small-icon size, so that the icons grow with the rows beyond 96 DPI.
    int size = RecordPixels(16); // the system's small-icon size
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(boxImages, &width, &height);
    if (width == size) {
        siteIcons_.Reset(ImageList_Duplicate(boxImages));
    } else {
        siteIcons_.Reset(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 8, 8));
        for (int i = 0;; i++) {
            UniqueIcon image(ImageList_GetIcon(boxImages, i, ILD_NORMAL));
            if (!image || ImageList_ReplaceIcon(siteIcons_.Get(), -1, image.Get()) < 0) break;
        }
    }
    UniqueIcon icon(LoadDefaultShortcutIcon());
    if (icon) defaultIconIndex_ = ImageList_ReplaceIcon(siteIcons_.Get(), -1, icon.Get());
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(siteIcons_.Get()));
    return 1;
}

int RecordListView::AddSiteIcon(HICON icon) {
    if (!icon) return defaultIconIndex_;
    return ImageList_ReplaceIcon(siteIcons_.Get(), -1, icon);
}

void RecordListView::DrawRow(const DRAWITEMSTRUCT& draw) {
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
    Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row));
    const WCHAR* rowText = row.pszText ? row.pszText : text;

    int textOffset = offset + RecordPixels(18);
    if (kind_ == AddressBarRecords) {
        ImageList_Draw(siteIcons_.Get(), row.iImage, dc, rc.left + offset + RecordPixels(17), y,
                       ILD_TRANSPARENT);
        textOffset = offset + RecordPixels(35);
    }

    HFONT font = listFont_ ? listFont_ : static_cast<HFONT>(GetCurrentObject(dc, OBJ_FONT));
    HGDIOBJ previousFont = SelectObject(dc, font);
    // The text goes over the row's background, not a box of the context's own colour.
    int previousMode = SetBkMode(dc, TRANSPARENT);

    int linkLeft = rc.right - RecordPixels(DeleteLinkRightOffset);
    RECT textRect = {rc.left + textOffset + 5, rc.top, linkLeft - 10, rc.bottom};
    COLORREF previousColor = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, rowText, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_WORD_ELLIPSIS);
    SetTextColor(dc, previousColor);

    LOGFONTW logFont = {};
    GetObjectW(font, sizeof(logFont), &logFont);
    logFont.lfUnderline = TRUE;
    UniqueFont underlined(CreateFontIndirectW(&logFont));
    if (underlined) SelectObject(dc, underlined.Get());
    previousColor = SetTextColor(dc, DeleteLinkColor);
    RECT linkRect = {linkLeft, rc.top, rc.right, rc.bottom};
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
    // The keyboard's row, inside the separator line.
    if (draw.itemState & ODS_FOCUS) {
        RECT focus = {rc.left, rc.top, rc.right, rc.bottom - 1};
        DrawFocusRect(dc, &focus);
    }
}

BOOL RecordListView::HitTestDeleteLink(HWND listView, POINT point) {
    LVHITTESTINFO hit = {};
    hit.pt = point;
    int row =
        static_cast<int>(SendMessageW(listView, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0) return FALSE;
    RECT r = {};
    r.left = LVIR_BOUNDS;
    if (!SendMessageW(listView, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r))) return FALSE;
    int linkLeft = r.right - RecordPixels(DeleteLinkRightOffset);
    return linkLeft < point.x && point.x < linkLeft + DeleteLinkWidth && r.top + 2 < point.y &&
           point.y < r.bottom - 5;
}

BOOL RecordListView::IsVerticalScrollBarVisible(HWND listView) {
    SCROLLBARINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetScrollBarInfo(listView, OBJID_VSCROLL, &info)) return TRUE;
    return (info.rgstate[0] & STATE_SYSTEM_INVISIBLE) == 0;
}

LRESULT CALLBACK RecordListView::ListViewProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    static const WindowSubclass properties(LinkOwnerProp, LinkProcProp);
    auto* list = static_cast<RecordListView*>(properties.Owner(window));
    WNDPROC previous = properties.PreviousProc(window);

    switch (message) {
    case WM_MOUSEMOVE: {
        POINT point = {LOWORD(lParam), HIWORD(lParam)};
        SetCursor(LoadCursorW(nullptr, HitTestDeleteLink(window, point) ? IDC_HAND : IDC_ARROW));
        break;
    }
    case WM_SETCURSOR:
        return TRUE; // keeps the cursor chosen on the last mouse move
    case WM_KEYDOWN:
        if (wParam != VK_DELETE || !list) break;
        if (int row = list->FocusedRow(); row >= 0) list->callback_(list->context_, row);
        return 0;
    case WM_CHAR:
        // Space ticks the focused row and Ctrl+A (character 1) every row; neither is a letter
        // to search the rows for.
        if ((wParam != L' ' && wParam != 1) || !list) break;
        if (wParam == 1)
            list->SetAllTicks(false);
        else if (int row = list->FocusedRow(); row >= 0)
            list->ToggleRow(row);
        list->callback_(list->context_, -1);
        return 0;
    case LVM_DELETEITEM: {
        BOOL barBefore = IsVerticalScrollBarVisible(window);
        LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
        if (barBefore && !IsVerticalScrollBarVisible(window)) {
            int width = static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH, 0, 0));
            SendMessageW(window, LVM_SETCOLUMNWIDTH, 0,
                         MAKELPARAM(width + RecordPixels(ScrollBarAllowance), 0));
        }
        if (list) list->callback_(list->context_, -1);
        return result;
    }
    default:
        break;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}
