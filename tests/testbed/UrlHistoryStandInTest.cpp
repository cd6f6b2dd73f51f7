// The URL history stand-in answers as the browser's history would, through COM.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <urlhist.h>

#include <string>

#include "TestSupport.h"
#include "env/Handles.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

constexpr WCHAR ServerKey[] =
    L"Software\\Classes\\CLSID\\{3C374A40-BAE4-11CF-BF7D-00AA006946EE}\\InprocServer32";

std::wstring RegisteredServer() {
    WCHAR value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    SHGetValueW(HKEY_LOCAL_MACHINE, ServerKey, nullptr, nullptr, value, &size);
    return value;
}

HRESULT CreateHistory(ComPtr<IUrlHistoryStg2>* history) {
    ComPtr<IUnknown> unknown;
    HRESULT hr =
        CoCreateInstance(CLSID_CUrlHistory, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr)) return hr;
    hr = OleRun(unknown.Get());
    if (FAILED(hr)) return hr;
    return unknown->QueryInterface(IID_IUrlHistoryStg2, history->PutVoid());
}

DWORD WINAPI ClearOnOwnThread(void*) {
    CoInitialize(nullptr);
    {
        ComPtr<IUrlHistoryStg2> history;
        if (SUCCEEDED(CreateHistory(&history))) history->ClearHistory();
    }
    CoUninitialize();
    return 0;
}

class UrlHistoryStandInTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(UrlHistoryStandInTest, QueryUrlAnswersSeededTitlesAndClearHistoryEmptiesTheList) {
    UrlHistoryStandIn standIn;
    ASSERT_TRUE(standIn.IsReady());
    standIn.SetTitle(L"http://a.example/", L"Page A");
    standIn.SetTitle(L"http://b.example/", nullptr);
    {
        ComPtr<IUrlHistoryStg2> history;
        ASSERT_EQ(S_OK, CreateHistory(&history));
        EXPECT_EQ(1, standIn.LiveObjects());

        STATURL stat = {};
        stat.cbSize = sizeof(stat);
        ASSERT_EQ(S_OK, history->QueryUrl(L"http://a.example/", 0, &stat));
        ASSERT_NE(nullptr, stat.pwcsTitle);
        EXPECT_STREQ(L"Page A", stat.pwcsTitle);
        EXPECT_STREQ(L"http://a.example/", stat.pwcsUrl);
        CoTaskMemFree(stat.pwcsUrl);
        CoTaskMemFree(stat.pwcsTitle);

        stat = STATURL{};
        stat.cbSize = sizeof(stat);
        ASSERT_EQ(S_OK, history->QueryUrl(L"http://b.example/", 0, &stat));
        EXPECT_EQ(nullptr, stat.pwcsTitle);
        CoTaskMemFree(stat.pwcsUrl);

        EXPECT_TRUE(FAILED(history->QueryUrl(L"http://c.example/", 0, &stat)));
        EXPECT_EQ(3, standIn.QueryUrlCalls());

        history->ClearHistory();
        EXPECT_EQ(1, standIn.ClearHistoryCalls());
        EXPECT_EQ(0, standIn.UrlCount());
    }
    EXPECT_EQ(0, standIn.LiveObjects());
}

TEST_F(UrlHistoryStandInTest, SwitchesMakeCreationFail) {
    UrlHistoryStandIn standIn;
    ASSERT_TRUE(standIn.IsReady());
    ComPtr<IUrlHistoryStg2> history;
    standIn.FailCreation(E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, CreateHistory(&history));
    standIn.FailCreation(S_OK);
    standIn.WithholdStg2(true);
    EXPECT_EQ(E_NOINTERFACE, CreateHistory(&history));
    EXPECT_EQ(0, standIn.LiveObjects());
    standIn.WithholdStg2(false);
    EXPECT_EQ(S_OK, CreateHistory(&history));
}

TEST_F(UrlHistoryStandInTest, ClearGateHoldsTheCallerUntilReleased) {
    UrlHistoryStandIn standIn;
    ASSERT_TRUE(standIn.IsReady());
    UniqueHandleValue entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandleValue release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    standIn.SetClearGate(entered.Get(), release.Get());
    UniqueHandleValue thread(CreateThread(nullptr, 0, ClearOnOwnThread, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered.Get(), 10000));
    EXPECT_EQ(0, standIn.ClearHistoryCalls());
    SetEvent(release.Get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 10000));
    EXPECT_EQ(1, standIn.ClearHistoryCalls());
    standIn.SetClearGate(nullptr, nullptr);
}

TEST(UrlHistoryStandInRegistration, IsUndoneWhenTheStandInGoes) {
    std::wstring before = RegisteredServer();
    {
        UrlHistoryStandIn standIn;
        ASSERT_TRUE(standIn.IsReady());
        EXPECT_EQ(standIn.DllPath(), RegisteredServer());
    }
    EXPECT_EQ(before, RegisteredServer());
    EXPECT_NE(nullptr, StrStrIW(before.c_str(), L"ieframe.dll")) << Narrow(before);
}

} // namespace
