// The toolbar's search box: a container window of class "VelaToolbar_SearchBoxContainer" with
// an "Edit" child below the host toolbar, and the "S_Box" component registered with a
// HostSite. The component holds the search records and serves the host commands on them:
// 166 appends every record to the caller's SearchRecordList (nodes from the process heap,
// before the sentinel, count incremented); 167 deletes the record named by the payload's text
// (all = 0) or every record (all = 1). A lying component answers 166 with a list that breaks
// the layout's rules in one chosen way.
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

// How the component answers command 166.
enum class SearchListAnswer {
    Honest,
    CountTooHigh,     // count says far more records than there are nodes
    CountZero,        // count stays 0 although nodes were appended
    Loop,             // the last node links back to a node in the middle, never to the sentinel
    NullSentinel,     // nodes appended as usual, then the list's sentinel pointer set to null
    OpenEnd,          // the last node's next pointer is null instead of the sentinel
    UnterminatedText, // every node's 260 units are filled without a terminator
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
    // The lying answers append at least one node, so that each has something to lie about.
    void SetListAnswer(SearchListAnswer answer) { answer_ = answer; }
    void SetRecords(const std::vector<std::wstring>& records) { records_ = records; }

private:
    HRESULT OnCommand(LONG message, LONG command, void* payload);
    HRESULT Fill(SearchRecordList* list);

    ComPtr<HostSite> site_;
    HWND container_ = nullptr;
    HWND edit_ = nullptr;
    std::vector<std::wstring> records_;
    std::vector<SearchCommand> commands_;
    SearchListAnswer answer_ = SearchListAnswer::Honest;
};
