#include <gtest/gtest.h>
#include <windows.h>
#include <cwctype>
#include <string>

#include "TestSupport.h"
#include "env/Handles.h"
#include "ui/WindowSubclass.h"

namespace {

const WCHAR OwnerProp[] = L"{A6381A91-EF3F-44ca-97A7-39CA5650FB8E}";
const WCHAR ProcProp[] = L"{B97AE1D3-AEF0-4467-877D-5D958855BDED}";

// Each procedure answers WhoAnswers with its own mark, so a SendMessage shows which one is
// current; PassedOn reaches the class procedure only when every hook passes it on.
const UINT WhoAnswers = WM_APP + 1;
const UINT PassedOn = WM_APP + 2;
const LRESULT ClassMark = 'C';
const LRESULT HookMark = 'H';
const LRESULT ForeignMark = 'F';
const LRESULT OtherMark = 'O';
const LRESULT PassedOnMark = 'P';

const WindowSubclass& TestSubclass() {
    static const WindowSubclass subclass(OwnerProp, ProcProp);
    return subclass;
}

LRESULT CALLBACK ClassProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WhoAnswers) return ClassMark;
    if (message == PassedOn) return PassedOnMark;
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ClassProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WhoAnswers) return ClassMark;
    if (message == PassedOn) return PassedOnMark;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A hook in the pattern of the module's hooks: previous procedure from the property.
LRESULT CALLBACK HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = TestSubclass().PreviousProc(window);
    if (message == WhoAnswers) return HookMark;
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK SecondHookProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// Someone else's subclass, placed with SetWindowLongW on top of ours.
WNDPROC g_foreignPrevious;
LRESULT CALLBACK ForeignProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WhoAnswers) return ForeignMark;
    return CallWindowProcW(g_foreignPrevious, window, message, wParam, lParam);
}

// A procedure set on the window before ours, different from the class procedure.
LRESULT CALLBACK OtherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WhoAnswers) return OtherMark;
    return CallWindowProcW(ClassProcW, window, message, wParam, lParam);
}

const WCHAR ClassNameW[] = L"VelaSubclassTestW";
const char ClassNameA[] = "VelaSubclassTestA";

void RegisterClasses() {
    static bool registered = [] {
        WNDCLASSW w = {};
        w.lpfnWndProc = ClassProcW;
        w.hInstance = GetModuleHandleW(nullptr);
        w.lpszClassName = ClassNameW;
        RegisterClassW(&w);
        WNDCLASSA a = {};
        a.lpfnWndProc = ClassProcA;
        a.hInstance = GetModuleHandleW(nullptr);
        a.lpszClassName = ClassNameA;
        RegisterClassA(&a);
        return true;
    }();
    (void)registered;
}

template <typename Proc> LONG AsLong(Proc proc) {
    return reinterpret_cast<LONG>(proc);
}
LONG CurrentProcW(HWND window) {
    return GetWindowLongW(window, GWL_WNDPROC);
}
LONG SavedProc(HWND window) {
    return reinterpret_cast<LONG>(GetPropW(window, ProcProp));
}
void* OwnerMark(HWND window) {
    return GetPropW(window, OwnerProp);
}

class WindowSubclassTest : public testing::Test {
protected:
    void SetUp() override {
        RegisterClasses();
        window_.Reset(CreateWindowExW(0, ClassNameW, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(window_) << "CreateWindowExW failed, error " << GetLastError();
        ASSERT_TRUE(IsWindowUnicode(window_.Get()));
    }
    void TearDown() override {
        // Leave no property behind even when a test fails halfway.
        if (window_) {
            RemovePropW(window_.Get(), OwnerProp);
            RemovePropW(window_.Get(), ProcProp);
        }
    }

    HWND Window() const { return window_.Get(); }

    // Places a foreign subclass on top of whatever is current.
    void PlaceForeignSubclass() {
        g_foreignPrevious =
            reinterpret_cast<WNDPROC>(SetWindowLongW(Window(), GWL_WNDPROC, AsLong(ForeignProc)));
        ASSERT_EQ(AsLong(HookProc), AsLong(g_foreignPrevious));
    }

    WindowSubclass subclass_{OwnerProp, ProcProp};
    int owner_ = 0;
    int otherOwner_ = 0;
    UniqueWindow window_;
};

TEST_F(WindowSubclassTest, InstallMarksTheWindowAndMakesTheHookCurrent) {
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));

    EXPECT_EQ(&owner_, OwnerMark(Window()));
    EXPECT_EQ(AsLong(ClassProcW), SavedProc(Window()));
    EXPECT_EQ(AsLong(HookProc), CurrentProcW(Window()));
    EXPECT_EQ(HookMark, SendMessageW(Window(), WhoAnswers, 0, 0));
    EXPECT_EQ(PassedOnMark, SendMessageW(Window(), PassedOn, 0, 0));
    EXPECT_EQ(&owner_, subclass_.Owner(Window()));
}

TEST_F(WindowSubclassTest, InstallOnAMarkedWindowChangesNothing) {
    ASSERT_TRUE(SetPropW(Window(), OwnerProp, &otherOwner_));

    EXPECT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));

    EXPECT_EQ(AsLong(ClassProcW), CurrentProcW(Window()));
    EXPECT_EQ(&otherOwner_, OwnerMark(Window()));
    EXPECT_EQ(nullptr, GetPropW(Window(), ProcProp));
}

TEST_F(WindowSubclassTest, SecondInstallKeepsTheFirstHook) {
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));
    EXPECT_EQ(1, subclass_.Install(Window(), SecondHookProc, &otherOwner_));

    EXPECT_EQ(AsLong(HookProc), CurrentProcW(Window()));
    EXPECT_EQ(&owner_, OwnerMark(Window()));
    EXPECT_EQ(AsLong(ClassProcW), SavedProc(Window()));
}

TEST_F(WindowSubclassTest, RemoveByTheOwnerRestoresThePreviousProcedure) {
    SetWindowLongW(Window(), GWL_WNDPROC, AsLong(OtherProc));
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));

    subclass_.Remove(Window(), HookProc, &owner_);

    EXPECT_EQ(AsLong(OtherProc), CurrentProcW(Window()));
    EXPECT_EQ(nullptr, OwnerMark(Window()));
    EXPECT_EQ(nullptr, GetPropW(Window(), ProcProp));
    EXPECT_EQ(OtherMark, SendMessageW(Window(), WhoAnswers, 0, 0));
}

TEST_F(WindowSubclassTest, RemoveUnderAForeignSubclassOnlyTakesTheOwnerMark) {
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));
    PlaceForeignSubclass();

    subclass_.Remove(Window(), HookProc, &owner_);

    EXPECT_EQ(AsLong(ForeignProc), CurrentProcW(Window()));
    EXPECT_EQ(nullptr, OwnerMark(Window()));
    EXPECT_EQ(AsLong(ClassProcW), SavedProc(Window()));
    // The chain still works: foreign, then our hook, then the class procedure.
    EXPECT_EQ(PassedOnMark, SendMessageW(Window(), PassedOn, 0, 0));
}

TEST_F(WindowSubclassTest, RemoveWithoutExpectedProcedureRestoresEvenUnderAForeignSubclass) {
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));
    PlaceForeignSubclass();

    subclass_.Remove(Window(), nullptr, nullptr);

    EXPECT_EQ(AsLong(ClassProcW), CurrentProcW(Window()));
    EXPECT_EQ(nullptr, OwnerMark(Window()));
    EXPECT_EQ(nullptr, GetPropW(Window(), ProcProp));
}

TEST_F(WindowSubclassTest, RemoveByAnotherOwnerChangesNothing) {
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));

    subclass_.Remove(Window(), HookProc, &otherOwner_);

    EXPECT_EQ(AsLong(HookProc), CurrentProcW(Window()));
    EXPECT_EQ(&owner_, OwnerMark(Window()));
    EXPECT_EQ(AsLong(ClassProcW), SavedProc(Window()));
}

TEST_F(WindowSubclassTest, RemoveWithoutSavedProcedureRestoresTheClassProcedure) {
    SetWindowLongW(Window(), GWL_WNDPROC, AsLong(OtherProc));
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));
    RemovePropW(Window(), ProcProp);

    subclass_.Remove(Window(), HookProc, &owner_);

    EXPECT_EQ(AsLong(ClassProcW), CurrentProcW(Window()))
        << "OtherProc is " << std::hex << AsLong(OtherProc);
    EXPECT_EQ(nullptr, OwnerMark(Window()));
}

TEST_F(WindowSubclassTest, RemoveWithAnInvalidSavedProcedureRestoresTheClassProcedure) {
    SetWindowLongW(Window(), GWL_WNDPROC, AsLong(OtherProc));
    ASSERT_EQ(1, subclass_.Install(Window(), HookProc, &owner_));
    SetPropW(Window(), ProcProp, reinterpret_cast<HANDLE>(0x10));

    EXPECT_EQ(AsLong(DefWindowProcW), AsLong(subclass_.PreviousProc(Window())));
    subclass_.Remove(Window(), HookProc, &owner_);

    EXPECT_EQ(AsLong(ClassProcW), CurrentProcW(Window()));
    EXPECT_EQ(nullptr, GetPropW(Window(), ProcProp));
}

TEST_F(WindowSubclassTest, InstallOnAWindowOfAnotherProcessLeavesNoMark) {
    HWND desktop = GetDesktopWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(desktop, &process);
    if (process == GetCurrentProcessId()) GTEST_SKIP() << "the desktop window is this process's";

    EXPECT_EQ(0, subclass_.Install(desktop, HookProc, &owner_));

    EXPECT_EQ(nullptr, GetPropW(desktop, OwnerProp));
    EXPECT_EQ(nullptr, GetPropW(desktop, ProcProp));
    RemovePropW(desktop, OwnerProp);
    RemovePropW(desktop, ProcProp);
}

TEST(WindowSubclass, AnsiWindowKeepsItsAnsiProcedure) {
    RegisterClasses();
    UniqueWindow window(CreateWindowExA(0, ClassNameA, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(window);
    ASSERT_FALSE(IsWindowUnicode(window.Get()));
    WindowSubclass subclass(OwnerProp, ProcProp);
    int owner = 0;

    ASSERT_EQ(1, subclass.Install(window.Get(), HookProc, &owner));
    EXPECT_EQ(AsLong(ClassProcA), SavedProc(window.Get()));
    EXPECT_EQ(AsLong(HookProc), GetWindowLongA(window.Get(), GWL_WNDPROC));
    EXPECT_FALSE(IsWindowUnicode(window.Get()));

    subclass.Remove(window.Get(), HookProc, &owner);
    EXPECT_EQ(AsLong(ClassProcA), GetWindowLongA(window.Get(), GWL_WNDPROC));
    EXPECT_FALSE(IsWindowUnicode(window.Get()));
    EXPECT_EQ(nullptr, GetPropW(window.Get(), ProcProp));
}

TEST(WindowSubclass, AnsiWindowGetsItsAnsiClassProcedureBack) {
    RegisterClasses();
    UniqueWindow window(CreateWindowExA(0, ClassNameA, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(window);
    WindowSubclass subclass(OwnerProp, ProcProp);
    int owner = 0;
    ASSERT_EQ(1, subclass.Install(window.Get(), HookProc, &owner));
    RemovePropW(window.Get(), ProcProp);

    subclass.Remove(window.Get(), HookProc, &owner);

    EXPECT_EQ(AsLong(ClassProcA), GetWindowLongA(window.Get(), GWL_WNDPROC));
    EXPECT_FALSE(IsWindowUnicode(window.Get()));
    EXPECT_EQ(ClassMark, SendMessageA(window.Get(), WhoAnswers, 0, 0));
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.
bool IsGuidName(const std::wstring& name) {
    if (name.size() != 38 || name.front() != L'{' || name.back() != L'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash != (name[i] == L'-')) return false;
        if (!dash &&
            !((name[i] >= L'0' && name[i] <= L'9') || (name[i] >= L'A' && name[i] <= L'F')))
            return false;
    }
    return true;
}

TEST(WindowSubclass, NamesNotGivenAreFreshGuids) {
    WindowSubclass first(nullptr, nullptr);
    WindowSubclass second(nullptr, L"given");
    std::wstring owner = first.OwnerPropName();
    std::wstring proc = first.ProcPropName();

    EXPECT_TRUE(IsGuidName(owner)) << Narrow(owner);
    EXPECT_TRUE(IsGuidName(proc)) << Narrow(proc);
    EXPECT_NE(owner, proc);
    EXPECT_NE(owner, std::wstring(second.OwnerPropName()));
    EXPECT_TRUE(IsGuidName(second.OwnerPropName())) << Narrow(second.OwnerPropName());
    EXPECT_STREQ(L"given", second.ProcPropName());
}

TEST(WindowSubclass, LongNamesAreCutTo63Characters) {
    std::wstring longName(100, L'x');
    for (size_t i = 0; i < longName.size(); ++i)
        longName[i] = static_cast<WCHAR>(L'a' + i % 26);
    std::wstring exact = longName.substr(0, 63);

    WindowSubclass cut(longName.c_str(), exact.c_str());

    EXPECT_EQ(exact, std::wstring(cut.OwnerPropName()));
    EXPECT_EQ(exact, std::wstring(cut.ProcPropName()));
}

} // namespace
