// The record dialogs: the rows the round deletes, and the checks that exactly those records went.
#include "programs/hostile/Round.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "records/RecordDeleteDialog.h"
#include "testbed/DialogSteps.h"
#include "testbed/ModalScript.h"
#include "testbed/RecordDialogMoves.h"
#include "programs/hostile/RunReports.h"

namespace hostile {

namespace {

// The link's own visibility: the dialog itself may not be shown yet when a step runs.
bool LinkShown(HWND clean, int linkId) {
    return (GetWindowLongW(GetDlgItem(clean, linkId), GWL_STYLE) & WS_VISIBLE) != 0;
}

} // namespace

void Round::InRecordDialog(HWND records, RecordKind kind) {
    std::vector<Row> rows = Rows(records);
    if (kind == AddressBarRecords) {
        // Rows from the address bar stand for its items in order; rows from the typed URLs
        // hold their records whole.
        std::vector<std::wstring> box = FullEntries(frames_[0]->AddressBar());
        rowFull_.clear();
        for (size_t i = 0; i < rows.size(); i++)
            rowFull_.push_back(box.empty() ? rows[i].url : i < box.size() ? box[i] : L"?");
        if (!box.empty() && box.size() != rows.size() && !fault_)
            Fail(WrongRecordDeleted, "the address-bar box holds " + std::to_string(box.size()) +
                                         " items but the dialog shows " +
                                         std::to_string(rows.size()) + " rows");
        linkWidth_ = MeasureDeleteLinkWidth(records);
    }
    if (fault_) {
        // One record through its row's link: the second, so that a rewrite moves those after it.
        if (!rows.empty()) {
            int row = rows.size() > 1 ? 1 : 0;
            if (kind == AddressBarRecords) {
                addressBatches_.push_back({rows[row].url});
                deletedFull_ = {rows[row].url, rowFull_[row]};
            } else {
                deletedSearchTexts_.push_back(rows[row].text);
            }
            ClickList(records, DeleteLinkPoint(records, row, linkWidth_ ? linkWidth_ : 2));
        }
        PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    for (unsigned links = content_.Pick(3); links > 0 && !rows.empty(); links--) {
        int row = static_cast<int>(content_.Pick(static_cast<unsigned>(rows.size())));
        if (kind == AddressBarRecords) {
            // A row without its item deletes nothing but itself.
            if (rows[row].hasItem) addressBatches_.push_back({rows[row].url});
            deletedFull_.push_back(rowFull_[row]);
            rowFull_.erase(rowFull_.begin() + row);
        } else {
            deletedSearchTexts_.push_back(rows[row].text);
        }
        // A user clicks a row that is in view.
        SendMessageW(ListOf(records), LVM_ENSUREVISIBLE, row, FALSE);
        ClickList(records, DeleteLinkPoint(records, row, linkWidth_ ? linkWidth_ : 2));
        size_t before = rows.size();
        rows = Rows(records);
        if (rows.size() != before - 1)
            Fail(WrongRecordDeleted, "the delete link of row " + std::to_string(row) + " left " +
                                         std::to_string(rows.size()) + " of " +
                                         std::to_string(before) + " rows");
    }
    if (!rows.empty() && content_.Chance(60)) {
        // Each row's deletion is a find through every frame's box, so selecting all of a box of
        // thousands takes minutes under Wine (2,264 rows of 2,277 items: 234 s). No browser's
        // bar holds that many; such a box gets a few ticked rows only.
        bool whole = kind != AddressBarRecords || rows.size() <= 200;
        switch (content_.Pick(3)) {
        case 0:
            if (whole) ClickControl(records, RecordDeleteDialog::SelectAllButtonId);
            break;
        case 1:
            if (whole) ClickControl(records, RecordDeleteDialog::InvertButtonId);
            break;
        default:
            break;
        }
        for (unsigned ticks = content_.Pick(6); ticks > 0; ticks--) {
            int row = static_cast<int>(content_.Pick(static_cast<unsigned>(rows.size())));
            SendMessageW(ListOf(records), LVM_ENSUREVISIBLE, row, FALSE);
            ClickTick(records, row);
        }
        rows = Rows(records);
        std::vector<std::wstring> batch;
        for (size_t i = rows.size(); i-- > 0;) {
            if (!rows[i].ticked) continue;
            if (kind == AddressBarRecords) {
                batch.push_back(rows[i].url);
                deletedFull_.push_back(rowFull_[i]);
            } else {
                deletedSearchTexts_.push_back(rows[i].text);
            }
        }
        if (kind == AddressBarRecords) addressBatches_.push_back(batch);
        ClickControl(records, RecordDeleteDialog::DeleteButtonId);
    }
    PostMessageW(records, WM_COMMAND, IDCANCEL, 0);
}

void Round::OpenRecords(HWND clean, int linkId) {
    if (!LinkShown(clean, linkId)) return;
    RecordKind kind = linkId == AddressLinkId ? AddressBarRecords : SearchRecords;
    std::vector<std::wstring> boxes[2];
    for (int f = 0; f < 2; f++)
        if (frames_[f]) boxes[f] = FullEntries(frames_[f]->AddressBar());
    StoredValues typed = LowerNamed(ReadStoredValues(TypedUrlsKey));
    std::wstring deletedKey = places_.toolbarKey + L"\\DeletedUrls";
    StoredValues deleted = ReadStoredValues(deletedKey.c_str());
    std::vector<std::wstring> searchBefore = host_.searchBox->Records();
    addressBatches_.clear();
    deletedFull_.clear();
    deletedSearchTexts_.clear();

    Step(kind == AddressBarRecords ? "address-bar record dialog" : "search record dialog");
    bool shown = false;
    auto inRecords = [&](HWND records) {
        shown = true;
        InRecordDialog(records, kind);
    };
    WhenDialogShows(kind == AddressBarRecords ? AddressRecordsCaption : SearchRecordsCaption,
                    inRecords);
    ClickControl(clean, linkId);
    CancelDialogSteps();
    rowsDeleted_ += deletedFull_.size() + deletedSearchTexts_.size();
    if (!shown && !fault_) Fail(NoDialogShown, "the record dialog did not open from its link");
    Step("checking the record deletions");
    if (fault_) {
        // A failed call may keep any record, the chosen one too; it may lose or double none.
        if (kind == SearchRecords) {
            CheckRecordChanges("search records", searchBefore, host_.searchBox->Records(),
                               deletedSearchTexts_);
            return;
        }
        for (int f = 0; f < 2; f++)
            if (frames_[f])
                CheckRecordChanges("address bar " + std::to_string(f + 1), boxes[f],
                                   FullEntries(frames_[f]->AddressBar()), deletedFull_);
        StoredValues typedAfter = LowerNamed(ReadStoredValues(TypedUrlsKey));
        if (host_.nt6) {
            if (typedAfter != typed) Fail(WrongRecordDeleted, "the typed-URL list changed on NT 6");
            CheckRecordChanges("DeletedUrls", Records(deleted),
                               Records(ReadStoredValues(deletedKey.c_str())), {}, deletedFull_);
        } else {
            CheckRecordChanges("typed URLs", TypedRecords(typed), TypedRecords(typedAfter),
                               deletedFull_);
            if (ReadStoredValues(deletedKey.c_str()) != deleted)
                Fail(WrongRecordDeleted, "DeletedUrls changed before NT 6");
        }
        return;
    }
    if (kind == SearchRecords) {
        if (!honestSearch_) return;
        std::vector<std::wstring> expected;
        for (const std::wstring& record : searchBefore)
            if (std::find(deletedSearchTexts_.begin(), deletedSearchTexts_.end(), record) ==
                deletedSearchTexts_.end())
                expected.push_back(record);
        if (host_.searchBox->Records() != expected)
            Fail(WrongRecordDeleted,
                 "search records: " + std::to_string(host_.searchBox->Records().size()) +
                     " left, expected " + std::to_string(expected.size()));
        return;
    }

    // The address bars: one entry of each deleted row's URL goes from every box; when no row
    // is left, the clean dialog empties every box. Whatever goes must be a deleted row's text.
    bool emptied = !LinkShown(clean, AddressLinkId);
    for (int f = 0; f < 2; f++) {
        if (!frames_[f]) continue;
        std::vector<std::wstring> after = FullEntries(frames_[f]->AddressBar());
        Counts expected = CountOf(boxes[f]);
        if (emptied) expected.clear();
        // The box's exact search finds no empty text: such an entry is not expected to go.
        for (const auto& batch : addressBatches_)
            for (const std::wstring& url : batch)
                if (!url.empty() && expected[url] > 0) expected[url]--;
        for (auto it = expected.begin(); it != expected.end();)
            it = it->second == 0 ? expected.erase(it) : std::next(it);
        for (const std::wstring& gone : RemovedFrom(CountOf(boxes[f]), CountOf(after)))
            if (!emptied &&
                std::find(deletedFull_.begin(), deletedFull_.end(), gone) == deletedFull_.end())
                Fail(WrongRecordDeleted, "address bar " + std::to_string(f + 1) + ": " +
                                             Short(gone) + " went, but no deleted row was it");
        if (CountOf(after) != expected)
            Fail(WrongRecordDeleted,
                 "address bar " + std::to_string(f + 1) + " holds " + std::to_string(after.size()) +
                     " entries, not those expected" + DescribeDifference(expected, CountOf(after)));
    }

    StoredValues typedAfter = LowerNamed(ReadStoredValues(TypedUrlsKey));
    if (host_.nt6) {
        if (typedAfter != typed) Fail(WrongRecordDeleted, "the typed-URL list changed on NT 6");
        StoredValues deletedAfter = ReadStoredValues(deletedKey.c_str());
        std::vector<std::wstring> before = Records(deleted);
        for (const auto& [name, value] : deleted) {
            // Only names 1 ... 25 are written, and only over values that are records.
            std::wstring text;
            bool numbered = false;
            for (int n = 1; n <= 25 && !numbered; n++)
                numbered = Lower(name) == std::to_wstring(n);
            auto found = deletedAfter.find(name);
            bool kept = found != deletedAfter.end() && found->second == value;
            if ((!numbered || !AsRecord(value, &text)) && !kept)
                Fail(WrongRecordDeleted, "DeletedUrls: value \"" + Utf8(name) +
                                             "\", which is no record the module may rewrite, "
                                             "changed");
        }
        for (const auto& [name, value] : deletedAfter) {
            std::wstring text;
            if (deleted.count(name) && deleted.at(name) == value) continue;
            if (!AsRecord(value, &text)) continue;
            bool old = std::find(before.begin(), before.end(), text) != before.end();
            bool chosen =
                std::find(deletedFull_.begin(), deletedFull_.end(), text) != deletedFull_.end();
            if (!old && !chosen)
                Fail(WrongRecordDeleted,
                     "DeletedUrls lists " + Short(text) + ", which no deleted row was");
        }
        return;
    }

    // Before NT 6: each batch removes one record of each of its URLs from the list, which is
    // stored again in order around the values that are no records.
    std::vector<std::wstring> expected = TypedRecords(typed);
    std::vector<std::wstring> records = expected;
    for (const auto& batch : addressBatches_) {
        if (records.empty()) break; // an empty list is not written at all
        std::vector<std::wstring> unique;
        for (const std::wstring& url : batch)
            if (std::find(unique.begin(), unique.end(), url) == unique.end()) unique.push_back(url);
        for (const std::wstring& url : unique) {
            auto found = std::find(expected.begin(), expected.end(), url);
            if (found != expected.end()) expected.erase(found);
        }
    }
    std::vector<std::wstring> after = TypedRecords(typedAfter);
    for (const std::wstring& gone : RemovedFrom(CountOf(records), CountOf(after)))
        if (std::find(deletedFull_.begin(), deletedFull_.end(), gone) == deletedFull_.end())
            Fail(WrongRecordDeleted,
                 "typed URLs: " + Short(gone) + " went, but no deleted row was it");
    if (after != expected)
        Fail(WrongRecordDeleted, "typed URLs: " + std::to_string(after.size()) +
                                     " records left, expected " + std::to_string(expected.size()) +
                                     DescribeDifference(CountOf(expected), CountOf(after)));
    for (const auto& [name, value] : typed) {
        std::wstring text;
        bool numbered = false;
        for (int n = 1; n <= 25 && !numbered; n++)
            numbered = name == L"url" + std::to_wstring(n);
        if (numbered && AsRecord(value, &text)) continue;
        auto found = typedAfter.find(name);
        if (found == typedAfter.end() || !(found->second == value))
            Fail(WrongRecordDeleted,
                 "typed URLs: value \"" + Utf8(name) + "\", which is no record, changed");
    }
}

} // namespace hostile
