#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "cleaners/SearchBox.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/SearchBoxComponent.h"

namespace {

using Records = std::vector<std::wstring>;

const Records ThreeRecords = {L"weather", L"天气预报", L"train times"};

class SearchBox : public testing::Test {
protected:
    SearchBox() : toolbar_{100}, site_(HostSite::Make()) {
        site_->SetToolbarWindow(toolbar_.Window());
    }
    void SetUp() override {
        DeleteToolbarRegistryState();
        ASSERT_NE(nullptr, toolbar_.Window());
    }
    void TearDown() override { DeleteToolbarRegistryState(); }

    IButtonSite* Site() { return site_.Get(); }
    int CommandCalls() { return site_->CountCalls(SiteMethod::SendComponentCommand); }

    HostToolbar toolbar_;
    ComPtr<HostSite> site_;
};

// Frees the list however the test ends.
class RecordList {
public:
    RecordList() { initialised_ = InitSearchRecordList(&list_); }
    ~RecordList() { FreeSearchRecordList(&list_); }
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    SearchRecordList* Get() { return &list_; }
    BOOL Initialised() const { return initialised_; }
    // The texts from the sentinel forwards; checks that every back link matches.
    Records Texts(bool* linksAgree) const {
        Records texts;
        *linksAgree = true;
        SearchRecordNode* sentinel = list_.sentinel;
        SearchRecordNode* previous = sentinel;
        for (SearchRecordNode* node = sentinel->next; node != sentinel; node = node->next) {
            if (node->prev != previous) *linksAgree = false;
            texts.push_back(node->text);
            previous = node;
        }
        if (sentinel->prev != previous) *linksAgree = false;
        return texts;
    }

private:
    SearchRecordList list_ = {};
    BOOL initialised_ = FALSE;
};

std::string Describe(const Records& records) {
    std::string text = "{";
    for (const std::wstring& record : records)
        text += " \"" + Narrow(record) + "\"";
    return text + " }";
}

TEST_F(SearchBox, FindsTheEditInTheContainerUnderTheToolbar) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    ASSERT_NE(nullptr, box.Edit());
    EXPECT_EQ(box.Edit(), FindSearchBox(Site()));
}

TEST_F(SearchBox, FindsTheEditFurtherDownTheToolbar) {
    HWND band = CreateWindowExW(0, L"Static", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 300, 24,
                                toolbar_.Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, band);
    SearchBoxComponent box(site_.Get(), band, ThreeRecords);
    ASSERT_NE(nullptr, box.Edit());
    EXPECT_EQ(box.Edit(), FindSearchBox(Site()));
}

TEST_F(SearchBox, EditWhoseParentIsOfAnotherClassIsNotTheSearchBox) {
    SearchBoxComponent lookAlike(site_.Get(), toolbar_.Window(), ThreeRecords,
                                 L"VelaToolbar_SearchBox");
    ASSERT_NE(nullptr, lookAlike.Edit());
    HWND plainEdit =
        CreateWindowExW(0, L"Edit", nullptr, WS_CHILD, 0, 0, 100, 20, toolbar_.Window(), nullptr,
                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, plainEdit);
    EXPECT_EQ(nullptr, FindSearchBox(Site()));
}

TEST_F(SearchBox, NoSiteOrNoToolbarWindowMeansNoSearchBox) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    EXPECT_EQ(nullptr, FindSearchBox(nullptr));
    HWND gone = CreateWindowExW(0, L"Static", nullptr, 0, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(gone);
    site_->SetToolbarWindow(gone);
    EXPECT_EQ(nullptr, FindSearchBox(Site()));
}

TEST_F(SearchBox, NewListIsTheSentinelLinkedToItself) {
    RecordList list;
    ASSERT_TRUE(list.Initialised());
    SearchRecordNode* sentinel = list.Get()->sentinel;
    ASSERT_NE(nullptr, sentinel);
    EXPECT_EQ(sentinel, sentinel->next);
    EXPECT_EQ(sentinel, sentinel->prev);
    EXPECT_EQ(0u, list.Get()->count);
    EXPECT_EQ(sizeof(SearchRecordNode), HeapSize(GetProcessHeap(), 0, sentinel));
}

TEST_F(SearchBox, RecordsArriveInTheComponentsOrder) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    RecordList list;
    ASSERT_TRUE(list.Initialised());

    EXPECT_EQ(1, GetSearchRecords(Site(), list.Get()));

    bool linksAgree = false;
    Records texts = list.Texts(&linksAgree);
    EXPECT_EQ(ThreeRecords, texts) << Describe(texts);
    EXPECT_TRUE(linksAgree);
    EXPECT_EQ(3u, list.Get()->count);
    ASSERT_EQ(1u, box.Commands().size());
    const SearchCommand& command = box.Commands()[0];
    EXPECT_EQ(12, command.message);
    EXPECT_EQ(166, command.command);
    EXPECT_EQ(0, command.all);
    EXPECT_EQ(list.Get(), command.pointer);
}

TEST_F(SearchBox, WithoutASearchBoxNoRecordsAreAskedFor) {
    // A component answers, but the toolbar shows no search box.
    SearchBoxComponent lookAlike(site_.Get(), toolbar_.Window(), ThreeRecords,
                                 L"VelaToolbar_SearchBox");
    RecordList list;
    ASSERT_TRUE(list.Initialised());

    EXPECT_EQ(0, GetSearchRecords(Site(), list.Get()));
    EXPECT_EQ(0, GetSearchRecords(nullptr, list.Get()));

    bool linksAgree = false;
    Records texts = list.Texts(&linksAgree);
    EXPECT_TRUE(texts.empty()) << Describe(texts);
    EXPECT_EQ(0u, list.Get()->count);
    EXPECT_EQ(0, CommandCalls());
}

TEST_F(SearchBox, NoListMeansNoCommand) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    EXPECT_EQ(0, GetSearchRecords(Site(), nullptr));
    EXPECT_EQ(0, CommandCalls());
}

TEST_F(SearchBox, DeletingOneRecordRemovesThatOne) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    DeleteSearchRecord(Site(), L"天气预报");

    EXPECT_EQ(Records({L"weather", L"train times"}), box.Records()) << Describe(box.Records());
    ASSERT_EQ(1u, box.Commands().size());
    const SearchCommand& command = box.Commands()[0];
    EXPECT_EQ(12, command.message);
    EXPECT_EQ(167, command.command);
    EXPECT_EQ(0, command.all);
    EXPECT_EQ(L"天气预报", command.text);
}

TEST_F(SearchBox, DeletingWithoutTextOrSearchBoxSendsNothing) {
    SearchBoxComponent lookAlike(site_.Get(), toolbar_.Window(), ThreeRecords,
                                 L"VelaToolbar_SearchBox");
    DeleteSearchRecord(Site(), L"weather");
    DeleteSearchRecord(nullptr, L"weather");
    EXPECT_EQ(ThreeRecords, lookAlike.Records()) << Describe(lookAlike.Records());
    EXPECT_EQ(0, CommandCalls());

    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    DeleteSearchRecord(Site(), nullptr);
    EXPECT_EQ(ThreeRecords, box.Records()) << Describe(box.Records());
    EXPECT_EQ(0, CommandCalls());
}

TEST_F(SearchBox, ClearingEmptiesTheSearchBox) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    ClearSearchRecords(Site());

    EXPECT_TRUE(box.Records().empty()) << Describe(box.Records());
    ASSERT_EQ(1u, box.Commands().size());
    const SearchCommand& command = box.Commands()[0];
    EXPECT_EQ(12, command.message);
    EXPECT_EQ(167, command.command);
    EXPECT_EQ(1, command.all);
    EXPECT_EQ(nullptr, command.pointer);
}

TEST_F(SearchBox, ClearingWithoutSiteOrSearchBoxDoesNothing) {
    SearchBoxComponent lookAlike(site_.Get(), toolbar_.Window(), ThreeRecords,
                                 L"VelaToolbar_SearchBox");
    ClearSearchRecords(nullptr);
    ClearSearchRecords(Site());
    EXPECT_EQ(ThreeRecords, lookAlike.Records()) << Describe(lookAlike.Records());
    EXPECT_EQ(0, CommandCalls());
}

// What can be observed of a free: the heap no longer validates any of the blocks. The
// addresses are kept in a fixed array so that nothing is allocated (and could take a freed
// block back) between the free and the checks.
TEST_F(SearchBox, FreeingTheListReturnsEveryNodeToTheHeap) {
    SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
    SearchRecordList list = {};
    ASSERT_TRUE(InitSearchRecordList(&list));
    ASSERT_EQ(1, GetSearchRecords(Site(), &list));
    ASSERT_EQ(3u, list.count);

    HANDLE heap = GetProcessHeap();
    void* blocks[4] = {list.sentinel, list.sentinel->next, list.sentinel->next->next,
                       list.sentinel->prev};
    BOOL validBefore[4] = {};
    for (int i = 0; i < 4; i++)
        validBefore[i] = HeapValidate(heap, 0, blocks[i]);

    FreeSearchRecordList(&list);

    BOOL validAfter[4] = {};
    for (int i = 0; i < 4; i++)
        validAfter[i] = HeapValidate(heap, 0, blocks[i]);
    for (int i = 0; i < 4; i++) {
        EXPECT_TRUE(validBefore[i]) << "block " << i;
        EXPECT_FALSE(validAfter[i]) << "block " << i << " is still allocated";
    }
    EXPECT_EQ(nullptr, list.sentinel);
    EXPECT_EQ(0u, list.count);
}

TEST_F(SearchBox, FreeingAnEmptyListFreesTheSentinel) {
    SearchRecordList list = {};
    ASSERT_TRUE(InitSearchRecordList(&list));
    void* sentinel = list.sentinel;
    FreeSearchRecordList(&list);
    BOOL stillValid = HeapValidate(GetProcessHeap(), 0, sentinel);
    EXPECT_FALSE(stillValid);
    EXPECT_EQ(nullptr, list.sentinel);
    FreeSearchRecordList(&list); // a second release finds nothing to free
    FreeSearchRecordList(nullptr);
}

// Answers of a host that break the list's rules, as the hostile-stores run gave them: a last
// node that links back into the middle, a last node with a null link, the sentinel pointer set
// to null, and a count far above the nodes. The records are read up to the last new node, and
// every node and the sentinel go back to the heap once each; a looping list was walked, and
// freed, round and round before.
TEST_F(SearchBox, BrokenAnswersAreReadAndFreedNodeByNodeOnce) {
    for (SearchListAnswer answer :
         {SearchListAnswer::Loop, SearchListAnswer::OpenEnd, SearchListAnswer::NullSentinel,
          SearchListAnswer::CountTooHigh}) {
        SearchBoxComponent box(site_.Get(), toolbar_.Window(), ThreeRecords);
        box.SetListAnswer(answer);
        SearchRecordList list = {};
        ASSERT_TRUE(InitSearchRecordList(&list));
        SearchRecordNode* sentinel = list.sentinel;
        ASSERT_EQ(1, GetSearchRecords(Site(), &list));
        EXPECT_EQ(sentinel, list.sentinel) << "answer " << static_cast<int>(answer);
        ASSERT_EQ(3u, CountSearchRecords(&list)) << "answer " << static_cast<int>(answer);

        void* blocks[4] = {sentinel};
        SearchRecordNode* node = sentinel->next;
        for (int i = 1; i < 4; node = node->next, i++) {
            EXPECT_EQ(ThreeRecords[i - 1], node->text) << "answer " << static_cast<int>(answer);
            blocks[i] = node;
        }
        FreeSearchRecordList(&list);
        HANDLE heap = GetProcessHeap();
        for (void* block : blocks)
            EXPECT_FALSE(HeapValidate(heap, 0, block)) << "answer " << static_cast<int>(answer);
        EXPECT_TRUE(HeapValidate(heap, 0, nullptr)) << "answer " << static_cast<int>(answer);
    }
}

} // namespace
