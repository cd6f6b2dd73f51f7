#include "cleaners/UrlList.h"

#include <cstring>
#include <new>

UrlRecord::UrlRecord() {
    memset(text, 0, sizeof(text));
}

UrlRecord::UrlRecord(const WCHAR* url) : UrlRecord() {
    if (!url) return;
    for (int i = 0; i < UrlRecordUnits - 1 && url[i]; i++)
        text[i] = url[i];
}

UrlList::~UrlList() {
    RemoveAll();
}

int UrlList::Append(const UrlRecord& record) {
    UrlEntry* entry = new (std::nothrow) UrlEntry;
    if (!entry) return 0;
    memcpy(&entry->record, &record, sizeof(UrlRecord));
    entry->prev = last_;
    entry->next = nullptr;
    if (last_) {
        last_->next = entry;
    } else {
        first_ = entry;
    }
    last_ = entry;
    count_++;
    return 1;
}

int UrlList::Remove(const WCHAR* url) {
    UrlEntry* entry = Find(url);
    if (!entry) return 0;
    Erase(entry);
    return 1;
}

BOOL UrlList::Contains(const WCHAR* url) const {
    return Find(url) != nullptr;
}

void UrlList::RemoveAll() {
    UrlEntry* entry = first_;
    while (entry) {
        UrlEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    first_ = last_ = nullptr;
    count_ = 0;
}

UrlEntry* UrlList::Erase(UrlEntry* entry) {
    UrlEntry* next = entry->next;
    if (entry->prev) {
        entry->prev->next = next;
    } else {
        first_ = next;
    }
    if (next) {
        next->prev = entry->prev;
    } else {
        last_ = entry->prev;
    }
    delete entry;
    count_--;
    return next;
}

UrlEntry* UrlList::Find(const WCHAR* url) const {
    if (!url) return nullptr;
    for (UrlEntry* entry = first_; entry; entry = entry->next) {
        if (wcscmp(entry->record.text, url) == 0) return entry;
    }
    return nullptr;
}
