#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "clean/ProgressDialog.h"

namespace {

// The progress dialog's owner: a real window that records the cancel message.
class CancelRecorder {
public:
    CancelRecorder() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelaProgressOwner";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  100, 100, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CancelRecorder() { DestroyWindow(window_); }
    HWND Get() const { return window_; }
    int cancels = 0;
    bool progressWasOpenAtCancel = false;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CancelRecorder*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_CLEAN_CANCEL) {
            self->cancels++;
            self->progressWasOpenAtCancel = FindWindowW(nullptr, L"正在清理...") != nullptr;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_;
};

// Waits on a helper thread until the progress window is up, for what the worker sees of it.
HWND WaitForProgressWindow(ProgressDialog& progress) {
    for (int i = 0; i < 500; i++) {
        if (HWND window = progress.window; window && IsWindowVisible(window)) return window;
        Sleep(10);
    }
    return nullptr;
}

std::wstring StatusLine(HWND dialog) {
    WCHAR text[512] = {};
    GetDlgItemTextW(dialog, 1195, text, 512);
    return text;
}

void CALLBACK EndOpenProgress(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND open = FindWindowW(nullptr, L"正在清理...")) EndDialog(open, 99);
}

// Runs the dialog on this thread while worker runs on another; a safety timer ends a dialog
// that nobody closes, with 99, so a broken close path fails instead of hanging.
INT_PTR ShowWhile(ProgressDialog& progress, HWND owner, std::function<void()> worker) {
    std::thread thread(worker);
    UINT_PTR safety = SetTimer(nullptr, 0, 10000, EndOpenProgress);
    INT_PTR result = progress.ShowProgress(owner);
    KillTimer(nullptr, safety);
    thread.join();
    return result;
}

class ProgressDialogTest : public testing::Test {
protected:
    CancelRecorder owner_;
    ProgressDialog progress_;
};

TEST_F(ProgressDialogTest, CloseRequestBeforeTheWindowExistsEndsItWhenShown) {
    progress_.BeginRun();
    progress_.EndProgress();
    INT_PTR result = ShowWhile(progress_, owner_.Get(), [] {});
    EXPECT_EQ(0, result);
}

TEST_F(ProgressDialogTest, StatusSetBeforeTheWindowExistsIsShownWhenItOpens) {
    progress_.BeginRun();
    progress_.SetStatusText(L"正在清理IE临时文件...");
    std::wstring shown, caption;
    INT_PTR result = ShowWhile(progress_, owner_.Get(), [&] {
        if (HWND dialog = WaitForProgressWindow(progress_)) {
            shown = StatusLine(dialog);
            WCHAR text[64] = {};
            GetWindowTextW(dialog, text, 64);
            caption = text;
        }
        progress_.EndProgress();
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"正在清理IE临时文件...", shown) << Narrow(shown);
    EXPECT_EQ(L"正在清理...", caption) << Narrow(caption);
}

TEST_F(ProgressDialogTest, StatusLinesAndTheCloseArriveInTheWorkersOrder) {
    progress_.BeginRun();
    std::wstring afterFirst, afterSecond;
    INT_PTR result = ShowWhile(progress_, owner_.Get(), [&] {
        HWND dialog = WaitForProgressWindow(progress_);
        progress_.SetStatusText(L"one");
        afterFirst = StatusLine(dialog);
        progress_.SetStatusText(L"two");
        afterSecond = StatusLine(dialog);
        progress_.EndProgress();
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"one", afterFirst);
    EXPECT_EQ(L"two", afterSecond);
}

TEST_F(ProgressDialogTest, LongStatusIsCutTo259Characters) {
    progress_.BeginRun();
    std::wstring longText(300, L'x');
    std::wstring shown;
    ShowWhile(progress_, owner_.Get(), [&] {
        HWND dialog = WaitForProgressWindow(progress_);
        progress_.SetStatusText(longText.c_str());
        shown = StatusLine(dialog);
        progress_.EndProgress();
    });
    EXPECT_EQ(259u, shown.size());
}

TEST_F(ProgressDialogTest, CancelTellsTheOwnerBeforeClosingWithTwo) {
    progress_.BeginRun();
    INT_PTR result = ShowWhile(progress_, owner_.Get(), [&] {
        if (HWND dialog = WaitForProgressWindow(progress_))
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(2, result);
    EXPECT_EQ(1, owner_.cancels);
    EXPECT_TRUE(owner_.progressWasOpenAtCancel);
}

TEST_F(ProgressDialogTest, CloseRequestAfterCancelDoesNotEndTheNextRun) {
    progress_.BeginRun();
    ShowWhile(progress_, owner_.Get(), [&] {
        if (HWND dialog = WaitForProgressWindow(progress_))
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    // The cancelled worker finishes later and asks the gone window to close.
    progress_.EndProgress();

    progress_.BeginRun();
    bool openAfterAWhile = false;
    INT_PTR result = ShowWhile(progress_, owner_.Get(), [&] {
        HWND dialog = WaitForProgressWindow(progress_);
        Sleep(300);
        openAfterAWhile = dialog && IsWindow(dialog);
        progress_.EndProgress();
    });
    EXPECT_TRUE(openAfterAWhile);
    EXPECT_EQ(0, result);
}

// What the bar shows while busy depends on the system.
struct BarState {
    LONG_PTR style = 0;
    LRESULT firstPosition = -1;
    LRESULT laterPosition = -1;
};

BarState WatchBar(ProgressDialog& progress, HWND owner) {
    BarState state;
    progress.BeginRun();
    ShowWhile(progress, owner, [&] {
        HWND dialog = WaitForProgressWindow(progress);
        HWND bar = GetDlgItem(dialog, 1194);
        state.style = GetWindowLongPtrW(bar, GWL_STYLE);
        state.firstPosition = SendMessageW(bar, PBM_GETPOS, 0, 0);
        Sleep(700);
        state.laterPosition = SendMessageW(bar, PBM_GETPOS, 0, 0);
        progress.EndProgress();
    });
    return state;
}

TEST_F(ProgressDialogTest, Windows2000StepsTheBarEvery200Milliseconds) {
    ONLY_ON(WinVersion::Win2k);
    BarState bar = WatchBar(progress_, owner_.Get());
    EXPECT_GT(bar.laterPosition, bar.firstPosition);
    EXPECT_FALSE(bar.style & 0x08);
}

TEST_F(ProgressDialogTest, WindowsXpShowsAMarquee) {
    ONLY_ON(WinVersion::WinXp);
    BarState bar = WatchBar(progress_, owner_.Get());
    EXPECT_TRUE(bar.style & 0x08) << std::hex << bar.style;
}

TEST_F(ProgressDialogTest, LaterSystemsLeaveTheBarStill) {
    WinVersion version = RunningWinVersion();
    if (version == WinVersion::Win2k || version == WinVersion::WinXp) GTEST_SKIP();
    BarState bar = WatchBar(progress_, owner_.Get());
    EXPECT_EQ(0, bar.laterPosition);
    EXPECT_FALSE(bar.style & 0x08);
}

} // namespace
