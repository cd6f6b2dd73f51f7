#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "TestSupport.h"
#include "cleaners/AddressBars.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ForeignFrameProcess.h"

namespace {

using Entries = std::vector<std::wstring>;
using Resets = std::vector<WPARAM>;

const WCHAR HotKeysKey[] = L"SOFTWARE\\Corvane\\Ostle\\HotKeys";

const Entries ThreeUrls = {L"http://a.example/", L"http://b.example/", L"http://c.example/"};

class AddressBars : public testing::Test {
protected:
    void SetUp() override { DeleteToolbarRegistryState(); }
    void TearDown() override { DeleteToolbarRegistryState(); }

    // A key tree with a sub key and a value, as the toolbar leaves it.
    static void SeedHotKeys() {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Ostle\\HotKeys\\Search",
                                  0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
        DWORD value = 0x53;
        RegSetValueExW(key, L"Key", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }
    static bool HotKeysExist() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, HotKeysKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

std::string Describe(const Entries& entries) {
    std::string text = "{";
    for (const std::wstring& entry : entries)
        text += " \"" + Narrow(entry) + "\"";
    return text + " }";
}

std::wstring ClassOf(HWND window) {
    WCHAR name[260] = {};
    GetClassNameW(window, name, 260);
    return name;
}

BOOL CALLBACK FirstComboBox(HWND child, LPARAM param) {
    if (ClassOf(child) != L"ComboBoxEx32") return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

BrowserFrameLayout Layout(const WCHAR* worker, AddressBarPlacement placement) {
    BrowserFrameLayout layout;
    layout.workerClass = worker;
    layout.placement = placement;
    return layout;
}

TEST_F(AddressBars, FindsTheComboBoxDirectlyUnderTheRebar) {
    BrowserFrame frame(Layout(L"WorkerW", AddressBarPlacement::UnderRebar));
    ASSERT_NE(nullptr, frame.AddressBar());
    ASSERT_EQ(frame.Rebar(), GetParent(frame.AddressBar()));
    EXPECT_EQ(frame.AddressBar(), FindAddressBar(frame.Window()));
}

TEST_F(AddressBars, FindsTheComboBoxInsideTheAddressBand) {
    BrowserFrame frame(Layout(L"WorkerW", AddressBarPlacement::UnderAddressBand));
    ASSERT_NE(nullptr, frame.AddressBar());
    ASSERT_EQ(frame.AddressBand(), GetParent(frame.AddressBar()));
    EXPECT_EQ(frame.AddressBar(), FindAddressBar(frame.Window()));
}

TEST_F(AddressBars, FindsTheComboBoxBelowAWorkerA) {
    BrowserFrame underRebar(Layout(L"WorkerA", AddressBarPlacement::UnderRebar));
    BrowserFrame inBand(Layout(L"WorkerA", AddressBarPlacement::UnderAddressBand));
    EXPECT_EQ(underRebar.AddressBar(), FindAddressBar(underRebar.Window()));
    EXPECT_EQ(inBand.AddressBar(), FindAddressBar(inBand.Window()));
}

TEST_F(AddressBars, FrameWithoutAKnownWorkerWindowHasNoAddressBar) {
    BrowserFrame frame(Layout(L"WorkerX", AddressBarPlacement::UnderRebar));
    ASSERT_NE(nullptr, frame.AddressBar());
    EXPECT_EQ(nullptr, FindAddressBar(frame.Window()));
}

// FindWindowExW with a null parent would search the top-level windows; a top-level "WorkerW"
// holding a rebar and a combo box must not be taken for a frame's address bar.
TEST_F(AddressBars, NullFrameHasNoAddressBarEvenWithATopLevelWorker) {
    BrowserFrame decoy(Layout(L"WorkerW", AddressBarPlacement::UnderRebar));
    ASSERT_NE(nullptr, decoy.Worker());
    SetParent(decoy.Worker(), nullptr);
    SetWindowLongPtrW(decoy.Worker(), GWL_STYLE, WS_POPUP);
    ASSERT_EQ(decoy.Worker(), FindWindowExW(nullptr, nullptr, L"WorkerW", nullptr));
    EXPECT_EQ(nullptr, FindAddressBar(nullptr));
    DestroyWindow(decoy.Worker());
}

TEST_F(AddressBars, UrlIsRemovedFromEveryFrameAndNothingIsReset) {
    SeedHotKeys();
    BrowserFrame first(Layout(L"WorkerW", AddressBarPlacement::UnderRebar));
    BrowserFrame second(Layout(L"WorkerA", AddressBarPlacement::UnderAddressBand));
    first.AddEntries(ThreeUrls);
    second.AddEntries({L"http://b.example/", L"http://d.example/"});

    ClearAddressBars(L"http://b.example/");

    Entries firstLeft = first.Entries(), secondLeft = second.Entries();
    EXPECT_EQ(Entries({L"http://a.example/", L"http://c.example/"}), firstLeft)
        << Describe(firstLeft);
    EXPECT_EQ(Entries({L"http://d.example/"}), secondLeft) << Describe(secondLeft);
    EXPECT_TRUE(first.Resets().empty()) << first.Resets().size();
    EXPECT_TRUE(second.Resets().empty()) << second.Resets().size();
    EXPECT_TRUE(HotKeysExist());
}

// An entry in other letter case is another record: it stays. The box's own extended style
// is as it was afterwards, whether it searched case-sensitively before or not.
TEST_F(AddressBars, UrlIsRemovedOnlyWhereItsLetterCaseMatches) {
    BrowserFrame frame;
    frame.AddEntries(ThreeUrls);
    ClearAddressBars(L"HTTP://B.EXAMPLE/");
    EXPECT_EQ(ThreeUrls, frame.Entries()) << Describe(frame.Entries());
    EXPECT_EQ(0, SendMessageW(frame.AddressBar(), CBEM_GETEXTENDEDSTYLE, 0, 0));

    SendMessageW(frame.AddressBar(), CBEM_SETEXTENDEDSTYLE, CBES_EX_CASESENSITIVE,
                 CBES_EX_CASESENSITIVE);
    ClearAddressBars(L"http://b.example/");
    Entries left = frame.Entries();
    EXPECT_EQ(Entries({L"http://a.example/", L"http://c.example/"}), left) << Describe(left);
    EXPECT_EQ(CBES_EX_CASESENSITIVE, SendMessageW(frame.AddressBar(), CBEM_GETEXTENDEDSTYLE, 0, 0));
}

TEST_F(AddressBars, UrlTheAddressBarDoesNotHoldChangesNothing) {
    BrowserFrame frame;
    frame.AddEntries(ThreeUrls);
    ClearAddressBars(L"http://z.example/");
    EXPECT_EQ(ThreeUrls, frame.Entries()) << Describe(frame.Entries());
}

// The entry in other letter case comes first and stays; only the URL's own entry goes.
TEST_F(AddressBars, UrlIsRemovedFromAFrameOfAnotherProcess) {
    ForeignFrameProcess foreign({L"http://a.example/", L"http://C.example/", L"http://c.example/"});
    ASSERT_TRUE(foreign.Ready());
    ASSERT_NE(GetCurrentProcessId(), foreign.ProcessId());
    ASSERT_EQ(3, foreign.Count());

    ClearAddressBars(L"http://c.example/");

    EXPECT_EQ(2, foreign.Count());
    HWND bar = foreign.AddressBar();
    EXPECT_EQ(0, SendMessageW(bar, CBEM_GETEXTENDEDSTYLE, 0, 0));
    SendMessageW(bar, CBEM_SETEXTENDEDSTYLE, CBES_EX_CASESENSITIVE, CBES_EX_CASESENSITIVE);
    EXPECT_EQ(CB_ERR, SendMessageW(bar, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(L"http://c.example/")));
    EXPECT_EQ(1, SendMessageW(bar, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(L"http://C.example/")));
    EXPECT_TRUE(foreign.Resets().empty()) << foreign.Resets().size();
}

TEST_F(AddressBars, NullEmptiesAllFramesAndResetsOnlyThoseOfThisProcess) {
    SeedHotKeys();
    BrowserFrame own;
    own.AddEntries(ThreeUrls);
    ForeignFrameProcess foreign({L"http://x.example/", L"http://y.example/"});
    ASSERT_TRUE(foreign.Ready());
    ASSERT_EQ(2, foreign.Count());

    ClearAddressBars(nullptr);

    EXPECT_TRUE(own.Entries().empty()) << Describe(own.Entries());
    EXPECT_EQ(0, foreign.Count());
    EXPECT_EQ(Resets({1, 0}), own.Resets()) << own.Resets().size() << " reset messages";
    Resets foreignResets = foreign.Resets();
    EXPECT_TRUE(foreignResets.empty()) << foreignResets.size() << " reset messages";
    EXPECT_FALSE(HotKeysExist());
}

TEST_F(AddressBars, NullWithOnlyAForeignFrameKeepsTheHotKeys) {
    SeedHotKeys();
    ForeignFrameProcess foreign(ThreeUrls);
    ASSERT_TRUE(foreign.Ready());

    ClearAddressBars(nullptr);

    EXPECT_EQ(0, foreign.Count());
    EXPECT_TRUE(HotKeysExist());
}

TEST_F(AddressBars, OnlyTheFirstComboBoxOfAFrameIsTouched) {
    BrowserFrameLayout layout;
    layout.secondAddressBar = TRUE;
    BrowserFrame frame(layout);
    ASSERT_NE(nullptr, frame.SecondAddressBar());
    frame.AddEntries(ThreeUrls);
    BrowserFrame::AddEntries(frame.SecondAddressBar(), ThreeUrls);

    // Which of the two comes first is the platform's enumeration order.
    HWND first = nullptr;
    EnumChildWindows(frame.Window(), FirstComboBox, reinterpret_cast<LPARAM>(&first));
    ASSERT_NE(nullptr, first);
    HWND other = first == frame.AddressBar() ? frame.SecondAddressBar() : frame.AddressBar();
    const Resets& firstResets = first == frame.AddressBar() ? frame.Resets() : frame.SecondResets();
    const Resets& otherResets = first == frame.AddressBar() ? frame.SecondResets() : frame.Resets();

    ClearAddressBars(nullptr);

    EXPECT_TRUE(BrowserFrame::Entries(first).empty()) << Describe(BrowserFrame::Entries(first));
    EXPECT_EQ(ThreeUrls, BrowserFrame::Entries(other)) << Describe(BrowserFrame::Entries(other));
    EXPECT_EQ(Resets({1, 0}), firstResets) << firstResets.size() << " reset messages";
    EXPECT_TRUE(otherResets.empty()) << otherResets.size() << " reset messages";
}

TEST_F(AddressBars, OnlyTheFirstComboBoxOfAFrameLosesTheUrl) {
    BrowserFrameLayout layout;
    layout.secondAddressBar = TRUE;
    BrowserFrame frame(layout);
    ASSERT_NE(nullptr, frame.SecondAddressBar());
    frame.AddEntries(ThreeUrls);
    BrowserFrame::AddEntries(frame.SecondAddressBar(), ThreeUrls);
    HWND first = nullptr;
    EnumChildWindows(frame.Window(), FirstComboBox, reinterpret_cast<LPARAM>(&first));
    ASSERT_NE(nullptr, first);
    HWND other = first == frame.AddressBar() ? frame.SecondAddressBar() : frame.AddressBar();

    ClearAddressBars(L"http://a.example/");

    Entries firstLeft = BrowserFrame::Entries(first), otherLeft = BrowserFrame::Entries(other);
    EXPECT_EQ(Entries({L"http://b.example/", L"http://c.example/"}), firstLeft)
        << Describe(firstLeft);
    EXPECT_EQ(ThreeUrls, otherLeft) << Describe(otherLeft);
}

TEST_F(AddressBars, FrameClassDifferingOnlyInCaseIsNotTouched) {
    SeedHotKeys();
    BrowserFrameLayout layout;
    layout.frameClass = L"ieframe";
    BrowserFrame frame(layout);
    ASSERT_NE(nullptr, frame.AddressBar());
    ASSERT_EQ(L"ieframe", ClassOf(frame.Window()));
    frame.AddEntries(ThreeUrls);

    ClearAddressBars(nullptr);
    ClearAddressBars(L"http://a.example/");

    EXPECT_EQ(ThreeUrls, frame.Entries()) << Describe(frame.Entries());
    EXPECT_TRUE(frame.Resets().empty()) << frame.Resets().size();
    EXPECT_TRUE(HotKeysExist());
}

TEST_F(AddressBars, ResetSendsOneThenZeroAndDeletesTheHotKeysTree) {
    SeedHotKeys();
    BrowserFrame frame;
    frame.AddEntries(ThreeUrls);
    ResetAddressBar(frame.AddressBar());
    EXPECT_EQ(Resets({1, 0}), frame.Resets()) << frame.Resets().size() << " reset messages";
    EXPECT_EQ(ThreeUrls, frame.Entries()) << Describe(frame.Entries());
    EXPECT_FALSE(HotKeysExist());
}

} // namespace
