// The toolbar's search box: a container window of class "VelaToolbar_SearchBoxContainer" with
// an "Edit" child below the host toolbar, and the "S_Box" component registered with a
// HostSite. The component holds the search records and serves the host commands on them:
// 166 appends every record to the caller's SearchRecordList (nodes from the process heap,
// before the sentinel, count incremented); 167 deletes the record named by the payload's text
// (all = 0) or every record (all = 1).
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "testbed/HostSite.h"

// One command the component received, with the payload as it read it.
struct SearchCommand {
    LONG message = 0;
    LONG command = 0;
    LONG all = 0;
    void* pointer = nullptr;
    std::wstring text; // command 167 with all = 0: the text the pointer named
};

class SearchBoxComponent {
public:
    // parent: the window the container is created under (the toolbar window, or a window
    // below it); containerClass: another class builds a look-alike that is not the search box.
    SearchBoxComponent(HostSite* site, HWND parent, const std::vector<std::wstring>& records,
                       const WCHAR* containerClass = L"VelaToolbar_SearchBoxContainer");
    ~SearchBoxComponent();
    SearchBoxComponent(const SearchBoxComponent&) = delete;
    SearchBoxComponent& operator=(const SearchBoxComponent&) = delete;

    HWND Container() const { return container_; }
    HWND Edit() const { return edit_; }
    const std::vector<std::wstring>& Records() const { return records_; }
    const std::vector<SearchCommand>& Commands() const { return commands_; }

private:
    HRESULT OnCommand(LONG message, LONG command, void* payload);

    ComPtr<HostSite> site_;
    HWND container_ = nullptr;
    HWND edit_ = nullptr;
    std::vector<std::wstring> records_;
    std::vector<SearchCommand> commands_;
};
