#include "cleaners/SearchBox.h"

#include <shlwapi.h>

namespace {

const WCHAR EditClass[] = L"Edit";
const WCHAR ContainerClass[] = L"VelaToolbar_SearchBoxContainer";

BOOL HasClass(HWND window, const WCHAR* className) {
    WCHAR name[260] = {};
    if (!GetClassNameW(window, name, 260)) return FALSE;
    return StrCmpW(name, className) == 0;
}

// The first "Edit" below the toolbar whose parent is the search-box container.
BOOL CALLBACK FindSearchEdit(HWND child, LPARAM param) {
    if (!HasClass(child, EditClass)) return TRUE;
    HWND parent = GetParent(child);
    if (!IsWindow(parent) || !HasClass(parent, ContainerClass)) return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

void SendSearchCommand(IButtonSite* site, LONG command, LONG all, void* pointer) {
    SearchCommandArgs args = {all, pointer};
    site->SendComponentCommand(SearchComponentName, SearchComponentMessage, command, &args);
}

} // namespace

HWND FindSearchBox(IButtonSite* site) {
    if (!site) return nullptr;
    HWND toolbar = nullptr;
    site->GetToolbarWindow(&toolbar);
    if (!IsWindow(toolbar)) return nullptr;
    HWND found = nullptr;
    EnumChildWindows(toolbar, FindSearchEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

int GetSearchRecords(IButtonSite* site, SearchRecordList* list) {
    if (!list) return 0;
    if (!site || !FindSearchBox(site)) return 0;
    SendSearchCommand(site, SearchCommandFill, 0, list);
    return 1;
}

void DeleteSearchRecord(IButtonSite* site, const WCHAR* text) {
    if (!text) return;
    if (!site || !FindSearchBox(site)) return;
    SendSearchCommand(site, SearchCommandDelete, 0, const_cast<WCHAR*>(text));
}

void ClearSearchRecords(IButtonSite* site) {
    if (!FindSearchBox(site)) return;
    SendSearchCommand(site, SearchCommandDelete, 1, nullptr);
}

BOOL InitSearchRecordList(SearchRecordList* list) {
    if (!list) return FALSE;
    list->reserved = 0;
    list->count = 0;
    auto* sentinel =
        static_cast<SearchRecordNode*>(HeapAlloc(GetProcessHeap(), 0, sizeof(SearchRecordNode)));
    list->sentinel = sentinel;
    if (!sentinel) return FALSE;
    sentinel->next = sentinel;
    sentinel->prev = sentinel;
    sentinel->text[0] = L'\0';
    return TRUE;
}

void FreeSearchRecordList(SearchRecordList* list) {
    if (!list || !list->sentinel) return;
    SearchRecordNode* sentinel = list->sentinel;
    SearchRecordNode* node = sentinel->next;
    while (node && node != sentinel) {
        SearchRecordNode* next = node->next;
        HeapFree(GetProcessHeap(), 0, node);
        node = next;
    }
    HeapFree(GetProcessHeap(), 0, sentinel);
    list->sentinel = nullptr;
    list->count = 0;
}
