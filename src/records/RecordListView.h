// The record dialog's list: an owner-drawn report list view of one column whose rows each show
// a tick, for address-bar records the site's icon, the record's text and a "删除" link. It keeps
// every row's RecordItem, draws the rows, and answers the mouse and the keyboard: Space ticks
// the focused row, Ctrl+A ticks every row, Delete asks for the focused row's deletion. Each
// tick is also the item's state image (1 unticked, 2 ticked), where accessibility reads it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "env/Handles.h"
#include "records/RecordList.h"
#include "ui/WindowSubclass.h"

// The width in pixels of "删除" minus 6, measured each time a list is attached: the part of a
// row's delete link that takes clicks.
extern int DeleteLinkWidth;

// What the list tells the dialog around it: a tick set or taken by the keyboard or a row gone
// (deleteRow -1), or Delete pressed on deleteRow.
using RecordListCallback = void (*)(void* context, int deleteRow);

class RecordListView {
public:
    RecordListView();
    ~RecordListView();
    RecordListView(const RecordListView&) = delete;
    RecordListView& operator=(const RecordListView&) = delete;

    // Takes the dialog's list view: one column as wide as the list, rows twice as tall as the
    // text, the check images, the subclass. A null list view gives a list without rows.
    void Attach(HWND listView, RecordKind kind, RecordListCallback callback, void* context);
    // Frees every row's item and gives the list view back its font and image lists.
    void Detach();
    // Narrows the column when the filled list shows its vertical scroll bar.
    void FitColumn();

    HWND Window() const { return listView_; }
    int RowCount() const;
    // Rows inserted and not deleted, as the list view answered.
    int RowsKept() const { return rows_; }
    // Whether every record offered found a row.
    bool ListedWhole() const { return listedWhole_; }
    void MarkIncomplete() { listedWhole_ = false; }

    // The row's item, and its text into text (capacity units) when text is given.
    RecordItem* RowItem(int row, WCHAR* text = nullptr, int capacity = 0) const;
    // Appends a row, with image for address-bar records (-1: none). The list takes item, and
    // frees it when the row cannot be made.
    void InsertRow(const WCHAR* text, int image, RecordItem* item);
    // The row goes from the list, or nothing is deleted: a row still shown keeps its item.
    bool RemoveRow(int row);
    void ToggleRow(int row);
    // Ticks every row, or inverts every row's tick.
    void SetAllTicks(bool invert);
    bool AnyTicked() const;
    int FocusedRow() const;
    // Makes row the keyboard's row and scrolls it into view.
    void FocusRow(int row);

    // A copy of addressBar's image list with the default shortcut icon appended, in the list.
    BOOL BuildSiteIconList(HWND addressBar);
    // Appends icon to the site icons; its index, or the default icon's when it cannot be added.
    int AddSiteIcon(HICON icon);
    HIMAGELIST CheckImages() const { return checkImages_.Get(); }
    HIMAGELIST SiteIcons() const { return siteIcons_.Get(); }
    int DefaultIconIndex() const { return defaultIconIndex_; }

    void DrawRow(const DRAWITEMSTRUCT& draw);

    // Whether point (list-view client coordinates) lies on a row's delete link.
    static BOOL HitTestDeleteLink(HWND listView, POINT point);
    // False only when the system says for certain that the vertical scroll bar is hidden.
    static BOOL IsVerticalScrollBarVisible(HWND listView);

private:
    __attribute__((noinline)) LRESULT Send(UINT message, WPARAM wParam = 0,
                                           LPARAM lParam = 0) const;
    static LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void SetTick(int row, RecordItem* item, LONG ticked);

    HWND listView_ = nullptr;
    RecordKind kind_ = static_cast<RecordKind>(0);
    RecordListCallback callback_ = nullptr;
    void* context_ = nullptr;
    int columnWidth_ = 0;
    UniqueImageList checkImages_;
    UniqueImageList siteIcons_;
    HFONT listFont_ = nullptr; // the list view's own, given back at Detach
    UniqueFont enlargedFont_;
    int defaultIconIndex_ = -1;
    int rows_ = 0;
    bool listedWhole_ = true;
    WindowSubclass subclass_;
};
