// The export: refusals, creation on first sight, destruction and the registry it keeps.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/ButtonHost.h"
#include "host/ButtonRegistry.h"
#include "host/HostTestSupport.h"
#include "host/ToolbarButton.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/TestBrowser.h"

namespace {

constexpr WORD ClearCommand = 200;
constexpr LONG IdA = 1001, IdB = 1002, IdC = 1003;

class OnButtonMessageTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_EQ(0, TheButtonRegistry().Count()) << "a suite left buttons behind";
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(7311);
    }

    LONG Send(LONG id, LONG msg, WPARAM wparam = 0, LPARAM lparam = 0) {
        return OnButtonMessage(info.Get(), id, msg, wparam, lparam);
    }

    HostToolbar toolbar{ClearCommand};
    ComPtr<HostSite> site = HostSite::Make();
    HostInfo info{L"Clear", ClearCommand};
};

TEST_F(OnButtonMessageTest, NullInfoIsRefused) {
    for (LONG msg : {1, 2, 3, 4, 13, 21}) {
        EXPECT_EQ(0, OnButtonMessage(nullptr, IdA, msg, site->AsWParam(), 0)) << "msg " << msg;
    }
    EXPECT_EQ(0, TheButtonRegistry().Count());
    EXPECT_EQ(0u, site->Calls().size());
}

TEST_F(OnButtonMessageTest, RecordWithFewerThan276ReadableBytesIsRefused) {
    ShortHostInfo shortInfo(ButtonHostInfoSize - 1);
    ASSERT_NE(nullptr, shortInfo.Get());
    for (LONG msg : {1, 2, 3, 21}) {
        EXPECT_EQ(0, OnButtonMessage(shortInfo.Get(), IdA, msg, site->AsWParam(), 0))
            << "msg " << msg;
    }
    EXPECT_EQ(0, TheButtonRegistry().Count());
    EXPECT_EQ(0u, site->Calls().size());

    ShortHostInfo exact(ButtonHostInfoSize);
    EXPECT_EQ(1, OnButtonMessage(exact.Get(), IdA, ButtonCreate, 0, 0))
        << "exactly 276 readable bytes are enough";
    EXPECT_NE(nullptr, TheButtonRegistry().Find(IdA));
}

TEST_F(OnButtonMessageTest, IdZeroIsRefusedForEveryMessageCode) {
    for (LONG msg = 0; msg <= 32; msg++) {
        EXPECT_EQ(0, Send(0, msg, site->AsWParam(), 0)) << "msg " << msg;
    }
    EXPECT_EQ(0, TheButtonRegistry().Count());
    EXPECT_EQ(0u, site->Calls().size());
}

TEST_F(OnButtonMessageTest, DestroyForAnUnseenIdReturnsOneAndCreatesNothing) {
    EXPECT_EQ(1, Send(IdA, ButtonDestroy, site->AsWParam(), 0));
    EXPECT_EQ(0, TheButtonRegistry().Count());
    EXPECT_EQ(nullptr, TheButtonRegistry().Find(IdA));
    EXPECT_EQ(0u, site->Calls().size());
}

TEST_F(OnButtonMessageTest, FirstMessageCreatesAButtonThatLaterCallsReach) {
    EXPECT_EQ(1, Send(IdA, ButtonCreateAndShow, site->AsWParam(), 0));
    ToolbarButton* button = TheButtonRegistry().Find(IdA);
    ASSERT_NE(nullptr, button);
    EXPECT_TRUE(button->IsCreated());
    EXPECT_EQ(toolbar.Window(), button->ToolbarWindow());

    EXPECT_EQ(1, Send(IdA, ButtonUserChanged));
    EXPECT_EQ(button, TheButtonRegistry().Find(IdA));
    EXPECT_EQ(1, TheButtonRegistry().Count());
}

TEST_F(OnButtonMessageTest, RemovingTheMiddleOfThreeButtonsKeepsTheOthersInOrder) {
    for (LONG id : {IdA, IdB, IdC})
        ASSERT_EQ(1, Send(id, ButtonCreate, site->AsWParam(), 0));
    ToolbarButton* a = TheButtonRegistry().Find(IdA);
    ToolbarButton* c = TheButtonRegistry().Find(IdC);
    ASSERT_NE(a, c);

    EXPECT_EQ(1, Send(IdB, ButtonDestroy));
    ASSERT_EQ(2, TheButtonRegistry().Count());
    EXPECT_EQ(IdA, TheButtonRegistry().KeyAt(0));
    EXPECT_EQ(IdC, TheButtonRegistry().KeyAt(1));
    EXPECT_EQ(a, TheButtonRegistry().Find(IdA));
    EXPECT_EQ(nullptr, TheButtonRegistry().Find(IdB));
    EXPECT_EQ(c, TheButtonRegistry().Find(IdC));

    EXPECT_EQ(1, Send(IdA, ButtonDestroy));
    EXPECT_EQ(1, Send(IdC, ButtonDestroy));
    EXPECT_EQ(0, TheButtonRegistry().Count());
    EXPECT_EQ(1, Send(IdB, ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(IdB, TheButtonRegistry().KeyAt(0));
    EXPECT_EQ(1, TheButtonRegistry().Count());
}

TEST_F(OnButtonMessageTest, AnIdThatComesBackAfterDestroyStartsFromScratch) {
    ASSERT_EQ(1, Send(IdA, ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(1, Send(IdA, ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(1, site->CountCalls(SiteMethod::GetToolbarWindow)) << "created once";

    EXPECT_EQ(1, Send(IdA, ButtonDestroy));
    EXPECT_EQ(nullptr, TheButtonRegistry().Find(IdA));

    EXPECT_EQ(1, Send(IdA, ButtonCreate, site->AsWParam(), 0));
    EXPECT_EQ(2, site->CountCalls(SiteMethod::GetToolbarWindow))
        << "the new button is not created yet and asks the site again";
    ToolbarButton* fresh = TheButtonRegistry().Find(IdA);
    ASSERT_NE(nullptr, fresh);
    EXPECT_FALSE(fresh->IsStateKnown());
}

TEST_F(OnButtonMessageTest, SiteReferencesAreReleasedByDestroy) {
    ComPtr<TestBrowser> browser = TestBrowser::Make(toolbar.Frame());
    site->SetBrowser(browser.Get());
    LONG siteRefs = site->RefCount();
    LONG browserRefs = browser->RefCount();

    ASSERT_EQ(1, Send(IdA, ButtonCreateAndShow, site->AsWParam(), 0));
    EXPECT_GT(site->RefCount(), siteRefs);
    EXPECT_GT(browser->RefCount(), browserRefs);

    EXPECT_EQ(1, Send(IdA, ButtonDestroy));
    EXPECT_EQ(siteRefs, site->RefCount());
    EXPECT_EQ(browserRefs, browser->RefCount());
    EXPECT_EQ(site->CountCalls(SiteMethod::AddRef), site->CountCalls(SiteMethod::Release));
}

class FailingBrowserQuery : public OnButtonMessageTest,
                            public testing::WithParamInterface<HRESULT> {};

// A host whose browser query fails with anything but E_NOINTERFACE gets 0 instead of an
// exception crossing into it; the button made for the call stays and is not made again.
TEST_P(FailingBrowserQuery, ReturnsZeroAndKeepsTheButtonRegistered) {
    site->SetBrowserQueryResult(GetParam());
    EXPECT_EQ(0, Send(IdA, ButtonCreateAndShow, site->AsWParam(), 0));
    ToolbarButton* button = TheButtonRegistry().Find(IdA);
    ASSERT_NE(nullptr, button);
    EXPECT_TRUE(button->IsCreated());
    EXPECT_EQ(nullptr, button->Browser());

    EXPECT_EQ(1, Send(IdA, ButtonUserChanged, site->AsWParam(), 0));
    EXPECT_EQ(button, TheButtonRegistry().Find(IdA));
    EXPECT_EQ(1, site->CountCalls(SiteMethod::QueryInterface)) << "no second creation";

    LONG refs = site->RefCount();
    EXPECT_EQ(1, Send(IdA, ButtonDestroy));
    EXPECT_LT(site->RefCount(), refs) << "the site taken before the failure is released";
}

INSTANTIATE_TEST_SUITE_P(Codes, FailingBrowserQuery, testing::Values(E_FAIL, E_ACCESSDENIED));

TEST_F(OnButtonMessageTest, SiteWithoutBrowserCreatesNormally) {
    EXPECT_EQ(1, Send(IdA, ButtonCreate, site->AsWParam(), 0));
    ToolbarButton* button = TheButtonRegistry().Find(IdA);
    ASSERT_NE(nullptr, button);
    EXPECT_EQ(nullptr, button->Browser());
    EXPECT_EQ(7311u, button->UserNumber());
}

} // namespace
