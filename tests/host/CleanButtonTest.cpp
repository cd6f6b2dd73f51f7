// The clean button's answers to the host.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "host/CleanButton.h"
#include "host/ComError.h"
#include "host/HostTestSupport.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/ModalScript.h"
#include "testbed/HostToolbar.h"

namespace {

constexpr WORD ClearCommand = 300;
constexpr LONG ButtonId = 51;

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int ThreadWindowCount() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

class CleanButtonTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        TurnUsagePingOff();
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(7321);
    }

    LONG Send(LONG msg, WPARAM wparam = 0, LPARAM lparam = 0) {
        return button.HandleMessage(info.Get(), ButtonId, msg, wparam, lparam);
    }

    HostToolbar toolbar{ClearCommand};
    ComPtr<HostSite> site = HostSite::Make();
    HostInfo info{L"Clear", ClearCommand};
    CleanButton button;
};

TEST_F(CleanButtonTest, CreationWithoutSiteStillSucceeds) {
    EXPECT_EQ(1, Send(ButtonCreate, 0, 0));
    EXPECT_TRUE(button.IsCreated());
    EXPECT_EQ(nullptr, button.Site());

    CleanButton second;
    EXPECT_EQ(1, second.HandleMessage(info.Get(), ButtonId + 1, ButtonCreateAndShow, 0, 0));
}

TEST_F(CleanButtonTest, CreationWithSiteReturnsOne) {
    EXPECT_EQ(1, Send(ButtonCreateAndShow, site->AsWParam(), 0));
    EXPECT_EQ(site.Get(), button.Site());
}

TEST_F(CleanButtonTest, DropDownReturnsOneAndOpensNothing) {
    Send(ButtonCreateAndShow, site->AsWParam(), 0);
    int windows = ThreadWindowCount();
    NMTOOLBARW notification = {};
    notification.hdr.hwndFrom = toolbar.Window();
    notification.hdr.code = TBN_DROPDOWN;
    notification.iItem = ClearCommand;
    notification.rcButton = toolbar.ButtonRect(ClearCommand);
    EXPECT_EQ(1, Send(ButtonDropDown, 0, reinterpret_cast<LPARAM>(&notification)));
    EXPECT_EQ(windows, ThreadWindowCount());
}

TEST_F(CleanButtonTest, VisibilityChangeReturnsOneAndARepeatReturnsZero) {
    Send(ButtonCreate, site->AsWParam(), 0);
    EXPECT_EQ(1, Send(ButtonVisibility, 1, 0));
    EXPECT_TRUE(button.IsShown());
    EXPECT_EQ(0, Send(ButtonVisibility, 1, 0));
    EXPECT_EQ(1, Send(ButtonVisibility, 0, 0));
    EXPECT_FALSE(button.IsShown());
}

TEST_F(CleanButtonTest, UserAndFilesChangesReturnOneOtherMessagesZero) {
    Send(ButtonCreateAndShow, site->AsWParam(), 0);
    EXPECT_EQ(1, Send(ButtonUserChanged));
    EXPECT_EQ(1, Send(ButtonFilesChanged));
    EXPECT_EQ(0, Send(ButtonMessageTwelve));
    EXPECT_EQ(0, Send(7));
}

TEST_F(CleanButtonTest, PressBeforeCreationCreatesWithTheGivenSiteAndOpensTheDialog) {
    ModalScript driver(L"清理上网痕迹", [](HWND dialog) { PressButton(dialog, IDCANCEL); });
    EXPECT_EQ(1, Send(ButtonPressed, site->AsWParam(), 0));
    EXPECT_TRUE(driver.Finish()) << "the clean dialog did not open";
    EXPECT_TRUE(button.IsCreated());
    EXPECT_EQ(site.Get(), button.Site());
    EXPECT_LE(1, site->CountCalls(SiteMethod::GetToolbarWindow)); // creation, then the dialog
}

TEST_F(CleanButtonTest, PressWithoutSiteReturnsOne) {
    Send(ButtonCreate, 0, 0);
    EXPECT_EQ(1, Send(ButtonPressed));
}

TEST_F(CleanButtonTest, FailingBrowserQueryPassesOnFromCreation) {
    site->SetBrowserQueryResult(E_FAIL);
    HRESULT raised = S_OK;
    try {
        Send(ButtonCreate, site->AsWParam(), 0);
    } catch (const _com_error& error) {
        raised = error.Error();
    }
    EXPECT_EQ(E_FAIL, raised);
}

} // namespace
