// Opening and closing the record dialog many times from the clean dialog's link, with rows,
// site icons, drawing and ticks each time, leaves no GDI object, window, handle or row behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "TestSupport.h"
#include "records/RecordTestSupport.h"
#include "testbed/AddressBarImages.h"
#include "testbed/DibCanvas.h"
#include "testbed/OwnerDrawRow.h"
#include "testbed/LeakProbes.h"
#include "testbed/SiteIconCache.h"

namespace {

std::wstring SiteUrl(int i) {
    return L"http://site" + std::to_wstring(i) + L".example/page";
}

std::wstring IconUrl(int i) {
    return L"http://site" + std::to_wstring(i) + L".example/favicon.ico";
}

class RecordDialogLeakTest : public RecordDialogTest {
protected:
    void TearDown() override {
        for (int i = 0; i < 25; i += 5)
            RemoveSiteIcon(IconUrl(i).c_str());
        RecordDialogTest::TearDown();
    }
};

// Draws every row, selected and not, ticks one and closes.
void UseRecords(HWND records) {
    HWND list = ListOf(records);
    int count = RowCount(records);
    EXPECT_EQ(25, count);
    for (int row = 0; row < count; row++) {
        RECT bounds = RowBounds(records, row);
        DibCanvas canvas(bounds.right - bounds.left, bounds.bottom - bounds.top);
        for (UINT state : {0u, static_cast<UINT>(ODS_SELECTED)})
            SendDrawRow(records, list, ListViewId, row, state, canvas.Dc(),
                        RECT{0, 0, canvas.Width(), canvas.Height()});
    }
    UpdateWindow(records);
    ClickTick(records, 3);
    CloseDialog(records);
}

TEST_F(RecordDialogLeakTest, OpeningAndClosingTwoHundredTimesLeavesNothingBehind) {
    // The dialog opens and closes the same way on every version; 200 rounds take half a
    // minute, so one emulated version runs them.
    ONLY_ON(WinVersion::WinXp);
    std::vector<std::wstring> urls;
    for (int i = 0; i < 25; i++)
        urls.push_back(SiteUrl(i));
    SeedTypedUrls(urls);
    for (int i = 0; i < 25; i += 5)
        ASSERT_TRUE(SeedSiteIcon(IconUrl(i).c_str(), RGB(10 * i, 100, 200)));
    AddressBarImages images(frame.AddressBar(), {RGB(0, 0, 255), RGB(0, 255, 0)});

    // As on the browser's user-interface thread, COM is initialised around the whole run.
    HRESULT com = CoInitialize(nullptr);
    ResourceSnapshot before = {};
    ResourceSnapshot middle = {};
    ResourceSnapshot after = {};
    SIZE_T heapBefore = 0;
    SIZE_T heapAfter = 0;
    int opened = 0;
    WhenDialogShows(CleanCaption, [&](HWND clean) {
        auto round = [&] {
            WhenDialogShows(AddressRecordsCaption, [&](HWND records) {
                opened++;
                UseRecords(records);
            });
            ClickControl(clean, AddressLinkId);
            CancelDialogSteps();
        };
        round(); // the first round creates what lives for the process
        before = TakeResourceSnapshot();
        heapBefore = HeapBytesInUse();
        for (int i = 0; i < 100 && !HasFailure(); i++)
            round();
        middle = TakeResourceSnapshot();
        for (int i = 0; i < 100 && !HasFailure(); i++)
            round();
        after = TakeResourceSnapshot();
        heapAfter = HeapBytesInUse();
        PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
    });
    {
        CleanDialog dialog;
        site->AddRef();
        dialog.ShowOverBrowser(site.Get());
    }
    if (SUCCEEDED(com)) CoUninitialize();

    EXPECT_EQ(201, opened);
    // A leaked handle keeps its slot, so the lowest free slot can only climb; handles that other
    // parts of the process close meanwhile (a finished ping thread) may lower it.
    EXPECT_LE(after.handleProbe, before.handleProbe)
        << "before: " << before.Describe() << "; after: " << after.Describe();
    // Now and then, at any round, Wine's theme engine loads a theme's part images anew: six
    // bitmaps at once, which stay. So the count may rise in one half of the run; a leak of an
    // object every round, or every few rounds, raises it in both.
    EXPECT_TRUE(middle.gdiObjects == before.gdiObjects || after.gdiObjects == middle.gdiObjects)
        << "before: " << before.Describe() << "; after 100 rounds: " << middle.Describe()
        << "; after 200: " << after.Describe();
    EXPECT_EQ(before.threadWindows, after.threadWindows)
        << "before: " << before.Describe() << "; after: " << after.Describe();
    // One round's rows hold 25 items of over 4 KB each; a leak of them would pass this at once.
    EXPECT_LT(heapAfter, heapBefore + 25 * sizeof(RecordItem))
        << "heap bytes before " << heapBefore << ", after " << heapAfter;
}

} // namespace
