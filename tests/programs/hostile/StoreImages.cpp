#include "programs/hostile/StoreImages.h"

#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "testbed/StoreImage.h"
#include "testbed/UrlCacheSeed.h"

namespace hostile {

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The values of a key by lower-case name: registry names match without regard to case.
StoredValues LowerNamed(const StoredValues& values) {
    StoredValues lowered;
    for (const auto& [name, value] : values)
        lowered[Lower(name)] = value;
    return lowered;
}

// What the module takes for a URL record: data that fits 2084 units with the last one zero;
// its text ends at the first terminator.
bool AsRecord(const StoredValue& value, std::wstring* text) {
    if (value.bytes.size() > 4168) return false;
    std::vector<WCHAR> units(2084, 0);
    memcpy(units.data(), value.bytes.data(), value.bytes.size());
    if (units[2083] != 0) return false;
    *text = units.data();
    return true;
}

// Every value that is a record, in name order.
std::vector<std::wstring> Records(const StoredValues& values) {
    std::vector<std::wstring> records;
    for (const auto& [name, value] : values) {
        std::wstring text;
        if (AsRecord(value, &text)) records.push_back(text);
    }
    return records;
}

// The typed-URL records url1 ... url25 in order, as the module reads them.
std::vector<std::wstring> TypedRecords(const StoredValues& lowered) {
    std::vector<std::wstring> records;
    for (int n = 1; n <= 25; n++) {
        auto found = lowered.find(L"url" + std::to_wstring(n));
        std::wstring text;
        if (found != lowered.end() && AsRecord(found->second, &text)) records.push_back(text);
    }
    return records;
}

std::string Short(const std::wstring& text) {
    std::string utf8 = Utf8(text);
    if (utf8.size() <= 60) return "\"" + utf8 + "\"";
    return "\"" + utf8.substr(0, 50) + "...\" (" + std::to_string(text.size()) + " units)";
}

Counts CountOf(const std::vector<std::wstring>& texts) {
    Counts counts;
    for (const std::wstring& text : texts)
        counts[text]++;
    return counts;
}

std::vector<std::wstring> RemovedFrom(const Counts& before, const Counts& after) {
    std::vector<std::wstring> removed;
    for (const auto& [text, count] : before) {
        auto found = after.find(text);
        int left = found == after.end() ? 0 : found->second;
        for (int i = left; i < count; i++)
            removed.push_back(text);
    }
    return removed;
}

// "; kept X; lost Y": the first text found more often, and the first found less often, than
// expected.
std::string DescribeDifference(const Counts& expected, const Counts& found) {
    std::vector<std::wstring> kept = RemovedFrom(found, expected);
    std::vector<std::wstring> lost = RemovedFrom(expected, found);
    return (kept.empty() ? std::string() : "; kept " + Short(kept[0])) +
           (lost.empty() ? std::string() : "; lost " + Short(lost[0]));
}

// Every text of an address bar, whole (the frames' own reader stops at 2083 units).
std::vector<std::wstring> FullEntries(HWND addressBar) {
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(addressBar, CB_GETCOUNT, 0, 0);
    std::vector<WCHAR> text(8192);
    for (LRESULT i = 0; i < count; i++) {
        text[0] = 0;
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        SendMessageW(addressBar, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        entries.push_back(text.data());
    }
    return entries;
}
CacheKinds ListCacheKinds() {
    CacheKinds kinds;
    for (const CacheEntry& entry : ListCacheEntries()) {
        if (entry.name.find(L"/pingd?") != std::wstring::npos) continue;
        if (entry.type & COOKIE_CACHE_ENTRY)
            kinds.cookies.push_back(entry.name);
        else if (entry.type & URLHISTORY_CACHE_ENTRY)
            kinds.history.push_back(entry.name);
        else
            kinds.files.push_back(entry.name);
    }
    std::sort(kinds.files.begin(), kinds.files.end());
    std::sort(kinds.cookies.begin(), kinds.cookies.end());
    std::sort(kinds.history.begin(), kinds.history.end());
    return kinds;
}

// The sections of an ini file by lower-case name, as the profile functions read them.
std::vector<std::wstring> IniSectionNames(const std::wstring& file) {
    std::vector<WCHAR> buffer(1 << 16);
    DWORD length = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                  file.c_str());
    std::vector<std::wstring> names;
    for (const WCHAR* name = buffer.data(); name < buffer.data() + length && *name;
         name += lstrlenW(name) + 1)
        names.push_back(Lower(name));
    return names;
}

std::wstring IniSection(const std::wstring& file, const std::wstring& section) {
    std::vector<WCHAR> buffer(1 << 20);
    DWORD length = GetPrivateProfileSectionW(section.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file.c_str());
    return std::wstring(buffer.data(), length);
}

// Every section of the visit-history file but "frequentlyVisit", with the lines of each; the
// key "ldfv" of "general", which a clean rewrites, left out.
std::map<std::wstring, std::wstring> KeptVisitSections(const std::wstring& file) {
    std::map<std::wstring, std::wstring> sections;
    for (const std::wstring& name : IniSectionNames(file)) {
        if (name == L"frequentlyvisit") continue;
        std::wstring lines = IniSection(file, name);
        std::wstring kept;
        for (size_t at = 0; at < lines.size();) {
            size_t end = lines.find(L'\0', at);
            if (end == std::wstring::npos) end = lines.size();
            std::wstring line = lines.substr(at, end - at);
            if (name != L"general" || Lower(line.substr(0, 5)) != L"ldfv=") kept += line + L'\n';
            at = end + 1;
        }
        sections[name] = kept;
    }
    return sections;
}

} // namespace hostile
