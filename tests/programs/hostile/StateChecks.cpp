// The round's checks of the stores: sentinels byte for byte, ticked stores empty, stores that were
// not ticked as they were, record lists that lost and doubled nothing.
#include "programs/hostile/Round.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "testbed/KeySecurity.h"
#include "testbed/ProgramReport.h"
#include "testbed/UrlHistoryStandIn.h"

namespace hostile {

void Round::Fail(int code, const std::string& message) {
    if (failure_ == Passed) failure_ = code;
    if (++failureLines_ <= 12) Report("round %ld: %s (exit %d)\n", index_, message.c_str(), code);
}

// Under failing calls a list may lose only records that mayGo names, and gain only records that
// mayCome names, each once at most: nothing the user did not choose is lost, nothing doubled.
void Round::CheckRecordChanges(const std::string& store, const std::vector<std::wstring>& before,
                               const std::vector<std::wstring>& after,
                               const std::vector<std::wstring>& mayGo,
                               const std::vector<std::wstring>& mayCome) {
    auto named = [](const std::vector<std::wstring>& texts, const std::wstring& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    };
    Counts counts = CountOf(after);
    for (const std::wstring& gone : RemovedFrom(CountOf(before), counts))
        if (!named(mayGo, gone)) Fail(WrongRecordDeleted, store + ": lost " + Short(gone));
    for (const std::wstring& come : RemovedFrom(counts, CountOf(before)))
        if (!named(mayCome, come) || counts[come] > 1)
            Fail(WrongRecordDeleted, store + ": " + Short(come) + " is there " +
                                         std::to_string(counts[come]) + " times");
}

void Round::CheckSentinels() {
    for (const Sentinel& sentinel : sentinels_) {
        if (sentinel.valuesOnly) {
            StoredValues after = ReadStoredValues(sentinel.path.c_str(), sentinel.root);
            if (after != sentinel.image.values)
                Fail(SentinelChanged, Utf8(sentinel.path) + ": its values changed");
            continue;
        }
        std::string difference = CompareKeyImages(
            sentinel.image, TakeKeyImage(sentinel.root, sentinel.path), sentinel.path);
        if (!difference.empty()) Fail(SentinelChanged, difference);
    }
    for (const auto& [path, image] : fileSentinels_) {
        std::string difference = CompareFileImages(image, TakeFileImage(path), path);
        if (!difference.empty()) Fail(SentinelChanged, difference);
    }
    std::wstring psSecurity =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    if (psSecurity != psUserSecurity_)
        Fail(SentinelChanged, "the Protected Storage user key's DACL was \"" +
                                  Utf8(psUserSecurity_) + "\", is \"" + Utf8(psSecurity) + "\"");
    if (customIdExisted_) {
        StoredValues after = ReadStoredValues(IdentityKey, HKEY_LOCAL_MACHINE);
        auto found = after.find(L"Custom_ID2");
        if (found == after.end() || !(found->second == customId_))
            Fail(SentinelChanged, "\"Custom_ID2\" changed");
    }
}

void Round::CheckKeyGone(HKEY root, const std::wstring& path, bool deletable, const char* store) {
    if (deletable && KeyExists(root, path.c_str()))
        Fail(StoreNotEmptied, std::string(store) + ": " + Utf8(path) + " is still there");
}

void Round::CheckKeyUntouched(const KeyImage& before, HKEY root, const std::wstring& path,
                              const char* store) {
    std::string difference = CompareKeyImages(before, TakeKeyImage(root, path), path);
    if (!difference.empty())
        Fail(UntickedStoreChanged, std::string(store) + ", not ticked: " + difference);
}

void Round::CheckCleanedStores() {
    DWORD must = (interactive_ && !cancelled_ ? interactiveSelection_ : 0) |
                 (autoExpected_ ? autoSelection_ : 0);
    DWORD may = must | (cancelled_ ? interactiveSelection_ : 0);
    // A failed call may leave any store as it was.
    if (fault_) must = 0;
    // Stores of categories that change nothing under this browser version.
    if (ieMajor_ != 6 && ieMajor_ != 7) {
        must &= ~(FormDataBit | PasswordsBit);
        may &= ~(FormDataBit | PasswordsBit);
    }

    if (must & AddressBarBit)
        CheckKeyGone(HKEY_CURRENT_USER, TypedUrlsKey, typedDeletable_, "typed URLs");
    if (!(may & AddressBarBit))
        CheckKeyUntouched(typedImage_, HKEY_CURRENT_USER, TypedUrlsKey, "typed URLs");
    // The automatic run also deletes the toolbar's own list of typed URLs for the version.
    bool ostleAuto = autoExpected_ && (autoSelection_ & AddressBarBit);
    int ostleOwn = ieMajor_ >= 7 ? 1 : 0;
    std::wstring ostlePaths[2] = {std::wstring(OstleUserKey) + L"\\TypedURLs",
                                  std::wstring(OstleUserKey) + L"\\IE7TypedURLs"};
    if (ostleAuto && !fault_)
        CheckKeyGone(HKEY_CURRENT_USER, ostlePaths[ostleOwn], ostleDeletable_,
                     "toolbar typed URLs");
    for (int i = 0; i < 2; i++)
        if (!ostleAuto || i != ostleOwn)
            CheckKeyUntouched(ostleTyped_[i], HKEY_CURRENT_USER, ostlePaths[i],
                              "toolbar typed URLs");

    // History: the stand-in's history and the visit-history file.
    bool historyRuns = !historyFails_;
    if ((must & HistoryBit) && historyRuns) {
        if (history_ && history_->ClearHistoryCalls() == historyClearsBefore_)
            Fail(StoreNotEmptied, "history: ClearHistory was never called");
        if (visitWellFormed_) {
            WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
            std::vector<std::wstring> sections = IniSectionNames(places_.visitFile);
            if (std::find(sections.begin(), sections.end(), L"frequentlyvisit") != sections.end())
                Fail(StoreNotEmptied, "visit history: \"frequentlyVisit\" is still there");
            DWORD stamp = 0;
            if (!GetPrivateProfileStructW(L"general", L"ldfv", &stamp, sizeof(stamp),
                                          places_.visitFile.c_str()))
                Fail(StoreNotEmptied, "visit history: \"ldfv\" was not written");
            // The clean writes "general" when the file has none.
            std::map<std::wstring, std::wstring> expected = visitKept_;
            expected.emplace(L"general", L"");
            if (KeptVisitSections(places_.visitFile) != expected)
                Fail(SentinelChanged, "visit history: sections other than \"frequentlyVisit\" "
                                      "changed");
        }
    }
    if (fault_ && (may & HistoryBit) && visitWellFormed_) {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
        if (KeptVisitSections(places_.visitFile) != visitKept_)
            Fail(SentinelChanged, "visit history: sections other than \"frequentlyVisit\" "
                                  "changed");
    }
    if (!(may & HistoryBit) || !historyRuns) {
        std::string difference =
            CompareFileImages(visitImage_, TakeFileImage(places_.visitFile), places_.visitFile);
        if (!difference.empty())
            Fail(UntickedStoreChanged, "visit history, not cleaned: " + difference);
        if (history_ && history_->ClearHistoryCalls() != historyClearsBefore_)
            Fail(UntickedStoreChanged, "history: ClearHistory was called, not ticked");
    }

    // Form data and passwords by browser version.
    static const WCHAR* const formNames[] = {L"Storage1", L"Storage2", L"SPW"};
    bool formCleaned[3] = {ieMajor_ == 7 && (must & FormDataBit),
                           ieMajor_ == 7 && (must & PasswordsBit),
                           ieMajor_ == 6 && (must & PasswordsBit)};
    bool formMay[3] = {ieMajor_ == 7 && (may & FormDataBit), ieMajor_ == 7 && (may & PasswordsBit),
                       ieMajor_ == 6 && (may & PasswordsBit)};
    for (int i = 0; i < 3; i++) {
        std::wstring path = std::wstring(IntelliFormsKey) + L"\\" + formNames[i];
        if (formCleaned[i])
            CheckKeyGone(HKEY_CURRENT_USER, path, formKeyDeletable_[i], "IntelliForms");
        if (!formMay[i]) CheckKeyUntouched(formImage_[i], HKEY_CURRENT_USER, path, "IntelliForms");
    }
    if (ieMajor_ == 6 && (must & FormDataBit))
        CheckKeyGone(HKEY_CURRENT_USER, places_.psDataKey, true, "Protected Storage");
    if (ieMajor_ != 6 || !(may & FormDataBit))
        CheckKeyUntouched(psImage_, HKEY_CURRENT_USER, places_.psDataKey, "Protected Storage");

    // Search records: only the interactive run has the host connection.
    bool searchMust = interactive_ && !cancelled_ && !fault_ && (interactiveSelection_ & SearchBit);
    bool searchMay = interactive_ && (interactiveSelection_ & SearchBit);
    if (searchMust && !host_.searchBox->Records().empty())
        Fail(StoreNotEmptied,
             "search records: " + std::to_string(host_.searchBox->Records().size()) + " left");
    if (!searchMay && host_.searchBox->Records() != searchImage_)
        Fail(UntickedStoreChanged, "search records changed, not ticked");

    CacheKinds cache = ListCacheKinds();
    if ((must & TemporaryFilesBit) && !cache.files.empty())
        Fail(StoreNotEmptied, "temporary files: " + std::to_string(cache.files.size()) +
                                  " entries left, the first " + Short(cache.files[0]));
    if ((must & CookiesBit) && !cache.cookies.empty())
        Fail(StoreNotEmptied, "cookies: " + std::to_string(cache.cookies.size()) +
                                  " left, the first " + Short(cache.cookies[0]));
    if (!(may & TemporaryFilesBit) && cache.files != cacheImage_.files)
        Fail(UntickedStoreChanged, "temporary files changed, not ticked");
    if (!(may & CookiesBit) && cache.cookies != cacheImage_.cookies)
        Fail(UntickedStoreChanged, "cookies changed, not ticked");
    if (cache.history != cacheImage_.history)
        Fail(UntickedStoreChanged, "the cache's history entries changed");
}

} // namespace hostile
