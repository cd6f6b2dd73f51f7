#include "cleaners/TypedUrlStore.h"

#include <cstdio>
#include <cwchar>
#include <new>

#include "env/Handles.h"
#include "env/SystemQueries.h"
#include "env/ToolbarLocations.h"

namespace {

// "Software\Microsoft\Internet Explorer\TypedURLs", made by tools/scramble-string.py.
constexpr BYTE TypedUrlKeySeed = 0x9B;
const BYTE TypedUrlKeyBytes[46] = {
    0x0B, 0xAD, 0x1F, 0xA8, 0x2F, 0xA3, 0x0B, 0xB9, 0x04, 0x8F, 0x10, 0xBF, 0x2A, 0xAD, 0x0A, 0xB3,
    0x3E, 0xB6, 0x25, 0x95, 0x36, 0xB6, 0x1C, 0xAE, 0x36, 0xA7, 0x0D, 0xFC, 0x1D, 0xBA, 0x09, 0xB0,
    0x37, 0xB0, 0x1C, 0xAE, 0x04, 0x96, 0x00, 0xAC, 0x3D, 0xA6, 0x2C, 0x8E, 0x14, 0xB1,
};

constexpr int DeletedKeyPathUnits = 256;
constexpr DWORD DeletedNameUnits = 12; // names of at most 11 units are read

// "<toolbar key>\DeletedUrls", formed on first use and kept for the process.
const WCHAR* DeletedUrlsKeyPath() {
    static const WCHAR* path = [] {
        static WCHAR buffer[DeletedKeyPathUnits];
        WCHAR toolbarKey[DeletedKeyPathUnits] = {};
        GetToolbarKeyPath(toolbarKey, DeletedKeyPathUnits, nullptr);
        _snwprintf(buffer, DeletedKeyPathUnits - 1, L"%s\\DeletedUrls", toolbarKey);
        return buffer;
    }();
    return path;
}

// Opens path under HKCU with access, creating the key when it is missing.
LONG CreateUserKey(const WCHAR* path, REGSAM access, UniqueRegKey* key) {
    return RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                           nullptr, key->Put(), nullptr);
}

// Writes the value name, or deletes it when there is no data.
__attribute__((noinline)) LONG PutValue(HKEY key, const WCHAR* name, DWORD type, const WCHAR* data,
                                        DWORD bytes) {
    if (!data) return RegDeleteValueW(key, name);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data), bytes);
}

using NameFormat = void (*)(WCHAR (&name)[16], int n);

// "url%d" in a buffer of 16 units of which at most 12 are written.
void FormatTypedUrlName(WCHAR (&name)[16], int n) {
    _snwprintf(name, 12, L"url%d", n);
    name[12] = L'\0';
}

void FormatDeletedName(WCHAR (&name)[16], int n) {
    _snwprintf(name, 12, L"%d", n);
    name[12] = L'\0';
}

// Data read into a zeroed record is a record only when its last unit is still the
// terminator: 2084 units of data without one are too long.
bool IsTerminated(const UrlRecord& record) {
    return record.text[UrlRecordUnits - 1] == L'\0';
}

// Unreadable: the value exists but is no record, because its data exceeds a record's 4168
// bytes or fills them without a terminator. Failed: the value could not be queried (access
// denied, memory short), so what it holds is not known.
enum class ValueRead { Record, Missing, Unreadable, Failed };

// Reads the value name of key into record (zeroed by its constructor), with its type (type
// may be null) and size. Kept out of line, as PutValue is: one copy for every reader.
__attribute__((noinline)) ValueRead ReadRecord(HKEY key, const WCHAR* name, UrlRecord* record,
                                               DWORD* type, DWORD* bytes) {
    *bytes = TypedUrlMaxDataBytes;
    LONG status =
        RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(record->text), bytes);
    if (status == ERROR_FILE_NOT_FOUND) return ValueRead::Missing;
    if (status == ERROR_MORE_DATA) return ValueRead::Unreadable;
    if (status != ERROR_SUCCESS) return ValueRead::Failed;
    return IsTerminated(*record) ? ValueRead::Record : ValueRead::Unreadable;
}

// One name of a list on disk as the rewrite found it, to put back when the rewrite fails.
struct StoredName {
    WCHAR name[16];
    ValueRead read; // Missing when the key could not be read
    DWORD type;
    DWORD bytes;
    UrlRecord data;
};

// Stores list under the names that format gives for 1 ... 25 in the key at path. The rule
// that keeps what the store cannot read: a name whose value exists but is no record (see
// ReadRecord) is held, never written and never deleted; the records take the other names in
// order from the first, and the other names after them are deleted. So such a value keeps its
// bytes and its name, and the records are compacted around it; with no held name this is the
// plain compaction, names 1 ... count and none above. Records beyond the last free name are
// not written.
//
// The rewrite is whole or not at all: when a write or a deletion fails, every name it has gone
// past is put back as it was and 0 returned, so that no record is lost or doubled by a rewrite
// that stopped half-way; a name that could not be read at all, which may hold any record of
// the list, keeps it from starting. Returns 0, writing nothing, when the key cannot be opened
// for writing; when it cannot be opened for reading, no name is known to be held and none can
// be put back.
int StoreCompacted(const WCHAR* path, const UrlList& list, NameFormat format) {
    UniqueRegKey writer;
    if (CreateUserKey(path, KEY_SET_VALUE, &writer) != ERROR_SUCCESS) return 0;
    UniqueRegKey reader;
    bool readable =
        RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, reader.Put()) == ERROR_SUCCESS;
    // 25 records of 4 KB: too much for the stack of a browser's thread.
    auto* names = new (std::nothrow) StoredName[TypedUrlLimit];
    if (!names) return 0;
    int result = 1;
    for (int n = 0; n < TypedUrlLimit; n++) {
        format(names[n].name, n + 1);
        names[n].read = readable ? ReadRecord(reader.Get(), names[n].name, &names[n].data,
                                              &names[n].type, &names[n].bytes)
                                 : ValueRead::Missing;
        if (names[n].read == ValueRead::Failed) result = 0;
    }
    UrlEntry* entry = list.First();
    int done = 0; // the names the rewrite has gone past
    for (; done < TypedUrlLimit && result; done++) {
        StoredName& stored = names[done];
        if (stored.read == ValueRead::Unreadable) continue;
        const WCHAR* text = entry ? entry->record.text : nullptr;
        if (entry) entry = entry->next;
        // A name past the records goes; one known to be missing already is.
        if (!text && readable && stored.read == ValueRead::Missing) continue;
        LONG status = PutValue(writer.Get(), stored.name, REG_SZ, text,
                               text ? static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)) : 0);
        if (status != ERROR_SUCCESS && (text || status != ERROR_FILE_NOT_FOUND)) result = 0;
    }
    // Last first; what cannot be put back stays as the rewrite left it.
    while (!result && readable && done-- > 0) {
        StoredName& stored = names[done];
        if (stored.read != ValueRead::Unreadable)
            PutValue(writer.Get(), stored.name, stored.type,
                     stored.read == ValueRead::Missing ? nullptr : stored.data.text, stored.bytes);
    }
    delete[] names;
    return result;
}

} // namespace

HiddenString TypedUrlKeyPath() {
    return HiddenString(TypedUrlKeySeed, TypedUrlKeyBytes, sizeof(TypedUrlKeyBytes));
}

TypedUrlStore& TypedUrlStore::Instance() {
    static TypedUrlStore store(IsNt6OrLater());
    return store;
}

TypedUrlStore::TypedUrlStore(BOOL newSystem) : newSystem_(newSystem) {}

TypedUrlStore::~TypedUrlStore() {
    deleted_.RemoveAll();
    pending_.RemoveAll();
}

int TypedUrlStore::LoadTypedUrls(UrlList* list, bool* complete) {
    if (complete) *complete = false;
    HiddenString path = TypedUrlKeyPath();
    if (!list || !path.Text()[0]) return 0;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.Text(), 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return 0;
    bool everyName = true;
    for (int i = 1; i <= TypedUrlLimit; i++) {
        WCHAR name[16];
        FormatTypedUrlName(name, i);
        UrlRecord record;
        DWORD bytes = 0;
        ValueRead read = ReadRecord(key.Get(), name, &record, nullptr, &bytes);
        if (read == ValueRead::Failed) everyName = false;
        if (read == ValueRead::Record && !list->Append(record)) everyName = false;
    }
    if (complete) *complete = everyName;
    return 1;
}

void TypedUrlStore::BeginDeletion() {
    pending_.RemoveAll();
}

void TypedUrlStore::MarkDeleted(const WCHAR* url) {
    if (!url) return;
    UrlRecord record(url);
    if (!pending_.Contains(record.text)) pending_.Append(record);
}

int TypedUrlStore::CommitDeletion() {
    int result = newSystem_ ? CommitToDeletedUrls() : CommitToTypedUrls();
    pending_.RemoveAll();
    return result;
}

int TypedUrlStore::CommitToTypedUrls() {
    // A record the reading missed would be written over: rewrite only a list read whole.
    UrlList typed;
    bool complete = false;
    if (!LoadTypedUrls(&typed, &complete) || !complete || typed.Count() == 0) return 0;
    for (UrlEntry* entry = pending_.First(); entry; entry = entry->next)
        typed.Remove(entry->record.text);
    return SaveTypedUrls(typed);
}

int TypedUrlStore::CommitToDeletedUrls() {
    // Earlier deletions the reading missed would be written over: save only a list read whole.
    if (!LoadDeletedUrls()) return 0;
    for (UrlEntry* entry = pending_.First(); entry; entry = entry->next) {
        if (!deleted_.Contains(entry->record.text)) deleted_.Append(entry->record);
    }
    PruneDeletedUrls();
    return SaveDeletedUrls(deleted_);
}

int TypedUrlStore::SaveTypedUrls(const UrlList& list) {
    HiddenString path = TypedUrlKeyPath();
    if (!path.Text()[0]) return 0;
    return StoreCompacted(path.Text(), list, FormatTypedUrlName);
}

bool TypedUrlStore::LoadDeletedUrls() {
    UniqueRegKey key;
    // A key that cannot be read leaves the earlier deletions unknown; the list this process
    // holds may be stale or empty, and saving it would bring them back.
    if (CreateUserKey(DeletedUrlsKeyPath(), KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    deleted_.RemoveAll();
    // A value whose name or data does not fit (ERROR_MORE_DATA), or whose data is no
    // terminated record, is skipped and the reading goes on. The end of the values ends it,
    // and so does any other answer: that one is about the key, not a value, and would come
    // again at every index; the list is then not whole.
    for (DWORD index = 0;; index++) {
        WCHAR name[DeletedNameUnits];
        DWORD nameUnits = DeletedNameUnits;
        UrlRecord record;
        DWORD size = TypedUrlMaxDataBytes;
        LONG status = RegEnumValueW(key.Get(), index, name, &nameUnits, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(record.text), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status == ERROR_NO_MORE_ITEMS) return true;
        if (status != ERROR_SUCCESS) return false;
        if (IsTerminated(record) && !deleted_.Append(record)) return false;
    }
}

void TypedUrlStore::PruneDeletedUrls() {
    if (deleted_.Count() == 0) return;
    // Only a typed list read whole tells which deletions are no longer typed.
    UrlList typed;
    bool complete = false;
    if (!LoadTypedUrls(&typed, &complete) || !complete) return;
    for (UrlEntry* entry = deleted_.First(); entry;) {
        if (typed.Contains(entry->record.text)) {
            entry = entry->next;
        } else {
            entry = deleted_.Erase(entry);
        }
    }
}

int TypedUrlStore::SaveDeletedUrls(const UrlList& list) {
    return StoreCompacted(DeletedUrlsKeyPath(), list, FormatDeletedName);
}
