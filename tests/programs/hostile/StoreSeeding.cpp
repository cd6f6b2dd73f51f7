// The round's seeding: random stores, well formed and broken, with sentinels beside each.
#include "programs/hostile/Round.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "host/ButtonHost.h"
#include "testbed/KeySecurity.h"
#include "testbed/SolidIcons.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"
#include "programs/hostile/RunReports.h"

namespace hostile {

namespace {

bool CommitCacheEntry(const std::wstring& url, DWORD type, const std::vector<BYTE>& content,
                      const std::wstring& header) {
    WCHAR file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, L"ico", file, 0)) return false;
    if (!WriteFileBytes(file, content)) return false;
    FILETIME never = {};
    std::wstring headerCopy = header;
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, type,
                                headerCopy.empty() ? nullptr : &headerCopy[0],
                                static_cast<DWORD>(headerCopy.size()), nullptr, nullptr) != FALSE;
}

} // namespace

void Round::SeedIeVersion() {
    struct Form {
        const WCHAR* text;
        int major;
    };
    static const Form forms[] = {{L"6.0.2900.5512", 6},
                                 {L"7.0.5730.13", 7},
                                 {L"8.0.6001.18702", 8},
                                 {L"seven", 0},
                                 {L"", 0}};
    unsigned pick = content_.Chance(85) ? content_.Pick(2) : 2 + content_.Pick(4);
    if (pick < 5) {
        const Form& form = forms[pick];
        content_.WriteString(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version",
                             form.text);
        ieMajor_ = form.major;
    } else {
        content_.WriteBrokenValue(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version");
        // A broken value has no point in its first 259 units, or cannot be read: major 0.
        ieMajor_ = 0;
        StoredValues values = ReadStoredValues(IeMachineKey, HKEY_LOCAL_MACHINE);
        std::wstring text;
        const StoredValue& version = values[L"Version"];
        if (version.bytes.size() <= 520 &&
            (version.type == REG_SZ || version.type == REG_DWORD || version.type == REG_BINARY)) {
            std::vector<WCHAR> units(261, 0);
            memcpy(units.data(), version.bytes.data(), version.bytes.size());
            units[259] = 0;
            if (wcschr(units.data(), L'.')) ieMajor_ = _wtoi(units.data());
        }
    }
}

void Round::SeedTypedUrls() {
    UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, TypedUrlsKey);
    int count = content_.Chance(70)   ? static_cast<int>(content_.Pick(26))
                : content_.Chance(80) ? 26 + static_cast<int>(content_.Pick(35))
                                      : 200 + static_cast<int>(content_.Pick(200));
    bool gaps = content_.Chance(30);
    bool broken = content_.Chance(40);
    for (int n = 1; n <= count; n++) {
        if (gaps && content_.Chance(25)) continue;
        std::wstring name = L"url" + std::to_wstring(n);
        if (broken && content_.Chance(15))
            content_.WriteBrokenValue(key.Get(), name);
        else
            content_.WriteString(key.Get(), name, content_.Url());
    }
    if (broken) {
        for (const WCHAR* name : {L"url0", L"url", L"urlx", L"url-1", L"url01", L"url 2"})
            if (content_.Chance(30)) content_.WriteString(key.Get(), name, content_.Url());
        if (content_.Chance(20)) content_.WriteString(key.Get(), L"URL2", content_.Url());
    }
    if (content_.Chance(25)) {
        // A record of exactly 2083 units; its twin one unit longer goes into the address bar.
        prefixUrl_ = content_.UrlOfLength(2083, 77);
        content_.WriteString(key.Get(), L"url" + std::to_wstring(1 + content_.Pick(25)),
                             prefixUrl_);
    }
    if (content_.Chance(15)) {
        bool denied = content_.Chance(50);
        content_.AddSubKeys(HKEY_CURRENT_USER, TypedUrlsKey, 1 + content_.Pick(4), denied);
        typedDeletable_ = !denied;
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IeUserKey) + L"\\TypedURLsKept");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IeUserKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IeUserKey, true);
}

void Round::SeedDeletedUrls(const std::wstring& toolbarKey) {
    std::wstring path = toolbarKey + L"\\DeletedUrls";
    UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
    StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
    std::vector<std::wstring> records = TypedRecords(typed);
    int count = content_.Chance(90) ? static_cast<int>(content_.Pick(30))
                                    : 100 + static_cast<int>(content_.Pick(300));
    for (int i = 0; i < count; i++) {
        std::wstring name = content_.Chance(70)   ? std::to_wstring(content_.Pick(40))
                            : content_.Chance(50) ? content_.Word(12 + content_.Pick(20))
                                                  : content_.Word(1 + content_.Pick(11));
        if (content_.Chance(25))
            content_.WriteBrokenValue(key.Get(), name);
        else if (!records.empty() && content_.Chance(50))
            content_.WriteString(key.Get(), name, records[content_.Pick(records.size())]);
        else
            content_.WriteString(key.Get(), name, content_.Url());
    }
    if (content_.Chance(10)) content_.AddSubKeys(HKEY_CURRENT_USER, path, 2, content_.Chance(50));
    AddSentinelKey(HKEY_CURRENT_USER, toolbarKey + L"\\DeletedUrlsKept");
}

void Round::SeedSettings(const std::wstring& toolbarKey, bool own) {
    UniqueRegKey clean = CreateKey(HKEY_CURRENT_USER, toolbarKey + L"\\HistoryClean");
    for (const WCHAR* name : {L"UserSelect", L"AutoClean"}) {
        unsigned form = content_.Pick(10);
        DWORD number = name[0] == L'U' ? content_.Pick(0x80) | (content_.Chance(10) ? 0x100 : 0)
                       : content_.Chance(70) ? 1
                                             : content_.Pick(3);
        if (form < 6)
            RegSetValueExW(clean.Get(), name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
        else if (form < 9)
            content_.WriteBrokenValue(clean.Get(), name);
        // else: missing
    }
    UniqueRegKey iebar = CreateKey(HKEY_CURRENT_USER, toolbarKey + L"\\iebar");
    DWORD off = 0;
    if (own && options_.pingPort && content_.Chance(30)) {
        if (content_.Chance(50)) content_.WriteBrokenValue(iebar.Get(), L"join");
    } else {
        RegSetValueExW(iebar.Get(), L"join", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), 4);
    }
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, toolbarKey).Get(), L"VelaKept",
                         content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, toolbarKey + L"\\HistoryCleanKept");
    if (own) WatchKey(HKEY_CURRENT_USER, toolbarKey, true);
}

void Round::SeedIntelliForms() {
    static const WCHAR* const names[] = {L"Storage1", L"Storage2", L"SPW"};
    for (int i = 0; i < 3; i++) {
        if (content_.Chance(15)) continue;
        std::wstring path = std::wstring(IntelliFormsKey) + L"\\" + names[i];
        UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
        for (unsigned v = 1 + content_.Pick(6); v > 0; v--) {
            std::vector<BYTE> blob = content_.Bytes(16 + content_.Pick(400));
            RegSetValueExW(key.Get(), content_.Word(40).c_str(), 0, REG_BINARY, blob.data(),
                           static_cast<DWORD>(blob.size()));
        }
        if (content_.Chance(20)) content_.WriteBrokenValue(key.Get(), content_.Word(5));
        if (content_.Chance(20)) {
            bool denied = content_.Chance(50);
            content_.AddSubKeys(HKEY_CURRENT_USER, path, 1 + content_.Pick(3), denied);
            formKeyDeletable_[i] = !denied;
        }
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\Storage3");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IntelliFormsKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IntelliFormsKey, true);
}

void Round::SeedProtectedStorage() {
    if (content_.Chance(5)) return; // no key for this user at all
    UniqueRegKey data = CreateKey(HKEY_CURRENT_USER, places_.psDataKey);
    content_.WriteBrokenValue(data.Get(), content_.Word(6));
    data.Reset();
    bool big = content_.Chance(10);
    int depth =
        big ? 20 + static_cast<int>(content_.Pick(100)) : static_cast<int>(content_.Pick(6));
    int width = big && content_.Chance(50) ? 50 + static_cast<int>(content_.Pick(300))
                                           : static_cast<int>(content_.Pick(6));
    content_.AddTree(HKEY_CURRENT_USER, places_.psDataKey, depth, width, content_.Chance(40));
    if (content_.Chance(30)) content_.Deny(HKEY_CURRENT_USER, places_.psDataKey);

    // Beside it: another subtype, another type, another user, and the keys above it.
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psTypeKey + L"\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psUserKey + L"\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(ProtectedStorageKey) +
                                          L"\\S-1-5-21-1-2-3-500\\Data\\" + ItemType + L"\\" +
                                          ItemType);
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psUserKey).Get(), L"VelaKept",
                         content_.Url());
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psTypeKey).Get(), L"VelaKept",
                         content_.Url());
    if (content_.Chance(30)) {
        std::wstring user = CurrentUserSidString();
        std::wstring sddl = content_.Chance(80) ? L"D:P(A;CI;KA;;;" + user + L")(A;;KR;;;WD)"
                                                : std::wstring(L"D:P");
        SetKeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), sddl.c_str(),
                           DACL_SECURITY_INFORMATION);
    }
    // The user key's values and security, which the cleaner gives back as it found them.
    WatchKey(HKEY_CURRENT_USER, places_.psUserKey, true);
    // Its DACL only: Wine gives a key whose DACL is set a new owner as well.
    psUserSecurity_ =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    WatchKey(HKEY_CURRENT_USER, places_.psTypeKey, true);
}

void Round::SeedOstle() {
    for (const WCHAR* name : {L"TypedURLs", L"IE7TypedURLs"}) {
        std::wstring path = std::wstring(OstleUserKey) + L"\\" + name;
        UniqueRegKey key = CreateKey(HKEY_CURRENT_USER, path);
        content_.WriteString(key.Get(), L"url1", content_.Url());
        if (content_.Chance(20)) content_.WriteBrokenValue(key.Get(), L"url2");
    }
    if (content_.Chance(10)) {
        bool denied = content_.Chance(50);
        content_.AddSubKeys(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\TypedURLs", 2,
                            denied);
        content_.AddSubKeys(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\IE7TypedURLs", 2,
                            denied);
        ostleDeletable_ = !denied;
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\Settings");
    UniqueRegKey hotKeys = CreateKey(HKEY_LOCAL_MACHINE, HotKeysKey);
    content_.WriteString(hotKeys.Get(), L"Clear", content_.Word(3));
    AddSentinelKey(HKEY_LOCAL_MACHINE, std::wstring(OstleMachineKey) + L"\\HotKeysKept");
}

void Round::SeedVisitHistory() {
    unsigned form = content_.Pick(10);
    if (form == 9) return; // no folder
    MakeFolders(places_.visitFolder);
    WriteFileBytes(places_.visitFolder + L"\\visitHistory.ini.bak",
                   content_.Bytes(content_.Pick(3000)));
    WatchFile(places_.visitFolder + L"\\visitHistory.ini.bak");
    if (form == 8) return; // no file
    std::string text;
    auto section = [&](const char* name, unsigned keys) {
        text += std::string("[") + name + "]\r\n";
        for (unsigned k = 0; k < keys; k++)
            text += Utf8(content_.Word(1 + content_.Pick(10))) + "=" +
                    Utf8(content_.Word(content_.Pick(80))) + "\r\n";
    };
    switch (form) {
    case 0:
    case 1:
    case 2:
    case 3: // an ordinary file
        section("general", content_.Pick(5));
        if (form != 3) section("frequentlyVisit", 1 + content_.Pick(20));
        section("recent", content_.Pick(5));
        visitWellFormed_ = true;
        break;
    case 4: // an empty file
        visitWellFormed_ = true;
        break;
    case 5: // megabytes
        while (text.size() < 1000000 + content_.Pick(2000000))
            section(content_.Chance(5) ? "frequentlyVisit" : "bulk", 500);
        break;
    case 6: { // not text
        std::vector<BYTE> junk = content_.Bytes(content_.Pick(100000));
        text.assign(junk.begin(), junk.end());
        break;
    }
    default: // a folder where the file belongs
        MakeFolders(places_.visitFile);
        return;
    }
    WriteFileBytes(places_.visitFile, std::vector<BYTE>(text.begin(), text.end()));
}

void Round::SeedSharedMemory() {
    switch (content_.Pick(6)) {
    case 0:
        return; // no block
    case 1:
        shared_ = std::make_unique<SharedMemoryBlock>(1 + content_.Pick(79));
        break;
    case 2:
        shared_ = std::make_unique<SharedMemoryBlock>(80, SEC_RESERVE);
        return;
    default:
        shared_ = std::make_unique<SharedMemoryBlock>();
        break;
    }
    std::vector<BYTE> bytes = content_.Bytes(80);
    if (content_.Chance(50)) {
        // A small user number, whose folder the toolbar would have.
        DWORD user = content_.Pick(5);
        memcpy(&bytes[ToolbarSharedUserOffset], &user, sizeof(user));
    }
    shared_->WriteBytes(bytes.data(), 80);
    sharedUser_ = shared_->ReadWord(ToolbarSharedUserOffset);
    sharedUserKnown_ = shared_->IsValid();
}

void Round::SeedUserFiles() {
    std::vector<DWORD> users = {0, SiteUser};
    if (sharedUserKnown_) users.push_back(sharedUser_);
    for (DWORD user : users) {
        std::wstring folder = places_.dataFolder + L"\\users\\" + std::to_wstring(user);
        MakeFolders(folder);
        for (const WCHAR* name : {L"tb.ini", L"inc.ini", L"up.ini"}) {
            std::wstring file = folder + L"\\" + name;
            WriteFileBytes(file, content_.Bytes(content_.Pick(2000)));
            WatchFile(file);
        }
    }
    WriteFileBytes(places_.dataFolder + L"\\kept.dat", content_.Bytes(100));
    WatchFile(places_.dataFolder + L"\\kept.dat");
    MakeFolders(places_.outsideFolder);
    WriteFileBytes(places_.outsideFolder + L"\\answer.htm", content_.Bytes(64));
    WatchFile(places_.outsideFolder + L"\\answer.htm");
}

void Round::SeedCache() {
    for (unsigned i = content_.Pick(8); i > 0; i--)
        SeedCacheEntry(
            (L"http://c" + std::to_wstring(i) + L".example/" + content_.Word(8)).c_str());
    for (unsigned i = content_.Pick(5); i > 0; i--)
        SeedCookie((L"Cookie:user@c" + std::to_wstring(i) + L".example/").c_str());
    for (unsigned i = content_.Pick(3); i > 0; i--)
        SeedHistoryEntry((L"Visited: user@http://v" + std::to_wstring(i) + L".example/").c_str());
    if (content_.Chance(15)) {
        // Headers that make records of tens of kilobytes, now and then of a megabyte.
        size_t units = content_.Chance(10) ? 500000 : 8000 + content_.Pick(40000);
        std::wstring header = L"X-Padding: " + std::wstring(units, L'p') + L"\r\n";
        if (content_.Chance(50))
            SeedCacheEntry(L"http://huge.example/page", header);
        else
            SeedCookie(L"Cookie:user@huge.example/", header);
    }
    // Site icons of the typed URLs' hosts: good ones, cut ones, and junk.
    for (unsigned i = content_.Pick(4); i > 0; i--) {
        std::wstring url =
            L"http://h" + std::to_wstring(content_.Pick(40)) + L".example/favicon.ico";
        std::vector<BYTE> icon = SolidIconFileBytes(16, RGB(10, 200, 10));
        if (content_.Chance(30)) icon.resize(content_.Pick(static_cast<unsigned>(icon.size())));
        if (content_.Chance(30)) icon = content_.Bytes(content_.Pick(5000));
        CommitCacheEntry(url, NORMAL_CACHE_ENTRY, icon, std::wstring());
    }
}

void Round::SeedFrames() {
    for (int f = 0; f < 2; f++) {
        if (f == 1 && content_.Chance(40)) break;
        frames_[f] = std::make_unique<BrowserFrame>();
        std::vector<std::wstring> entries;
        unsigned count = content_.Chance(2) ? 1000 + content_.Pick(1500) : content_.Pick(25);
        StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
        std::vector<std::wstring> records = TypedRecords(typed);
        for (unsigned i = 0; i < count; i++) {
            if (!records.empty() && content_.Chance(30))
                entries.push_back(records[content_.Pick(records.size())]);
            else if (count > 100)
                entries.push_back(content_.UrlOfLength(15 + content_.Pick(40), content_.Pick(40)));
            else
                entries.push_back(content_.Url());
        }
        if (!prefixUrl_.empty() && content_.Chance(80)) {
            entries.insert(entries.begin() +
                               content_.Pick(static_cast<unsigned>(entries.size()) + 1),
                           prefixUrl_ + L"z");
            if (content_.Chance(30)) entries.push_back(prefixUrl_);
        }
        if (content_.Chance(10)) entries.push_back(std::wstring(5000, L'w'));
        BrowserFrame::AddEntries(frames_[f]->AddressBar(), entries);
        boxItems_ += entries.size();
    }
    browser_ = TestBrowser::Make(frames_[0]->Window());
    host_.site->SetBrowser(browser_.Get());
}

void Round::SeedSearchBox() {
    std::vector<std::wstring> records;
    for (unsigned i = content_.Pick(15); i > 0; i--) {
        size_t length = content_.Chance(10) ? 255 + content_.Pick(50) : 1 + content_.Pick(30);
        records.push_back(content_.Word(length));
    }
    if (!records.empty() && content_.Chance(20)) records.push_back(records[0]);
    static const SearchListAnswer lies[] = {
        SearchListAnswer::CountTooHigh, SearchListAnswer::CountZero,
        SearchListAnswer::Loop,         SearchListAnswer::NullSentinel,
        SearchListAnswer::OpenEnd,      SearchListAnswer::UnterminatedText};
    honestSearch_ = content_.Chance(70);
    host_.searchBox->SetRecords(records);
    host_.searchBox->SetListAnswer(honestSearch_ ? SearchListAnswer::Honest
                                                 : lies[content_.Pick(6)]);
}

void Round::SeedStores() {
    Step("seeding the registry");
    SeedIeVersion();
    SeedTypedUrls();
    SeedDeletedUrls(places_.toolbarKey);
    SeedDeletedUrls(places_.otherToolbarKey);
    SeedSettings(places_.toolbarKey, true);
    SeedSettings(places_.otherToolbarKey, false);
    // The other system's toolbar key, which the module never uses here, stays as it is whole.
    WatchKey(HKEY_CURRENT_USER, places_.otherToolbarKey);
    SeedIntelliForms();
    SeedProtectedStorage();
    SeedOstle();
    Step("seeding the files and the cache");
    SeedVisitHistory();
    SeedSharedMemory();
    SeedUserFiles();
    SeedCache();
    Step("seeding the windows");
    SeedFrames();
    SeedSearchBox();
    historyFails_ = g_history && content_.Chance(10);
    if (g_history) g_history->FailCreation(historyFails_ ? E_OUTOFMEMORY : S_OK);
}

// A key no category names, with values of every shape and a sub key, watched byte for byte.
void Round::AddSentinelKey(HKEY root, const std::wstring& path) {
    UniqueRegKey key = CreateKey(root, path);
    content_.WriteString(key.Get(), L"url1", content_.Url());
    content_.WriteBrokenValue(key.Get(), L"url2");
    key.Reset();
    content_.AddSubKeys(root, path, 1, false);
    WatchKey(root, path);
}

void Round::WatchKey(HKEY root, const std::wstring& path, bool valuesOnly) {
    Sentinel sentinel = {root, path, valuesOnly, {}};
    sentinels_.push_back(sentinel);
}

void Round::WatchFile(const std::wstring& path) {
    fileSentinels_.push_back({path, FileImage()});
}

} // namespace hostile
