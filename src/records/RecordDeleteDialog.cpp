#include "records/RecordDeleteDialog.h"

#include "cleaners/AddressBars.h"
#include "cleaners/SearchBox.h"
#include "cleaners/TypedUrlStore.h"
#include "host/Module.h"
#include "records/CheckImages.h"
#include "records/RecordSources.h"

namespace {

// Clicks left of this x (list-view client coordinates, at 96 DPI) toggle the row's tick.
const int TickZoneWidth = 16;
// A search record holds up to 259 characters (SearchRecordNode::text): a row's text is read
// whole, or the host would be asked to delete a record it does not have.
const int SearchTextUnits = 260;

} // namespace

RecordDeleteDialog::RecordDeleteDialog() : DialogBase(TemplateId) {}

RecordDeleteDialog::~RecordDeleteDialog() = default;

int RecordDeleteDialog::ShowForOwner(const RecordOwner* owner, RecordKind kind) {
    if (!owner) return -1;
    owner_ = *owner;
    kind_ = kind;
    HWND parent = IsWindow(owner_.window) ? owner_.window : nullptr;
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
    HWND listView = GetDlgItem(window, ListViewId);
    list_.Attach(listView, kind_, OnListKey, this);

    // The list view re-measures its scroll bars and invalidates its rows after every insertion
    // while it redraws; with redrawing off during the fill it does that once, when it is turned
    // back on, so the scroll bar state read below is already the filled list's.
    SendMessageW(listView, WM_SETREDRAW, FALSE, 0);
    if (kind_ == AddressBarRecords) {
        SetWindowTextW(window, L"删除地址栏记录");
        FillAddressBarRecords(list_, OwnerAddressBar());
    } else if (kind_ == SearchRecords) {
        SetWindowTextW(window, L"删除搜索记录");
        FillSearchRecords(list_, owner_.site);
    }
    SendMessageW(listView, WM_SETREDRAW, TRUE, 0);

    UpdateDeleteButton();
    list_.FitColumn();
    if (list_.RowCount() == 0) return 0;
    // The keyboard starts on the first row: TRUE has the system give the focus to the first
    // control in the tab order, the list.
    list_.FocusRow(0);
    return TRUE;
}

LRESULT RecordDeleteDialog::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    handled = FALSE; // "关闭" reaches the default handling as IDCANCEL
    if (HIWORD(wParam) != 0) return 0;
    switch (LOWORD(wParam)) {
    case SelectAllButtonId:
    case InvertButtonId:
        list_.SetAllTicks(LOWORD(wParam) == InvertButtonId);
        UpdateDeleteButton();
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
    HWND listView = list_.Window();
    if (!header || !listView || header->hwndFrom != listView) return 0;
    if (header->code != static_cast<UINT>(NM_CLICK) && header->code != static_cast<UINT>(NM_DBLCLK))
        return 0;

    auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
    if (activate->ptAction.x < RecordPixels(TickZoneWidth) && activate->iItem >= 0) {
        list_.ToggleRow(activate->iItem);
        UpdateDeleteButton();
    }
    if (header->code == static_cast<UINT>(NM_CLICK)) {
        // The row deleted is the one whose link lies under the click.
        LVHITTESTINFO hit = {};
        hit.pt = activate->ptAction;
        int row = static_cast<int>(
            SendMessageW(listView, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row >= 0 && RecordListView::HitTestDeleteLink(listView, activate->ptAction))
            DeleteRowByLink(row);
    }
    return 0;
}

LRESULT RecordDeleteDialog::OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
    auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!draw || draw->CtlType != ODT_LISTVIEW) {
        handled = FALSE;
        return 0;
    }
    list_.DrawRow(*draw);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
    return 0;
}

LRESULT RecordDeleteDialog::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    list_.Detach();
    // Counted by the list itself: "none left" only when every record was listed and every
    // row's deletion went through, never because a count could not be had.
    int kept = list_.RowsKept();
    rowsLeft_ = kept == 0 && !list_.ListedWhole() ? -1 : kept;
    return 0;
}

void RecordDeleteDialog::OnListKey(void* dialog, int deleteRow) {
    auto* records = static_cast<RecordDeleteDialog*>(dialog);
    if (deleteRow >= 0)
        records->DeleteRowByLink(deleteRow);
    else
        records->UpdateDeleteButton();
}

void RecordDeleteDialog::UpdateDeleteButton() {
    EnableDeleteButton(list_.AnyTicked());
}

void RecordDeleteDialog::EnableDeleteButton(BOOL enable) {
    EnableWindow(GetDlgItem(window, DeleteButtonId), enable);
}

void RecordDeleteDialog::DeleteRowByLink(int row) {
    WCHAR text[SearchTextUnits] = {};
    RecordItem* item = list_.RowItem(row, text, SearchTextUnits);
    if (!list_.RemoveRow(row)) return;
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
        DeleteSearchRecord(owner_.site, text);
    }
    FreeRecordItem(item);
    if (list_.RowsKept() == 0) EnableDeleteButton(FALSE);
    // The keyboard goes on with the row that took this one's place, or the new last row.
    int count = list_.RowCount();
    list_.FocusRow(row < count ? row : count - 1);
}

// From the last row to the first, so that deleting a row does not move the rows still to visit.
void RecordDeleteDialog::DeleteTickedRows() {
    TypedUrlStore* store = kind_ == AddressBarRecords ? &TypedUrlStore::Instance() : nullptr;
    if (store) store->BeginDeletion();
    for (int i = list_.RowCount() - 1; i >= 0; i--) {
        WCHAR text[SearchTextUnits] = {};
        RecordItem* item = list_.RowItem(i, text, SearchTextUnits);
        if (!item || !item->ticked || !list_.RemoveRow(i)) continue;
        if (store) {
            ClearAddressBars(item->url);
            store->MarkDeleted(item->url);
        } else if (kind_ == SearchRecords) {
            DeleteSearchRecord(owner_.site, text);
        }
        FreeRecordItem(item);
    }
    if (store) store->CommitDeletion();

    if (list_.RowsKept() == 0 && list_.ListedWhole()) {
        if (kind_ == AddressBarRecords) {
            HWND addressBar = OwnerAddressBar();
            if (IsWindow(addressBar)) ResetAddressBar(addressBar);
        }
        EnableDeleteButton(FALSE);
    }
}

HWND RecordDeleteDialog::OwnerAddressBar() const {
    return FindAddressBar(owner_.browserWindow);
}
