// The clean dialog's two link labels (statics 1189 and 1190), driven with the real mouse and
// cursor messages on the real dialog while its modal loop runs, fonts read back with
// WM_GETFONT. Each check runs on the dialog's own thread, in one message, so no system timer
// of the mouse tracking can fire between a message and the look at its effect.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "TestSupport.h"
#include "clean/CleanDialog.h"
#include "testbed/HostSite.h"
#include "ui/LinkLabel.h"

namespace {

const int AddressLink = 1189;
const int SearchLink = 1190;
const WCHAR OwnerProp[] = L"{A6381A91-EF3F-44ca-97A7-39CA5650FB8E}";
const WCHAR ProcProp[] = L"{B97AE1D3-AEF0-4467-877D-5D958855BDED}";
const WCHAR RunnerClass[] = L"VelaLinkLabelTestRunner";
const UINT RunChecks = WM_APP + 40;

using DialogCheck = std::function<void(HWND dialog)>;

HFONT FontOf(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

LOGFONTW Describe(HFONT font) {
    LOGFONTW description = {};
    GetObjectW(font, sizeof(description), &description);
    return description;
}

bool IsUnderlined(HFONT font) {
    return font && Describe(font).lfUnderline != 0;
}

// The system's leave tracking of this thread: which window, if any, has a leave request.
HWND LeaveTrackedWindow() {
    TRACKMOUSEEVENT query = {sizeof(query), TME_QUERY, nullptr, 0};
    if (!_TrackMouseEvent(&query) || !(query.dwFlags & TME_LEAVE)) return nullptr;
    return query.hwndTrack;
}

void CancelLeaveTracking(HWND window) {
    TRACKMOUSEEVENT cancel = {sizeof(cancel), TME_LEAVE | TME_CANCEL, window, 0};
    _TrackMouseEvent(&cancel);
    MSG pending;
    while (PeekMessageW(&pending, window, WM_MOUSELEAVE, WM_MOUSELEAVE, PM_REMOVE)) {
    }
}

// The system tracks a leave only for the window under the pointer: the label is shown (the
// dialog hides a link without records) and the pointer put on its middle.
void PointAt(HWND label) {
    ShowWindow(label, SW_SHOWNA);
    RECT rect = {};
    GetWindowRect(label, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

// Back where the tests found it, outside every window of the dialog.
void PointAway() {
    SetCursorPos(0, 0);
}

LRESULT MouseMove(HWND label) {
    return SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
}

// Counts the WM_SETFONT messages that reach a label, from above the link procedure.
WNDPROC g_belowCounter;
int g_setFonts;

LRESULT CALLBACK CountSetFont(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFONT) g_setFonts++;
    return CallWindowProcW(g_belowCounter, window, message, wParam, lParam);
}

LRESULT CALLBACK RunnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != RunChecks) return DefWindowProcW(window, message, wParam, lParam);
    const DialogCheck& check = *reinterpret_cast<const DialogCheck*>(lParam);
    HWND dialog = FindWindowW(L"#32770", L"清理上网痕迹");
    DWORD process = 0;
    if (dialog && GetWindowThreadProcessId(dialog, &process) == GetCurrentThreadId()) {
        check(dialog);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
        ADD_FAILURE() << "the clean dialog is not up";
    }
    return 0;
}

// What the labels look like right after the dialog's own WM_DESTROY handling.
struct LabelState {
    LONG_PTR procedure = 0;
    bool ownerProperty = true;
    bool procProperty = true;
    HFONT font = nullptr;
};

HWND g_watchedDialog;
LabelState g_afterDestroy[2];
bool g_sawDestroy;

LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_DESTROY && call->hwnd == g_watchedDialog) {
        g_sawDestroy = true;
        const int ids[] = {AddressLink, SearchLink};
        for (int i = 0; i < 2; i++) {
            HWND label = GetDlgItem(call->hwnd, ids[i]);
            g_afterDestroy[i].procedure = GetWindowLongPtrW(label, GWLP_WNDPROC);
            g_afterDestroy[i].ownerProperty = GetPropW(label, OwnerProp) != nullptr;
            g_afterDestroy[i].procProperty = GetPropW(label, ProcProp) != nullptr;
            g_afterDestroy[i].font = FontOf(label);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class LinkLabels : public testing::Test {
protected:
    void SetUp() override {
        DeleteToolbarRegistryState();
        TurnUsagePingOff();
        WNDCLASSW runnerClass = {};
        runnerClass.lpfnWndProc = RunnerProc;
        runnerClass.hInstance = GetModuleHandleW(nullptr);
        runnerClass.lpszClassName = RunnerClass;
        RegisterClassW(&runnerClass);
        runner_ = CreateWindowExW(0, RunnerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(runner_);
    }
    void TearDown() override {
        if (runner_) DestroyWindow(runner_);
        DeleteToolbarRegistryState();
    }

    // Shows the clean dialog as the button does and runs check inside its modal loop.
    void WithCleanDialog(const DialogCheck& check) {
        PostMessageW(runner_, RunChecks, 0, reinterpret_cast<LPARAM>(&check));
        ComPtr<HostSite> site = HostSite::Make();
        CleanDialog dialog;
        site->AddRef(); // handed over to the dialog
        dialog.ShowOverBrowser(site.Get());
        // A dialog that never came up leaves the posted checks behind: drop them.
        MSG left;
        while (PeekMessageW(&left, runner_, RunChecks, RunChecks, PM_REMOVE)) {
            ADD_FAILURE() << "the checks never ran";
        }
    }

    HWND runner_ = nullptr;
};

TEST_F(LinkLabels, AttachUnderlinesBothLabelsWithACopyOfTheDialogFont) {
    WithCleanDialog([](HWND dialog) {
        HFONT dialogFont = FontOf(dialog);
        HFONT address = FontOf(GetDlgItem(dialog, AddressLink));
        HFONT search = FontOf(GetDlgItem(dialog, SearchLink));
        ASSERT_TRUE(dialogFont);
        EXPECT_TRUE(IsUnderlined(address));
        EXPECT_EQ(address, search) << "the labels share the owner's underlined font";
        EXPECT_NE(dialogFont, address) << "a font of its own, not the dialog's";
        LOGFONTW original = Describe(dialogFont);
        LOGFONTW underlined = Describe(address);
        EXPECT_EQ(original.lfHeight, underlined.lfHeight);
        EXPECT_EQ(original.lfWeight, underlined.lfWeight);
        EXPECT_EQ(original.lfCharSet, underlined.lfCharSet);
        EXPECT_EQ(std::wstring(original.lfFaceName), std::wstring(underlined.lfFaceName))
            << Narrow(underlined.lfFaceName);
        for (int id : {AddressLink, SearchLink}) {
            HWND label = GetDlgItem(dialog, id);
            EXPECT_EQ(reinterpret_cast<LONG_PTR>(LinkLabelProc),
                      GetWindowLongPtrW(label, GWLP_WNDPROC))
                << id;
            EXPECT_TRUE(GetPropW(label, OwnerProp)) << id;
            EXPECT_TRUE(GetPropW(label, ProcProp)) << id;
        }
    });
}

TEST_F(LinkLabels, LeaveGivesTheNormalFontAndAMoveUnderlinesAgainWithALeaveRequest) {
    WithCleanDialog([](HWND dialog) {
        HWND label = GetDlgItem(dialog, AddressLink);
        HFONT underlined = FontOf(label);
        PointAt(label);
        CancelLeaveTracking(label);

        SendMessageW(label, WM_MOUSELEAVE, 0, 0);
        HFONT normal = FontOf(label);
        ASSERT_TRUE(normal);
        EXPECT_NE(underlined, normal);
        EXPECT_FALSE(IsUnderlined(normal));
        EXPECT_EQ(std::wstring(Describe(underlined).lfFaceName),
                  std::wstring(Describe(normal).lfFaceName));
        EXPECT_EQ(Describe(underlined).lfHeight, Describe(normal).lfHeight);
        EXPECT_EQ(nullptr, LeaveTrackedWindow()) << "a leave asks for no tracking";

        MouseMove(label);
        EXPECT_EQ(underlined, FontOf(label));
        EXPECT_EQ(label, LeaveTrackedWindow()) << "the change asked for no leave notification";
        CancelLeaveTracking(label);
        PointAway();
    });
}

TEST_F(LinkLabels, MoveOverAnUnderlinedLabelSetsNoFontAndRequestsNoLeave) {
    WithCleanDialog([](HWND dialog) {
        HWND label = GetDlgItem(dialog, SearchLink);
        HFONT underlined = FontOf(label);
        PointAt(label);
        CancelLeaveTracking(label);
        g_setFonts = 0;
        g_belowCounter = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountSetFont)));

        MouseMove(label);
        MouseMove(label);

        SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_belowCounter));
        EXPECT_EQ(0, g_setFonts);
        EXPECT_EQ(underlined, FontOf(label));
        EXPECT_EQ(nullptr, LeaveTrackedWindow());
        CancelLeaveTracking(label);
        PointAway();
    });
}

// Leave, then two moves, three times over: each change of font is one WM_SETFONT and comes
// with a leave request, the repeated move with neither.
TEST_F(LinkLabels, EachChangeSetsTheFontOnceAndRequestsALeave) {
    WithCleanDialog([](HWND dialog) {
        HWND label = GetDlgItem(dialog, AddressLink);
        PointAt(label);
        CancelLeaveTracking(label);
        g_setFonts = 0;
        g_belowCounter = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountSetFont)));

        int tracked = 0;
        int trackedAfterRepeat = 0;
        for (int round = 0; round < 3; round++) {
            SendMessageW(label, WM_MOUSELEAVE, 0, 0);
            MouseMove(label);
            if (LeaveTrackedWindow() == label) tracked++;
            CancelLeaveTracking(label);
            MouseMove(label);
            if (LeaveTrackedWindow() == label) trackedAfterRepeat++;
            CancelLeaveTracking(label);
        }

        SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_belowCounter));
        // Counted above the link procedure, which sends its WM_SETFONT to the label's current
        // procedure: every one counted came from it.
        EXPECT_EQ(6, g_setFonts) << "one normal and one underlined font per round";
        EXPECT_EQ(3, tracked);
        EXPECT_EQ(0, trackedAfterRepeat);
        PointAway();
    });
}

TEST_F(LinkLabels, UnderlineAlwaysKeepsTheUnderlineWhenThePointerLeaves) {
    WithCleanDialog([](HWND dialog) {
        HWND label = GetDlgItem(dialog, AddressLink);
        HFONT underlined = FontOf(label);
        SetPropW(label, UnderlineAlwaysProp, reinterpret_cast<HANDLE>(1));
        SendMessageW(label, WM_MOUSELEAVE, 0, 0);
        EXPECT_EQ(underlined, FontOf(label));
        RemovePropW(label, UnderlineAlwaysProp);
        SendMessageW(label, WM_MOUSELEAVE, 0, 0);
        EXPECT_FALSE(IsUnderlined(FontOf(label)));
    });
}

TEST_F(LinkLabels, SetCursorShowsTheHandAndStopsThere) {
    WithCleanDialog([](HWND dialog) {
        HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
        HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
        ASSERT_NE(hand, arrow);
        for (int id : {AddressLink, SearchLink}) {
            HWND label = GetDlgItem(dialog, id);
            SetCursor(arrow);
            LRESULT answer = SendMessageW(label, WM_SETCURSOR, reinterpret_cast<WPARAM>(label),
                                          MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            EXPECT_EQ(TRUE, answer) << id;
            // Passed on, the static's default handling would set the class arrow again.
            EXPECT_EQ(hand, GetCursor()) << id;
        }
    });
}

TEST_F(LinkLabels, DestroyOfALabelPutsItsPreviousProcedureBackAndRemovesBothProperties) {
    WithCleanDialog([](HWND dialog) {
        HWND label = GetDlgItem(dialog, SearchLink);
        LONG_PTR previous = reinterpret_cast<LONG_PTR>(GetPropW(label, ProcProp));
        ASSERT_NE(0, previous);
        // The message a destruction sends, without destroying the control.
        SendMessageW(label, WM_DESTROY, 0, 0);
        EXPECT_EQ(previous, GetWindowLongPtrW(label, GWLP_WNDPROC));
        EXPECT_FALSE(GetPropW(label, OwnerProp));
        EXPECT_FALSE(GetPropW(label, ProcProp));
        // The other label is still a link.
        HWND other = GetDlgItem(dialog, AddressLink);
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(LinkLabelProc),
                  GetWindowLongPtrW(other, GWLP_WNDPROC));
    });
}

TEST_F(LinkLabels, ClosingTheDialogDetachesBothLabelsAndDeletesTheFonts) {
    LONG_PTR previous[2] = {};
    HFONT underlined = nullptr;
    HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    g_sawDestroy = false;
    WithCleanDialog([&](HWND dialog) {
        g_watchedDialog = dialog;
        underlined = FontOf(GetDlgItem(dialog, AddressLink));
        previous[0] =
            reinterpret_cast<LONG_PTR>(GetPropW(GetDlgItem(dialog, AddressLink), ProcProp));
        previous[1] =
            reinterpret_cast<LONG_PTR>(GetPropW(GetDlgItem(dialog, SearchLink), ProcProp));
    });
    UnhookWindowsHookEx(hook);
    g_watchedDialog = nullptr;

    ASSERT_TRUE(g_sawDestroy);
    for (int i = 0; i < 2; i++) {
        EXPECT_NE(0, previous[i]);
        EXPECT_EQ(previous[i], g_afterDestroy[i].procedure) << i;
        EXPECT_FALSE(g_afterDestroy[i].ownerProperty) << i;
        EXPECT_FALSE(g_afterDestroy[i].procProperty) << i;
        EXPECT_NE(underlined, g_afterDestroy[i].font) << "still the underlined font: " << i;
    }
    // Both fonts of the owner are gone with the dialog.
    EXPECT_EQ(0u, GetObjectType(underlined));
    EXPECT_EQ(0u, GetObjectType(g_afterDestroy[0].font));
}

} // namespace
