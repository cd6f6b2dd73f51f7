#include "TestSupport.h"

#include <memory>
#include <string>

#include "EnvTestSupport.h"
#include "env/ToolbarLocations.h"
#include "env/UserFiles.h"
#include "host/ButtonHost.h"

namespace {

// A window standing in for the toolbar: it answers the user confirmation message with a
// chosen value and counts how often it was asked.
class ConfirmingToolbar {
public:
    ConfirmingToolbar() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = ClassName;
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, ClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ConfirmingToolbar() {
        DestroyWindow(window_);
        UnregisterClassW(ClassName, GetModuleHandleW(nullptr));
    }
    ConfirmingToolbar(const ConfirmingToolbar&) = delete;
    ConfirmingToolbar& operator=(const ConfirmingToolbar&) = delete;

    HWND Window() const { return window_; }

    LRESULT answer = 1;
    int asked = 0;
    WPARAM lastWParam = 0;
    LPARAM lastLParam = 0;

private:
    static constexpr wchar_t ClassName[] = L"VelaTestConfirmingToolbar";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* self = reinterpret_cast<ConfirmingToolbar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == ToolbarConfirmUserMessage && self) {
            self->asked++;
            self->lastWParam = wparam;
            self->lastLParam = lparam;
            return self->answer;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    HWND window_ = nullptr;
};

class UserFilesTest : public testing::Test {
protected:
    void SetUp() override {
        WCHAR data[MAX_PATH] = {};
        ASSERT_NE(0, GetToolbarPath(DataFolder, data, MAX_PATH));
        users_ = std::wstring(data) + L"\\users";
        folders_.reset(new CreatedFolders(users_));
        ASSERT_NE(nullptr, toolbar_.Window());
    }
    void TearDown() override { folders_.reset(); }

    std::wstring PathOf(int kind, DWORD user, HWND window, BOOL create = TRUE) {
        WCHAR path[MAX_PATH] = {};
        EXPECT_EQ(1, GetUserFilePath(kind, user, path, MAX_PATH, window, create))
            << "kind " << kind;
        return path;
    }

    std::wstring users_;
    std::unique_ptr<CreatedFolders> folders_;
    ConfirmingToolbar toolbar_;
};

TEST_F(UserFilesTest, ConfirmedUserNamesTheFolder) {
    toolbar_.answer = 1;
    EXPECT_EQ(users_ + L"\\7\\inc.ini", PathOf(UserIncFile, 7, toolbar_.Window()));
    EXPECT_EQ(1, toolbar_.asked);
    EXPECT_EQ(static_cast<WPARAM>(0x00B20000), toolbar_.lastWParam);
    EXPECT_EQ(7, toolbar_.lastLParam);
    EXPECT_TRUE(IsDirectory(users_ + L"\\7"));
}

TEST_F(UserFilesTest, UnconfirmedUserFallsBackToUserZero) {
    toolbar_.answer = 0;
    EXPECT_EQ(users_ + L"\\0\\inc.ini", PathOf(UserIncFile, 7, toolbar_.Window()));
    EXPECT_EQ(1, toolbar_.asked);
    EXPECT_TRUE(IsDirectory(users_ + L"\\0"));
    EXPECT_FALSE(IsDirectory(users_ + L"\\7"));
}

TEST_F(UserFilesTest, SharedSettingsNeverAskTheToolbar) {
    toolbar_.answer = 0;
    EXPECT_EQ(users_ + L"\\7\\tb.ini", PathOf(UserSharedSettingsFile, 7, toolbar_.Window()));
    EXPECT_EQ(0, toolbar_.asked);
}

TEST_F(UserFilesTest, FileNamesOfTheKinds) {
    EXPECT_EQ(users_ + L"\\12\\tb.ini", PathOf(UserSettingsFile, 12, toolbar_.Window()));
    EXPECT_EQ(users_ + L"\\12\\up.ini", PathOf(UserUpdateFile, 12, toolbar_.Window()));
    EXPECT_EQ(2, toolbar_.asked);
    // Without a window the number is taken as it is.
    EXPECT_EQ(users_ + L"\\4294967295\\inc.ini", PathOf(UserIncFile, 0xFFFFFFFF, nullptr));
}

TEST_F(UserFilesTest, UnknownKindGivesZeroAndLeavesTheBuffer) {
    WCHAR path[MAX_PATH];
    wmemset(path, L'x', MAX_PATH);
    EXPECT_EQ(0, GetUserFilePath(4, 7, path, MAX_PATH, nullptr, TRUE));
    EXPECT_EQ(0, GetUserFilePath(-1, 7, path, MAX_PATH, nullptr, TRUE));
    EXPECT_EQ(L'x', path[0]);
}

TEST_F(UserFilesTest, NoBufferGivesZeroWithoutAskingTheToolbar) {
    EXPECT_EQ(0, GetUserFilePath(UserIncFile, 7, nullptr, MAX_PATH, toolbar_.Window(), TRUE));
    EXPECT_EQ(0, toolbar_.asked);
    EXPECT_FALSE(IsDirectory(users_ + L"\\7"));
}

TEST_F(UserFilesTest, FolderIsLeftAloneWithoutCreateFolder) {
    EXPECT_EQ(users_ + L"\\9\\tb.ini", PathOf(UserSharedSettingsFile, 9, nullptr, FALSE));
    EXPECT_FALSE(IsDirectory(users_ + L"\\9"));
}

TEST_F(UserFilesTest, PathIsCutToTheCapacity) {
    std::wstring full = users_ + L"\\7\\inc.ini";
    WCHAR path[MAX_PATH];
    wmemset(path, L'x', MAX_PATH);
    ASSERT_EQ(1, GetUserFilePath(UserIncFile, 7, path, 12, nullptr, TRUE));
    EXPECT_EQ(full.substr(0, 11), std::wstring(path));
    EXPECT_EQ(L'x', path[12]);
}

} // namespace
