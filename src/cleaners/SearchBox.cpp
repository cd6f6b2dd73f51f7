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
    // The list and its sentinel are ours: a host that puts another pointer there must not make
    // the module walk, or free, what it pointed at, nor lose the sentinel.
    SearchRecordNode* sentinel = list->sentinel;
    SendSearchCommand(site, SearchCommandFill, 0, list);
    list->sentinel = sentinel;
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
    for (size_t left = CountSearchRecords(list); left > 0; left--) {
        SearchRecordNode* next = node->next;
        HeapFree(GetProcessHeap(), 0, node);
        node = next;
    }
    HeapFree(GetProcessHeap(), 0, sentinel);
    list->sentinel = nullptr;
    list->count = 0;
}

size_t CountSearchRecords(const SearchRecordList* list) {
    if (!list || !list->sentinel) return 0;
    const SearchRecordNode* sentinel = list->sentinel;
    const SearchRecordNode* first = sentinel->next;
    auto ends = [sentinel](const SearchRecordNode* node) { return !node || node == sentinel; };
    if (ends(first)) return 0;
    // Brent's cycle finding: the hare runs ahead until it reaches the end, or meets the tortoise
    // inside a loop of length `cycle`; memory stays constant whatever the host built.
    size_t power = 1;
    size_t cycle = 1;
    size_t reached = 1; // the hare stands on node number `reached`, counted from 0
    const SearchRecordNode* tortoise = first;
    const SearchRecordNode* hare = first->next;
    while (hare != tortoise) {
        if (ends(hare)) return reached;
        if (power == cycle) {
            tortoise = hare;
            power *= 2;
            cycle = 0;
        }
        hare = hare->next;
        cycle++;
        reached++;
    }
    // A loop: the nodes before it and the nodes on it, each counted once.
    tortoise = hare = first;
    for (size_t i = 0; i < cycle; i++)
        hare = hare->next;
    size_t before = 0;
    while (tortoise != hare) {
        tortoise = tortoise->next;
        hare = hare->next;
        before++;
    }
    return before + cycle;
}
