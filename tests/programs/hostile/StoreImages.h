// The stores read as the module reads them: records, typed URLs, address-bar texts, cache
// entries by kind, the visit-history file's sections; and counts of texts to compare them.
#pragma once

#include <windows.h>
#include <map>
#include <string>
#include <vector>

#include "testbed/TypedUrlSeed.h"

namespace hostile {

std::wstring Lower(std::wstring text);
// The values of a key by lower-case name: registry names match without regard to case.
StoredValues LowerNamed(const StoredValues& values);
// What the module takes for a URL record: data that fits 2084 units with the last one zero;
// its text ends at the first terminator.
bool AsRecord(const StoredValue& value, std::wstring* text);
// Every value that is a record, in name order.
std::vector<std::wstring> Records(const StoredValues& values);
// The typed-URL records url1 ... url25 in order, as the module reads them.
std::vector<std::wstring> TypedRecords(const StoredValues& lowered);
// The text in quotes, cut after 50 characters for a report.
std::string Short(const std::wstring& text);

using Counts = std::map<std::wstring, int>;
Counts CountOf(const std::vector<std::wstring>& texts);
// Each text as often as before holds it more than after.
std::vector<std::wstring> RemovedFrom(const Counts& before, const Counts& after);
// "; kept X; lost Y": the first text found more often, and the first found less often, than
// expected.
std::string DescribeDifference(const Counts& expected, const Counts& found);

// Every text of an address bar, whole (the frames' own reader stops at 2083 units).
std::vector<std::wstring> FullEntries(HWND addressBar);

// Cache entries by kind, leaving out the ping's own answers.
struct CacheKinds {
    std::vector<std::wstring> files; // neither cookie nor history
    std::vector<std::wstring> cookies;
    std::vector<std::wstring> history;
};
CacheKinds ListCacheKinds();

// The sections of an ini file by lower-case name, as the profile functions read them.
std::vector<std::wstring> IniSectionNames(const std::wstring& file);
std::wstring IniSection(const std::wstring& file, const std::wstring& section);
// Every section of the visit-history file but "frequentlyVisit", with the lines of each; the
// key "ldfv" of "general", which a clean rewrites, left out.
std::map<std::wstring, std::wstring> KeptVisitSections(const std::wstring& file);

} // namespace hostile
