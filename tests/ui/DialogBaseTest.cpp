#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "env/Handles.h"
#include "host/Module.h"
#include "ui/ActivationContext.h"
#include "ui/DialogBase.h"
#include "ui/TestDialogIds.h"

namespace {

// Posted by the tests' WM_INITDIALOG so that their checks run once the dialog is fully set up
// and its modal loop is running.
const UINT RunChecks = WM_APP + 10;
const UINT MappedAndHandled = WM_APP + 1;
const UINT MappedButPassedOn = WM_APP + 2;
const UINT NotMapped = WM_APP + 3;
// Ends a dialog that a failing test would otherwise leave open forever.
const UINT_PTR GuardTimer = 77;
const INT_PTR GuardResult = 999;

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

RECT WorkArea() {
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

// The dialog procedure answers what DefDlgProc keeps to itself for most messages, so the tests
// call it directly, as the system does.
LRESULT CallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    return proc(dialog, message, wParam, lParam);
}

class TestDialog : public DialogBase {
public:
    TestDialog() : DialogBase(IDD_TEST_DIALOG) {}

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override {
        static const MessageMapEntry<TestDialog> messageMap[] = {
            {WM_INITDIALOG, &TestDialog::OnInitDialog},
            {WM_COMMAND, &TestDialog::OnCommand},
            {WM_TIMER, &TestDialog::OnTimer},
            {MappedAndHandled, &TestDialog::OnMappedAndHandled},
            {MappedButPassedOn, &TestDialog::OnMappedButPassedOn},
            {RunChecks, &TestDialog::OnRunChecks},
        };
        return RouteMessage(messageMap, window, message, wParam, lParam, result);
    }

    int OnOK() override {
        ++okCalls;
        return allowOk;
    }
    int OnCancel() override {
        ++cancelCalls;
        return allowCancel;
    }

    std::function<void(TestDialog&)> onInit;   // inside WM_INITDIALOG, before the default handling
    std::function<void(TestDialog&)> onChecks; // on the posted RunChecks
    int initCalls = 0;
    int okCalls = 0;
    int cancelCalls = 0;
    int allowOk = 1;
    int allowCancel = 1;

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled) {
        ++initCalls;
        SetTimer(window, GuardTimer, 10000, nullptr);
        if (onInit) onInit(*this);
        handled = 0;
        return 1;
    }
    LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL& handled) {
        handled = 0;
        return 77;
    }
    LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
        if (wParam != GuardTimer) {
            handled = 0;
            return 0;
        }
        EndDialog(window, GuardResult);
        return 0;
    }
    LRESULT OnMappedAndHandled(UINT, WPARAM, LPARAM, BOOL&) { return 55; }
    LRESULT OnMappedButPassedOn(UINT, WPARAM, LPARAM, BOOL& handled) {
        handled = 0;
        return 66;
    }
    LRESULT OnRunChecks(UINT, WPARAM, LPARAM, BOOL&) {
        if (onChecks) onChecks(*this);
        return 0;
    }
};

void PostRunChecks(TestDialog& dialog) {
    PostMessageW(dialog.window, RunChecks, 0, 0);
}

void PostCommand(TestDialog& dialog, WORD id) {
    PostMessageW(dialog.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog.window, id)));
}

TestDialog* g_timerDialog;
INT_PTR g_timerValue;

void CALLBACK EndFromTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!g_timerDialog || !g_timerDialog->window) return;
    KillTimer(nullptr, timer);
    EndDialog(g_timerDialog->window, g_timerValue);
}

TEST(DialogBase, DoModalReturnsTheValueGivenToEndDialog) {
    TestDialog dialog;
    HWND boundWindow = nullptr;
    LONG_PTR userSlot = 0;
    dialog.onInit = [&](TestDialog& d) {
        boundWindow = d.window;
        userSlot = GetWindowLongPtrW(d.window, DWLP_USER);
    };
    g_timerDialog = &dialog;
    g_timerValue = 42;
    UINT_PTR timer = SetTimer(nullptr, 0, 1, EndFromTimer);
    ASSERT_NE(0u, timer);

    INT_PTR result = dialog.DoModal(ModuleInstance(), nullptr);
    KillTimer(nullptr, timer);
    g_timerDialog = nullptr;

    EXPECT_EQ(42, result);
    EXPECT_EQ(1, dialog.initCalls);
    EXPECT_NE(nullptr, boundWindow);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&dialog), userSlot);
}

TEST(DialogBase, OkAsksOnOKAndEndsWithOne) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) { PostCommand(d, IDOK); };

    EXPECT_EQ(IDOK, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(1, dialog.okCalls);
    EXPECT_EQ(0, dialog.cancelCalls);
}

TEST(DialogBase, CancelAsksOnCancelAndEndsWithTwo) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) { PostCommand(d, IDCANCEL); };

    EXPECT_EQ(IDCANCEL, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(1, dialog.cancelCalls);
    EXPECT_EQ(0, dialog.okCalls);
}

TEST(DialogBase, RefusedOkOrCancelKeepsTheDialogOpenAndIsNotHandled) {
    TestDialog dialog;
    dialog.allowOk = 0;
    dialog.allowCancel = 0;
    BOOL okHandled = 2, cancelHandled = 2;
    LRESULT okResult = -1, cancelResult = -1;
    dialog.onInit = [](TestDialog& d) {
        PostCommand(d, IDOK);
        PostCommand(d, IDCANCEL);
        PostRunChecks(d);
    };
    dialog.onChecks = [&](TestDialog& d) {
        okHandled = d.DialogBase::ProcessWindowMessage(d.window, WM_COMMAND, IDOK, 0, okResult);
        cancelHandled =
            d.DialogBase::ProcessWindowMessage(d.window, WM_COMMAND, IDCANCEL, 0, cancelResult);
        EndDialog(d.window, 7);
    };

    // 7 shows that the dialog was still running when the checks came after both commands.
    EXPECT_EQ(7, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(2, dialog.okCalls);
    EXPECT_EQ(2, dialog.cancelCalls);
    EXPECT_EQ(0, okHandled);
    EXPECT_EQ(0, okResult);
    EXPECT_EQ(0, cancelHandled);
    EXPECT_EQ(0, cancelResult);
}

TEST(DialogBase, OtherCommandReachingTheDefaultHandlingAnswersOne) {
    TestDialog dialog;
    LRESULT other = -1, notification = -1;
    dialog.onInit = PostRunChecks;
    dialog.onChecks = [&](TestDialog& d) {
        // The map's WM_COMMAND handler returns 77 and passes the message on.
        other = CallDialogProc(d.window, WM_COMMAND, MAKEWPARAM(IDC_TEST_OTHER, BN_CLICKED), 0);
        notification = CallDialogProc(d.window, WM_COMMAND, MAKEWPARAM(IDC_TEST_OTHER, 1234), 0);
        EndDialog(d.window, 3);
    };

    EXPECT_EQ(3, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(1, other);
    EXPECT_EQ(1, notification);
    EXPECT_EQ(0, dialog.okCalls);
    EXPECT_EQ(0, dialog.cancelCalls);
}

TEST(DialogBase, MessageMapResultsFollowTheHandledFlag) {
    TestDialog dialog;
    LRESULT handled = -1, passedOn = -1, unmapped = -1;
    dialog.onInit = PostRunChecks;
    dialog.onChecks = [&](TestDialog& d) {
        handled = CallDialogProc(d.window, MappedAndHandled, 0, 0);
        passedOn = CallDialogProc(d.window, MappedButPassedOn, 0, 0);
        unmapped = CallDialogProc(d.window, NotMapped, 0, 0);
        EndDialog(d.window, 3);
    };

    EXPECT_EQ(3, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(55, handled);
    EXPECT_EQ(0, passedOn);
    EXPECT_EQ(0, unmapped);
}

// Reads the dialog's user slot right after the dialog procedure has seen WM_NCDESTROY.
WNDPROC g_dialogWindowProc;
LONG_PTR g_userSlotAfterNcDestroy = -1;
LRESULT CALLBACK WatchNcDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcW(g_dialogWindowProc, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) g_userSlotAfterNcDestroy = GetWindowLongPtrW(window, DWLP_USER);
    return result;
}

TEST(DialogBase, NcDestroyClearsTheUserSlot) {
    TestDialog dialog;
    g_userSlotAfterNcDestroy = -1;
    dialog.onInit = [](TestDialog& d) {
        g_dialogWindowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchNcDestroy)));
        PostCommand(d, IDOK);
    };

    EXPECT_EQ(IDOK, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(0, g_userSlotAfterNcDestroy);
}

TEST(DialogBase, MissingTemplateIsNotShown) {
    TestDialog dialog;
    dialog.templateId = 950;

    EXPECT_EQ(-1, dialog.DoModal(ModuleInstance(), nullptr));
    EXPECT_EQ(0, dialog.initCalls);
    EXPECT_EQ(nullptr, dialog.window);
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

INT_PTR CALLBACK EndAtOnce(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) EndDialog(window, 7);
    return 0;
}

// comdlg32 holds dialog templates but no manifest of the module kind, so its activation
// context cannot be made.
TEST(DialogBase, ModuleWithoutManifestIsNotShown) {
    UniqueModule comdlg(LoadLibraryW(L"comdlg32.dll"));
    ASSERT_TRUE(comdlg);
    const int findDialog = 1540;
    ASSERT_EQ(7, DialogBoxParamW(comdlg.Get(), MAKEINTRESOURCEW(findDialog), nullptr, EndAtOnce, 0))
        << "the template itself can be shown";
    ActivationContext context(comdlg.Get());
    ASSERT_EQ(0, context.Usable());

    TestDialog dialog;
    dialog.templateId = findDialog;
    dialog.onInit = [](TestDialog& d) { EndDialog(d.window, 8); };

    EXPECT_EQ(-1, dialog.DoModal(comdlg.Get(), nullptr));
    EXPECT_EQ(0, dialog.initCalls);
}

HANDLE CurrentActCtx() {
    HANDLE context = nullptr;
    GetCurrentActCtx(&context);
    if (context) ReleaseActCtx(context);
    return context;
}

// File name of the library holding the window procedure of control's class. Buttons come from
// the common controls library only in its version 6 (version 5 has no button; user32's is used).
// The file version cannot tell: Wine's comctl32 reports 5.81 for both.
std::wstring ControlLibrary(HWND control) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(GetClassLongW(control, GCL_WNDPROC)), &module);
    WCHAR path[MAX_PATH] = {};
    if (module) GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool IsCommonControlsLibrary(const std::wstring& path) {
    return lstrcmpiW(PathFindFileNameW(path.c_str()), L"comctl32.dll") == 0;
}

TEST(DialogBase, DialogRunsInTheModuleContextWithVersion6Controls) {
    HANDLE before = CurrentActCtx();
    TestDialog dialog;
    HANDLE inside = nullptr;
    std::wstring library;
    dialog.onInit = [&](TestDialog& d) {
        inside = CurrentActCtx();
        library = ControlLibrary(GetDlgItem(d.window, IDC_TEST_OTHER));
        PostCommand(d, IDOK);
    };

    ASSERT_EQ(IDOK, dialog.DoModal(ModuleInstance(), nullptr));

    EXPECT_NE(nullptr, inside);
    EXPECT_NE(before, inside);
    EXPECT_TRUE(IsCommonControlsLibrary(library)) << "button procedure in " << Narrow(library);
    EXPECT_EQ(before, CurrentActCtx());
}

TEST(DialogBase, DialogOutsideTheModuleContextHasOldControls) {
    // The same template shown without the module's context: what the check above tells apart.
    HWND plain = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_TEST_DIALOG), nullptr,
                                    NoDialogProc, 0);
    ASSERT_NE(nullptr, plain);
    UniqueWindow owned(plain);
    std::wstring library = ControlLibrary(GetDlgItem(plain, IDC_TEST_OTHER));
    EXPECT_FALSE(library.empty());
    EXPECT_FALSE(IsCommonControlsLibrary(library)) << "button procedure in " << Narrow(library);
}

TEST(DialogBase, InitDialogCentresTheDialogOverItsOwner) {
    UniqueWindow owner(CreateWindowExW(0, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 130, 90, 501,
                                       401, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(owner);
    RECT ownerRect = WindowRect(owner.Get());
    TestDialog dialog;
    RECT placed = {};
    dialog.onInit = PostRunChecks;
    dialog.onChecks = [&](TestDialog& d) {
        placed = WindowRect(d.window);
        EndDialog(d.window, IDOK);
    };

    ASSERT_EQ(IDOK, dialog.DoModal(ModuleInstance(), owner.Get()));

    int w = placed.right - placed.left, h = placed.bottom - placed.top;
    EXPECT_EQ((ownerRect.left + ownerRect.right) / 2 - w / 2, placed.left)
        << "owner " << Describe(ownerRect) << " dialog " << Describe(placed);
    EXPECT_EQ((ownerRect.top + ownerRect.bottom) / 2 - h / 2, placed.top)
        << "owner " << Describe(ownerRect) << " dialog " << Describe(placed);
}

// CenterWindow on plain windows: the dialog object is pointed at a window of the test's own.
class CenterWindowTest : public testing::Test {
protected:
    HWND MakePopup(int x, int y, int w, int h, HWND owner, DWORD extraStyle = 0) {
        HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP | extraStyle, x, y, w, h, owner,
                                      nullptr, nullptr, nullptr);
        windows_.emplace_back(window);
        return window;
    }
    HWND MakeChild(HWND parent, int x, int y, int w, int h) {
        HWND window = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                                      nullptr, nullptr, nullptr);
        windows_.emplace_back(window);
        return window;
    }
    // Position of a child in its parent's client coordinates.
    static POINT ChildPosition(HWND child) {
        RECT r = WindowRect(child);
        MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top};
    }
    void TearDown() override {
        // Children before their parents, owned windows before their owners.
        while (!windows_.empty())
            windows_.pop_back();
    }

    TestDialog dialog_;
    std::vector<UniqueWindow> windows_;
};

TEST_F(CenterWindowTest, DialogLargerThanTheWorkAreaGoesToItsTopLeft) {
    RECT area = WorkArea();
    dialog_.window =
        MakePopup(50, 60, area.right - area.left + 200, area.bottom - area.top + 150, nullptr);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ(area.left, placed.left)
        << "area " << Describe(area) << " dialog " << Describe(placed);
    EXPECT_EQ(area.top, placed.top) << "area " << Describe(area) << " dialog " << Describe(placed);
}

TEST_F(CenterWindowTest, DialogWithoutOwnerIsCentredOnTheWorkArea) {
    RECT area = WorkArea();
    dialog_.window = MakePopup(0, 0, 301, 201, nullptr);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ((area.left + area.right) / 2 - 301 / 2, placed.left) << Describe(placed);
    EXPECT_EQ((area.top + area.bottom) / 2 - 201 / 2, placed.top) << Describe(placed);
}

TEST_F(CenterWindowTest, HiddenOwnerIsIgnored) {
    RECT area = WorkArea();
    HWND owner = MakePopup(10, 10, 200, 150, nullptr);
    dialog_.window = MakePopup(0, 0, 300, 200, owner);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ((area.left + area.right) / 2 - 150, placed.left) << Describe(placed);
    EXPECT_EQ((area.top + area.bottom) / 2 - 100, placed.top) << Describe(placed);
}

TEST_F(CenterWindowTest, MinimisedOwnerIsIgnored) {
    RECT area = WorkArea();
    HWND owner = MakePopup(10, 10, 200, 150, nullptr, WS_VISIBLE | WS_CAPTION | WS_MINIMIZEBOX);
    ShowWindow(owner, SW_MINIMIZE);
    ASSERT_TRUE(GetWindowLongW(owner, GWL_STYLE) & WS_MINIMIZE);
    dialog_.window = MakePopup(0, 0, 300, 200, owner);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ((area.left + area.right) / 2 - 150, placed.left)
        << "owner " << Describe(WindowRect(owner)) << " dialog " << Describe(placed);
    EXPECT_EQ((area.top + area.bottom) / 2 - 100, placed.top)
        << "owner " << Describe(WindowRect(owner)) << " dialog " << Describe(placed);
}

TEST_F(CenterWindowTest, VisibleOwnerIsTheReference) {
    HWND owner = MakePopup(101, 51, 401, 303, nullptr, WS_VISIBLE);
    dialog_.window = MakePopup(0, 0, 201, 101, owner);
    RECT ownerRect = WindowRect(owner);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ((ownerRect.left + ownerRect.right) / 2 - 201 / 2, placed.left)
        << "owner " << Describe(ownerRect) << " dialog " << Describe(placed);
    EXPECT_EQ((ownerRect.top + ownerRect.bottom) / 2 - 101 / 2, placed.top)
        << "owner " << Describe(ownerRect) << " dialog " << Describe(placed);
    EXPECT_EQ(201, placed.right - placed.left);
}

TEST_F(CenterWindowTest, GivenWindowOverridesTheOwner) {
    HWND owner = MakePopup(0, 0, 200, 200, nullptr, WS_VISIBLE);
    HWND center = MakePopup(400, 300, 300, 200, nullptr, WS_VISIBLE);
    dialog_.window = MakePopup(0, 0, 100, 50, owner);

    dialog_.CenterWindow(center);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ(550 - 50, placed.left) << Describe(placed);
    EXPECT_EQ(400 - 25, placed.top) << Describe(placed);
}

TEST_F(CenterWindowTest, DialogIsKeptInsideTheWorkArea) {
    RECT area = WorkArea();
    HWND owner = MakePopup(area.right - 100, area.bottom - 80, 300, 300, nullptr, WS_VISIBLE);
    dialog_.window = MakePopup(0, 0, 400, 300, owner);

    dialog_.CenterWindow(nullptr);

    RECT placed = WindowRect(dialog_.window);
    EXPECT_EQ(area.right - 400, placed.left)
        << "area " << Describe(area) << " dialog " << Describe(placed);
    EXPECT_EQ(area.bottom - 300, placed.top)
        << "area " << Describe(area) << " dialog " << Describe(placed);
}

TEST_F(CenterWindowTest, ChildIsCentredInItsParentsClientArea) {
    HWND parent = MakePopup(100, 100, 500, 400, nullptr, WS_VISIBLE | WS_CAPTION);
    RECT client = {};
    GetClientRect(parent, &client);
    dialog_.window = MakeChild(parent, 0, 0, 121, 61);

    dialog_.CenterWindow(nullptr);

    POINT placed = ChildPosition(dialog_.window);
    EXPECT_EQ(client.right / 2 - 121 / 2, placed.x) << "client " << Describe(client);
    EXPECT_EQ(client.bottom / 2 - 61 / 2, placed.y) << "client " << Describe(client);
}

TEST_F(CenterWindowTest, ChildIsCentredOnASiblingAndKeptInTheParent) {
    HWND parent = MakePopup(100, 100, 500, 400, nullptr, WS_VISIBLE);
    HWND sibling = MakeChild(parent, 200, 150, 100, 80);
    HWND corner = MakeChild(parent, 0, 0, 40, 40);
    dialog_.window = MakeChild(parent, 0, 0, 60, 20);

    dialog_.CenterWindow(sibling);
    POINT onSibling = ChildPosition(dialog_.window);
    dialog_.CenterWindow(corner);
    POINT onCorner = ChildPosition(dialog_.window);

    EXPECT_EQ(250 - 30, onSibling.x);
    EXPECT_EQ(190 - 10, onSibling.y);
    EXPECT_EQ(0, onCorner.x) << "20 - 30 is left of the parent's client area";
    EXPECT_EQ(10, onCorner.y);
}

} // namespace
