// The button base's dispatch, creation and per-user paths, seen through a probe subclass that
// records which hook ran with which arguments and otherwise behaves exactly as the base.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "env/ToolbarSharedMemory.h"
#include "host/ComError.h"
#include "host/HostTestSupport.h"
#include "host/ToolbarButton.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/SharedMemoryBlock.h"
#include "testbed/TestBrowser.h"

namespace {

enum class Hook {
    Create,
    Visibility,
    User,
    Files,
    DropDownRect,
    DropDown,
    Command,
    Twelve,
    Destroy,
    Other
};

const char* HookName(Hook hook) {
    switch (hook) {
    case Hook::Create:
        return "Create";
    case Hook::Visibility:
        return "Visibility";
    case Hook::User:
        return "User";
    case Hook::Files:
        return "Files";
    case Hook::DropDownRect:
        return "DropDownRect";
    case Hook::DropDown:
        return "DropDown";
    case Hook::Command:
        return "Command";
    case Hook::Twelve:
        return "Twelve";
    case Hook::Destroy:
        return "Destroy";
    case Hook::Other:
        return "Other";
    }
    return "?";
}

struct HookCall {
    Hook hook;
    LONG msg = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    RECT rect = {};
    BOOL hidden = FALSE;
    WORD commandId = 0;
};

class ProbeButton : public ToolbarButton {
public:
    std::vector<HookCall> calls;

    std::string Sequence() const {
        std::string text;
        for (const HookCall& call : calls) {
            if (!text.empty()) text += " ";
            text += HookName(call.hook);
        }
        return text;
    }

    LONG OnCreate(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                  LPARAM lparam) override {
        Record(Hook::Create, msg, wparam, lparam);
        return ToolbarButton::OnCreate(info, id, msg, wparam, lparam);
    }
    LONG OnVisibilityChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                             LPARAM lparam) override {
        Record(Hook::Visibility, msg, wparam, lparam);
        return ToolbarButton::OnVisibilityChanged(info, id, msg, wparam, lparam);
    }
    LONG OnUserChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                       LPARAM lparam) override {
        Record(Hook::User, msg, wparam, lparam);
        return ToolbarButton::OnUserChanged(info, id, msg, wparam, lparam);
    }
    LONG OnFilesChanged(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                        LPARAM lparam) override {
        Record(Hook::Files, msg, wparam, lparam);
        return ToolbarButton::OnFilesChanged(info, id, msg, wparam, lparam);
    }
    LONG OnDropDown(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                    const RECT* screenRect, BOOL hidden) override {
        HookCall call{Hook::DropDown, msg, wparam};
        call.rect = *screenRect;
        call.hidden = hidden;
        calls.push_back(call);
        return ToolbarButton::OnDropDown(info, id, msg, wparam, screenRect, hidden);
    }
    LONG OnCommand(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                   LPARAM lparam) override {
        Record(Hook::Command, msg, wparam, lparam);
        return ToolbarButton::OnCommand(info, id, msg, wparam, lparam);
    }
    LONG OnMessageTwelve(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                         LPARAM lparam) override {
        Record(Hook::Twelve, msg, wparam, lparam);
        return ToolbarButton::OnMessageTwelve(info, id, msg, wparam, lparam);
    }
    LONG OnDestroy(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                   LPARAM lparam) override {
        Record(Hook::Destroy, msg, wparam, lparam);
        return ToolbarButton::OnDestroy(info, id, msg, wparam, lparam);
    }
    LONG OnOtherMessage(const ButtonHostInfo* info, LONG id, LONG msg, WPARAM wparam,
                        LPARAM lparam) override {
        Record(Hook::Other, msg, wparam, lparam);
        return ToolbarButton::OnOtherMessage(info, id, msg, wparam, lparam);
    }
    void GetDropDownRect(WORD commandId, RECT* rect, BOOL* hidden,
                         const NMTOOLBARW* notification) override {
        HookCall call{Hook::DropDownRect};
        call.commandId = commandId;
        call.lparam = reinterpret_cast<LPARAM>(notification);
        calls.push_back(call);
        ToolbarButton::GetDropDownRect(commandId, rect, hidden, notification);
    }

private:
    void Record(Hook hook, LONG msg, WPARAM wparam, LPARAM lparam) {
        calls.push_back(HookCall{hook, msg, wparam, lparam});
    }
};

constexpr LONG ButtonId = 41;
constexpr WORD FirstOnToolbarCommand = 100;
constexpr WORD OnToolbarCommand = 101;
constexpr WORD OffToolbarCommand = 555;

class ToolbarButtonTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_TRUE(IsWindow(toolbar.Window()));
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(7301);
    }

    LONG Send(LONG msg, WPARAM wparam = 0, LPARAM lparam = 0) {
        return button.HandleMessage(info.Get(), ButtonId, msg, wparam, lparam);
    }
    LONG Create(LONG msg = ButtonCreate) {
        LONG result = Send(msg, site->AsWParam(), 0);
        button.calls.clear();
        return result;
    }

    HostToolbar toolbar{FirstOnToolbarCommand, OnToolbarCommand, 102};
    ComPtr<HostSite> site = HostSite::Make();
    HostInfo info{L"Clear", OnToolbarCommand};
    ProbeButton button;
};

TEST_F(ToolbarButtonTest, CreateAndShowOnTheToolbarReportsVisibilityThenUserThenFiles) {
    SharedMemoryBlock shared;
    ASSERT_TRUE(shared.IsValid());
    shared.SetUserNumber(7302);
    info.SetCommandId(FirstOnToolbarCommand); // index 0 counts as on the toolbar

    EXPECT_EQ(1, Send(ButtonCreateAndShow, site->AsWParam(), 0x55));
    ASSERT_EQ("Create Visibility User Files", button.Sequence());
    EXPECT_EQ(ButtonCreateAndShow, button.calls[0].msg);
    EXPECT_EQ(site->AsWParam(), button.calls[0].wparam);
    EXPECT_EQ(ButtonVisibility, button.calls[1].msg);
    EXPECT_EQ(1u, button.calls[1].wparam);
    EXPECT_EQ(0, button.calls[1].lparam);
    EXPECT_EQ(ButtonUserChanged, button.calls[2].msg);
    EXPECT_EQ(site->AsWParam(), button.calls[2].wparam);
    EXPECT_EQ(0x55, button.calls[2].lparam);
    // The user was re-read from shared memory before the files hook got it.
    EXPECT_EQ(ButtonFilesChanged, button.calls[3].msg);
    EXPECT_EQ(7302u, button.calls[3].wparam);
    EXPECT_EQ(0x55, button.calls[3].lparam);
    EXPECT_TRUE(button.IsStateKnown());
    EXPECT_TRUE(button.IsShown());
}

TEST_F(ToolbarButtonTest, CreateAndShowOnAHiddenFrameReportsNotShown) {
    toolbar.ShowFrame(FALSE);
    EXPECT_EQ(1, Send(ButtonCreateAndShow, site->AsWParam(), 0));
    ASSERT_EQ("Create Visibility User Files", button.Sequence());
    EXPECT_EQ(0u, button.calls[1].wparam);
    EXPECT_TRUE(button.IsStateKnown());
    EXPECT_FALSE(button.IsShown());
}

TEST_F(ToolbarButtonTest, CreationMessagesOnACreatedButtonReturnOneAndCallNoHook) {
    Create();
    site->ClearCalls();
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(1, Send(ButtonCreateAndShow, site->AsWParam(), 0));
    EXPECT_EQ("", button.Sequence());
    EXPECT_EQ(0u, site->Calls().size());
}

TEST_F(ToolbarButtonTest, CreateAndShowOffTheToolbarDefersTheReportToTheNextMessage) {
    info.SetCommandId(OffToolbarCommand);
    EXPECT_EQ(1, Send(ButtonCreateAndShow, site->AsWParam(), 0));
    EXPECT_EQ("Create", button.Sequence());
    EXPECT_FALSE(button.IsStateKnown());
    button.calls.clear();

    EXPECT_EQ(0, Send(ButtonMessageTwelve, 9, 8));
    ASSERT_EQ("Visibility User Files Twelve", button.Sequence());
    EXPECT_EQ(ButtonVisibility, button.calls[0].msg);
    EXPECT_EQ(0u, button.calls[0].wparam) << "the command id is not on the toolbar";
    EXPECT_EQ(ButtonMessageTwelve, button.calls[1].msg);
    EXPECT_EQ(9u, button.calls[1].wparam);
    EXPECT_EQ(8, button.calls[1].lparam);
    EXPECT_EQ(ButtonMessageTwelve, button.calls[2].msg);
    EXPECT_EQ(button.UserNumber(), button.calls[2].wparam);
    EXPECT_EQ(ButtonMessageTwelve, button.calls[3].msg);
    EXPECT_EQ(9u, button.calls[3].wparam);
    EXPECT_TRUE(button.IsStateKnown());

    button.calls.clear();
    Send(ButtonMessageTwelve, 9, 8);
    EXPECT_EQ("Twelve", button.Sequence()) << "the report is made once";
}

TEST_F(ToolbarButtonTest, VisibilityChangeReportsThenARepeatGoesToOtherMessage) {
    Create(); // message 1: no visibility report yet, shown 0
    EXPECT_EQ(0, Send(ButtonVisibility, 5, 3));
    ASSERT_EQ("Visibility User Files", button.Sequence());
    EXPECT_EQ(ButtonVisibility, button.calls[0].msg);
    EXPECT_EQ(5u, button.calls[0].wparam);
    EXPECT_EQ(3, button.calls[0].lparam);
    EXPECT_EQ(ButtonUserChanged, button.calls[1].msg);
    EXPECT_EQ(5u, button.calls[1].wparam);
    EXPECT_EQ(ButtonFilesChanged, button.calls[2].msg);
    EXPECT_EQ(button.UserNumber(), button.calls[2].wparam);
    EXPECT_EQ(3, button.calls[2].lparam);
    EXPECT_TRUE(button.IsShown());

    button.calls.clear();
    EXPECT_EQ(0, Send(ButtonVisibility, 1, 3));
    ASSERT_EQ("Other", button.Sequence());
    EXPECT_EQ(ButtonVisibility, button.calls[0].msg);
    EXPECT_EQ(1u, button.calls[0].wparam);

    button.calls.clear();
    Send(ButtonVisibility, 0, 0);
    EXPECT_EQ("Visibility User Files", button.Sequence());
    EXPECT_FALSE(button.IsShown());
}

TEST_F(ToolbarButtonTest, AnyFirstMessageCreatesWithItsWParamAsTheSite) {
    EXPECT_EQ(0, Send(ButtonPressed, site->AsWParam(), 0x77));
    ASSERT_EQ("Create Visibility User Files Command", button.Sequence());
    EXPECT_EQ(ButtonCreateAndShow, button.calls[0].msg);
    EXPECT_EQ(site->AsWParam(), button.calls[0].wparam);
    EXPECT_EQ(ButtonVisibility, button.calls[1].msg);
    EXPECT_EQ(1u, button.calls[1].wparam);
    EXPECT_EQ(ButtonPressed, button.calls[2].msg);
    EXPECT_EQ(0x77, button.calls[2].lparam);
    EXPECT_EQ(ButtonPressed, button.calls[3].msg);
    EXPECT_EQ(ButtonPressed, button.calls[4].msg);
    EXPECT_EQ(site.Get(), button.Site());
    EXPECT_EQ(toolbar.Window(), button.ToolbarWindow());
}

TEST_F(ToolbarButtonTest, DropDownGivesTheButtonRectangleOnScreenAndTheHiddenFlag) {
    toolbar.MoveFrame(300, 200);
    Create(ButtonCreateAndShow);
    NMTOOLBARW notification = {};
    notification.hdr.hwndFrom = toolbar.Window();
    notification.hdr.code = TBN_DROPDOWN;
    notification.iItem = OnToolbarCommand;
    notification.rcButton = toolbar.ButtonRect(OnToolbarCommand);
    ASSERT_GT(notification.rcButton.right, notification.rcButton.left);

    POINT topLeft = {notification.rcButton.left, notification.rcButton.top};
    POINT bottomRight = {notification.rcButton.right, notification.rcButton.bottom};
    ClientToScreen(toolbar.Window(), &topLeft);
    ClientToScreen(toolbar.Window(), &bottomRight);
    ASSERT_GE(topLeft.x, 300) << "the frame was moved";

    EXPECT_EQ(0, Send(ButtonDropDown, 6, reinterpret_cast<LPARAM>(&notification)));
    ASSERT_EQ("DropDownRect DropDown", button.Sequence());
    EXPECT_EQ(OnToolbarCommand, button.calls[0].commandId);
    const HookCall& drop = button.calls[1];
    EXPECT_EQ(ButtonDropDown, drop.msg);
    EXPECT_EQ(6u, drop.wparam);
    EXPECT_EQ(topLeft.x, drop.rect.left);
    EXPECT_EQ(topLeft.y, drop.rect.top);
    EXPECT_EQ(bottomRight.x, drop.rect.right);
    EXPECT_EQ(bottomRight.y, drop.rect.bottom);
    EXPECT_FALSE(drop.hidden);

    toolbar.HideButton(OnToolbarCommand, TRUE);
    button.calls.clear();
    notification.rcButton = {4, 3, 30, 20};
    EXPECT_EQ(0, Send(ButtonDropDown, 6, reinterpret_cast<LPARAM>(&notification)));
    ASSERT_EQ("DropDownRect DropDown", button.Sequence());
    POINT corner = {4, 3};
    ClientToScreen(toolbar.Window(), &corner);
    EXPECT_EQ(corner.x, button.calls[1].rect.left);
    EXPECT_EQ(corner.y, button.calls[1].rect.top);
    EXPECT_TRUE(button.calls[1].hidden);
}

TEST_F(ToolbarButtonTest, NullInfoIsRefusedWithoutAnyHook) {
    EXPECT_EQ(0, button.HandleMessage(nullptr, ButtonId, ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(0, button.HandleMessage(nullptr, ButtonId, ButtonPressed, site->AsWParam(), 0));
    EXPECT_EQ("", button.Sequence());
    EXPECT_FALSE(button.IsCreated());
    EXPECT_EQ(0u, site->Calls().size());
}

TEST_F(ToolbarButtonTest, DestroyCallsOnDestroyAndReturnsTheButtonToNew) {
    ComPtr<TestBrowser> browser = TestBrowser::Make(toolbar.Frame());
    site->SetBrowser(browser.Get());
    LONG siteRefs = site->RefCount();
    Create(ButtonCreateAndShow);
    ASSERT_GT(site->RefCount(), siteRefs);

    EXPECT_EQ(1, button.HandleMessage(nullptr, ButtonId, ButtonDestroy, 4, 5));
    ASSERT_EQ("Destroy", button.Sequence());
    EXPECT_EQ(ButtonDestroy, button.calls[0].msg);
    EXPECT_EQ(4u, button.calls[0].wparam);
    EXPECT_FALSE(button.IsCreated());
    EXPECT_FALSE(button.IsStateKnown());
    EXPECT_FALSE(button.IsShown());
    EXPECT_EQ(nullptr, button.ToolbarWindow());
    EXPECT_EQ(nullptr, button.Site());
    EXPECT_EQ(siteRefs, site->RefCount()) << "the site is released";
    EXPECT_STREQ(L"", button.SettingsPath());
    EXPECT_STREQ(L"", button.IncPath());
    EXPECT_STREQ(L"", button.SharedSettingsPath());
    EXPECT_EQ(0u, button.UserNumber());
    EXPECT_EQ(0u, button.UserExtra());
    EXPECT_EQ(0, button.CommandId());
    EXPECT_EQ(nullptr, button.Info());
    // Browser and name stay until the object goes.
    EXPECT_EQ(browser.Get(), button.Browser());
    EXPECT_STREQ(L"Clear", button.Name());

    button.calls.clear();
    Send(ButtonCreate, site->AsWParam(), 0);
    EXPECT_EQ("Create", button.Sequence()) << "a destroyed button creates afresh";
}

TEST_F(ToolbarButtonTest, BrowserReferenceIsReleasedWithTheButton) {
    ComPtr<TestBrowser> browser = TestBrowser::Make(toolbar.Frame());
    site->SetBrowser(browser.Get());
    LONG browserRefs = browser->RefCount();
    {
        ProbeButton other;
        other.HandleMessage(info.Get(), ButtonId, ButtonCreate, site->AsWParam(), 0);
        ASSERT_EQ(browser.Get(), other.Browser());
        EXPECT_EQ(browserRefs + 1, browser->RefCount());
    }
    EXPECT_EQ(browserRefs, browser->RefCount());
}

TEST_F(ToolbarButtonTest, CreationWithoutSiteCountsAsCreatedAndIsNotRetried) {
    EXPECT_EQ(0, Send(ButtonCreate, 0, 0));
    EXPECT_TRUE(button.IsCreated());
    EXPECT_EQ(nullptr, button.ToolbarWindow());
    EXPECT_STREQ(L"", button.SettingsPath());
    EXPECT_STREQ(L"", button.IncPath());
    EXPECT_STREQ(L"", button.SharedSettingsPath());
    EXPECT_EQ(OnToolbarCommand, button.CommandId());
    EXPECT_STREQ(L"Clear", button.Name());

    button.calls.clear();
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ("", button.Sequence());
    EXPECT_EQ(0u, site->Calls().size());
    EXPECT_EQ(0, Send(ButtonPressed, 0, 0));
    EXPECT_NE(std::string::npos, button.Sequence().find("Command"))
        << "later messages are still dispatched: " << button.Sequence();
}

TEST_F(ToolbarButtonTest, SiteWithoutBrowserStillCreates) {
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(nullptr, button.Browser());
    EXPECT_EQ(toolbar.Window(), button.ToolbarWindow());
    EXPECT_EQ(7301u, button.UserNumber());
    EXPECT_STRNE(L"", button.SettingsPath());
}

TEST_F(ToolbarButtonTest, SiteGivesTheBrowser) {
    ComPtr<TestBrowser> browser = TestBrowser::Make(toolbar.Frame());
    site->SetBrowser(browser.Get());
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    ASSERT_EQ(browser.Get(), button.Browser());
    SHANDLE_PTR frame = 0;
    EXPECT_EQ(S_OK, button.Browser()->get_HWND(&frame));
    EXPECT_EQ(reinterpret_cast<SHANDLE_PTR>(toolbar.Frame()), frame);
}

TEST_F(ToolbarButtonTest, FailingBrowserQueryRaisesItsCodeBeforeTheToolbarIsAsked) {
    site->SetBrowserQueryResult(E_ACCESSDENIED);
    HRESULT raised = S_OK;
    try {
        Send(ButtonCreate, site->AsWParam(), 0);
    } catch (const _com_error& error) {
        raised = error.Error();
    }
    EXPECT_EQ(E_ACCESSDENIED, raised);
    EXPECT_TRUE(button.IsCreated());
    EXPECT_EQ(nullptr, button.Browser());
    EXPECT_EQ(0, site->CountCalls(SiteMethod::GetToolbarWindow));
    EXPECT_EQ(0, site->CountCalls(SiteMethod::GetCurrentUser));
}

TEST_F(ToolbarButtonTest, UserFilesUseTheSiteUserWhenTheToolbarConfirmsIt) {
    toolbar.SetCurrentUser(7301);
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(UserFile(7301, L"tb.ini"), button.SettingsPath());
    EXPECT_EQ(UserFile(7301, L"inc.ini"), button.IncPath());
    EXPECT_EQ(UserFile(7301, L"tb.ini"), button.SharedSettingsPath());
    EXPECT_TRUE(PathIsDirectoryW(UserFolder(7301).c_str()));
    // Only the two confirmed kinds ask the toolbar.
    EXPECT_EQ((std::vector<LPARAM>{7301, 7301}), toolbar.UserQueries());

    std::vector<SiteCall> calls = site->Calls();
    int userCalls = 0;
    for (const SiteCall& call : calls) {
        if (call.method != SiteMethod::GetCurrentUser) continue;
        userCalls++;
        EXPECT_EQ(0, call.reserved1);
        EXPECT_EQ(0, call.reserved2);
    }
    EXPECT_EQ(1, userCalls);
}

TEST_F(ToolbarButtonTest, UserFilesFallBackToUserZeroWhenTheToolbarDoesNotConfirm) {
    toolbar.SetCurrentUser(5);
    site->SetCurrentUser(7302);
    EXPECT_EQ(1, Send(ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(UserFile(0, L"tb.ini"), button.SettingsPath());
    EXPECT_EQ(UserFile(0, L"inc.ini"), button.IncPath());
    EXPECT_EQ(UserFile(7302, L"tb.ini"), button.SharedSettingsPath());
    EXPECT_TRUE(PathIsDirectoryW(UserFolder(7302).c_str()));
    EXPECT_TRUE(PathIsDirectoryW(UserFolder(0).c_str()));
    EXPECT_EQ(2, toolbar.UserQueryCount());
}

TEST_F(ToolbarButtonTest, UserChangeReadsTheSharedBlockAndFilesChangeFollowsIt) {
    // No block yet: the report after creation reads user 0.
    Create(ButtonCreateAndShow);
    EXPECT_EQ(0u, button.UserNumber());
    EXPECT_EQ(0u, button.UserExtra());
    EXPECT_EQ(UserFile(0, L"tb.ini"), button.SharedSettingsPath());

    SharedMemoryBlock shared;
    ASSERT_TRUE(shared.IsValid());
    shared.SetUserNumber(7303);
    shared.SetCompanion(0xC0FFEE);
    EXPECT_EQ(1, Send(ButtonUserChanged, 0, 0));
    EXPECT_EQ(7303u, button.UserNumber());
    EXPECT_EQ(0xC0FFEEu, button.UserExtra());
    EXPECT_EQ(UserFile(7303, L"tb.ini"), button.SharedSettingsPath());
    EXPECT_TRUE(PathIsDirectoryW(UserFolder(7303).c_str()));
    EXPECT_EQ(UserFile(0, L"tb.ini"), button.SettingsPath()) << "message 15 leaves these";

    toolbar.SetCurrentUser(7303);
    EXPECT_EQ(1, Send(ButtonFilesChanged, 0, 0));
    EXPECT_EQ(UserFile(7303, L"tb.ini"), button.SettingsPath());
    EXPECT_EQ(UserFile(7303, L"inc.ini"), button.IncPath());
}

TEST_F(ToolbarButtonTest, UserChangeWithoutTheSharedBlockGivesZero) {
    {
        SharedMemoryBlock shared;
        shared.SetUserNumber(7304);
        shared.SetCompanion(9);
        Create(ButtonCreateAndShow);
        ASSERT_EQ(7304u, button.UserNumber());
    }
    TheToolbarSharedMemory().Close();
    EXPECT_EQ(1, Send(ButtonUserChanged, 0, 0));
    EXPECT_EQ(0u, button.UserNumber());
    EXPECT_EQ(0u, button.UserExtra());
    EXPECT_EQ(UserFile(0, L"tb.ini"), button.SharedSettingsPath());
}

TEST_F(ToolbarButtonTest, NameIsCopiedFromTheHostRecord) {
    HostInfo named(L"Clear traces", OnToolbarCommand);
    EXPECT_EQ(1, button.HandleMessage(named.Get(), ButtonId, ButtonCreate, site->AsWParam(), 0));
    ASSERT_STREQ(L"Clear traces", button.Name());
    EXPECT_NE(HostInfoName(named.Get()), button.Name()) << "a copy, not the host's string";
    EXPECT_EQ(named.Get(), button.Info());
    EXPECT_EQ(OnToolbarCommand, button.CommandId());
    named.SetName(L"Renamed by the host");
    EXPECT_STREQ(L"Clear traces", button.Name());

    // A shorter name on a later creation reuses the buffer; no name clears it.
    const WCHAR* buffer = button.Name();
    button.HandleMessage(named.Get(), ButtonId, ButtonDestroy, 0, 0);
    HostInfo shorter(L"Clr", 7);
    button.HandleMessage(shorter.Get(), ButtonId, ButtonCreate, site->AsWParam(), 0);
    EXPECT_STREQ(L"Clr", button.Name());
    EXPECT_EQ(buffer, button.Name());
    EXPECT_EQ(7, button.CommandId());

    button.HandleMessage(shorter.Get(), ButtonId, ButtonDestroy, 0, 0);
    HostInfo unnamed(nullptr, 8);
    button.HandleMessage(unnamed.Get(), ButtonId, ButtonCreate, site->AsWParam(), 0);
    EXPECT_EQ(nullptr, button.Name());
}

} // namespace
