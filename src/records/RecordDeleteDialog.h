// "删除地址栏记录" and "删除搜索记录": the dialog that lists single address-bar or search-box
// records in an owner-drawn list with check boxes, site icons and a "删除" link per row, and
// deletes the ticked ones or one at a time. The clean dialog opens it from its two links.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "records/RecordList.h"
#include "records/RecordListView.h"
#include "records/RecordOwner.h"
#include "ui/DialogBase.h"

class RecordDeleteDialog : public DialogBase {
public:
    static const int TemplateId = 255;
    static const int ListViewId = 1196;
    static const int SelectAllButtonId = 1202;
    static const int InvertButtonId = 1203;
    static const int DeleteButtonId = 1145;

    RecordDeleteDialog();
    ~RecordDeleteDialog() override;

    // Shows the records of kind modally over the owner's window and returns how many rows were
    // left when it closed; -1 without an owner, when the dialog could not be shown, or when it
    // could not list every record, so that an empty list is never taken for "every record
    // deleted".
    int ShowForOwner(const RecordOwner* owner, RecordKind kind);

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    // Enables "确定删除" when at least one row is ticked.
    void UpdateDeleteButton();

    RecordKind Kind() const { return kind_; }
    HWND ListView() const { return list_.Window(); }
    HIMAGELIST CheckImageList() const { return list_.CheckImages(); }
    HIMAGELIST SiteIconList() const { return list_.SiteIcons(); }
    int DefaultIconIndex() const { return list_.DefaultIconIndex(); }
    int RowsLeft() const { return rowsLeft_; }

private:
    LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnNotify(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDrawItem(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    // The list's keys: a tick changed (deleteRow -1), or Delete on deleteRow.
    static void OnListKey(void* dialog, int deleteRow);

    void DeleteRowByLink(int row);
    void EnableDeleteButton(BOOL enable);
    void DeleteTickedRows();
    HWND OwnerAddressBar() const;

    RecordKind kind_ = static_cast<RecordKind>(0);
    RecordOwner owner_ = {};
    RecordListView list_;
    int rowsLeft_ = -1; // stays -1 when the dialog never ran or could not list every record
};
