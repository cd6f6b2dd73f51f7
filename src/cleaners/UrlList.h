// Address-bar records: one URL in a fixed buffer, and an insertion-ordered list of them.
// Records match by exact, case-sensitive equality of their texts.
#pragma once

#include <windows.h>

constexpr int UrlRecordUnits = 2084; // at most 2083 units of text and the terminator

struct UrlRecord {
    // Zero-filled beyond the text and always terminated.
    WCHAR text[UrlRecordUnits];

    UrlRecord();
    // Copies at most 2083 units of url (null: the empty text).
    explicit UrlRecord(const WCHAR* url);
};

static_assert(sizeof(UrlRecord) == 4168, "a record is 2084 UTF-16 units");

struct UrlEntry {
    UrlRecord record;
    UrlEntry* prev;
    UrlEntry* next;
};

class UrlList {
public:
    UrlList() = default;
    ~UrlList();
    UrlList(const UrlList&) = delete;
    UrlList& operator=(const UrlList&) = delete;

    // Appends a copy of the whole record at the end; 0 when no entry could be allocated.
    int Append(const UrlRecord& record);
    // Removes the first entry whose text equals url; 0 when there is none.
    int Remove(const WCHAR* url);
    BOOL Contains(const WCHAR* url) const;
    void RemoveAll();
    // Unlinks and frees entry, returning the one that followed it.
    UrlEntry* Erase(UrlEntry* entry);

    int Count() const { return count_; }
    UrlEntry* First() const { return first_; }

private:
    UrlEntry* Find(const WCHAR* url) const;

    UrlEntry* first_ = nullptr;
    UrlEntry* last_ = nullptr;
    int count_ = 0;
};
