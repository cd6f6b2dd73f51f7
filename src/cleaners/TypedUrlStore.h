// The URLs typed into the browser's address bar, and the deletion of single ones.
//
// Before NT 6 a deletion rewrites the browser's typed-URL list without the deleted URLs.
// From NT 6 on the browser's list is left alone and the deleted URLs are kept instead in
// the "DeletedUrls" sub key of the toolbar's per-user key, as values 1, 2, ... 25.
// Neither rewrite ever deletes or overwrites a value it cannot read as a record.
#pragma once

#include <windows.h>

#include "cleaners/HiddenString.h"
#include "cleaners/UrlList.h"

constexpr int TypedUrlLimit = 25; // records in each list on disk
// A record's whole room, 2083 units and the terminator: a value with more data is not read.
constexpr DWORD TypedUrlMaxDataBytes = sizeof(UrlRecord);

// The registry path under HKEY_CURRENT_USER of the browser's typed-URL list.
HiddenString TypedUrlKeyPath();

class TypedUrlStore {
public:
    // The process-wide store, created on the first call, for the system it runs on.
    static TypedUrlStore& Instance();

    // newSystem: deletions go to the "DeletedUrls" list instead of the typed-URL list.
    explicit TypedUrlStore(BOOL newSystem);
    virtual ~TypedUrlStore();
    TypedUrlStore(const TypedUrlStore&) = delete;
    TypedUrlStore& operator=(const TypedUrlStore&) = delete;

    BOOL IsNewSystem() const { return newSystem_; }

    // Appends the values url1 ... url25 that are records (of at most 2083 units), in that
    // order. 1 when the key was opened, 0 (list unchanged) when it could not be. *complete,
    // when asked for, tells whether every name could be read and every record kept.
    int LoadTypedUrls(UrlList* list, bool* complete = nullptr);
    // A deletion batch: BeginDeletion, MarkDeleted per URL, CommitDeletion.
    void BeginDeletion();
    void MarkDeleted(const WCHAR* url);
    // 1 when the list was rewritten whole, else 0 with the list as it was. Empties the batch.
    int CommitDeletion();

private:
    int CommitToTypedUrls();
    int CommitToDeletedUrls();
    int SaveTypedUrls(const UrlList& list);
    // False when the key could not be opened or not read to its end: the earlier deletions are
    // then not known, and the list must not be saved.
    bool LoadDeletedUrls();
    void PruneDeletedUrls();
    int SaveDeletedUrls(const UrlList& list);

    BOOL newSystem_;
    UrlList deleted_;
    UrlList pending_;
};
