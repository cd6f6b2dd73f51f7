// "删除地址栏记录" and "删除搜索记录": the dialog that lists single address-bar or search-box
// records in an owner-drawn list with check boxes, site icons and a "删除" link per row, and
// deletes the ticked ones or one at a time. The clean dialog opens it from its two links.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "env/Handles.h"
#include "records/RecordList.h"
#include "ui/DialogBase.h"
#include "ui/WindowSubclass.h"

class CleanDialog;

enum RecordKind : LONG {
    AddressBarRecords = 1,
    SearchRecords = 2,
};

// The width in pixels of "删除" minus 6, measured at each dialog initialisation: the part of a
// row's delete link that takes clicks.
extern int DeleteLinkWidth;

class RecordDeleteDialog : public DialogBase {
public:
    static const int TemplateId = 255;
    static const int ListViewId = 1196;
    static const int SelectAllButtonId = 1202;
    static const int InvertButtonId = 1203;
    static const int DeleteButtonId = 1145;

    RecordDeleteDialog();
    ~RecordDeleteDialog() override;

    // Shows the records of kind modally over owner's window and returns how many rows were
    // left when it closed; -1 without an owner or when the dialog could not be shown.
    int ShowForOwner(CleanDialog* owner, RecordKind kind);

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    // Enables "确定删除" when at least one row is ticked.
    void UpdateDeleteButton();
    // Whether point (list-view client coordinates) lies on a row's delete link.
    static BOOL HitTestDeleteLink(HWND listView, POINT point);
    // False only when the system says for certain that the vertical scroll bar is hidden.
    static BOOL IsVerticalScrollBarVisible(HWND listView);
    static LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The rows (RecordList.cpp).
    void FillAddressBarRecords();
    void FillSearchRecords();
    // A copy of the owner's address-bar image list with the default shortcut icon appended.
    BOOL BuildSiteIconList();

    RecordKind Kind() const { return kind_; }
    HWND ListView() const { return listView_; }
    HIMAGELIST CheckImageList() const { return checkImages_.Get(); }
    HIMAGELIST SiteIconList() const { return siteIcons_.Get(); }
    int DefaultIconIndex() const { return defaultIconIndex_; }
    int RowsLeft() const { return rowsLeft_; }

private:
    LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnNotify(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDrawItem(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    void DrawRow(const DRAWITEMSTRUCT& draw);
    int RowCount() const;
    // The row's item, and its text into text (capacity units) when text is given.
    RecordItem* RowItem(int row, WCHAR* text = nullptr, int capacity = 0) const;
    void WriteRowItem(int row, RecordItem* item);
    void InsertRow(UINT mask, const WCHAR* text, int image, RecordItem* item, int* inserted);
    void ToggleRow(int row);
    void DeleteRowByLink(int row);
    bool RemoveRow(int row);
    void EnableDeleteButton(BOOL enable);
    void TickAllRows();
    void InvertTicks();
    void DeleteTickedRows();
    HWND OwnerAddressBar() const;

    RecordKind kind_ = static_cast<RecordKind>(0);
    CleanDialog* owner_ = nullptr;
    UniqueImageList checkImages_;
    UniqueImageList siteIcons_;
    HFONT listFont_ = nullptr; // the list view's own, given back at destruction
    UniqueFont enlargedFont_;
    int defaultIconIndex_ = -1;
    int rowsLeft_ = -1;       // stays -1 when the dialog never ran or could not list every record
    int rows_ = 0;            // rows inserted and not deleted, as the list view answered
    bool listedWhole_ = true; // every record found a row
    HWND listView_ = nullptr;
    WindowSubclass listSubclass_;
};
