// The usage statistics ping against a real HTTP listener on loopback: what arrives there, the
// switch that turns it off, the identity it carries, the thread it runs on and the cache file
// it leaves behind; and the download callback's answers to the URL moniker.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wininet.h>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TestSupport.h"
#include "clean/CleanDialog.h"
#include "clean/UsagePing.h"
#include "env/ClientIdentity.h"
#include "env/EnvTestSupport.h"
#include "testbed/HostSite.h"
#include "testbed/HttpListener.h"
#include "testbed/ModalScript.h"
#include "testbed/StoreImage.h"
#include "testbed/TestBrowser.h"
#include "testbed/TypedUrlSeed.h"
#include "testbed/UrlCacheSeed.h"

namespace {

// The build points the endpoint at "localhost:<port>" for the tests; 0 when it does not.
USHORT ListenerPort() {
    const WCHAR prefix[] = L"localhost:";
    std::wstring host = VELA_PING_HOST;
    if (host.compare(0, wcslen(prefix), prefix) != 0) return 0;
    int port = _wtoi(host.c_str() + wcslen(prefix));
    return port > 0 && port < 65536 ? static_cast<USHORT>(port) : 0;
}
const USHORT PingPort = ListenerPort();
// Bounds for waiting on the ping thread; generous, since Wine may be slow to start a download.
const DWORD RequestWaitMs = 20000;
const DWORD ThreadWaitMs = 60000;

std::wstring SettingsKey(const wchar_t* subKey) {
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExW(&v);
    std::wstring key = v.dwMajorVersion >= 6 ? L"SOFTWARE\\AppDataLow\\Corvane\\VelaToolbar"
                                             : L"SOFTWARE\\Corvane\\VelaToolbar";
    return key + L"\\" + subKey;
}

void StoreJoin(DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueW(HKEY_CURRENT_USER, SettingsKey(L"iebar").c_str(), L"join",
                                         REG_DWORD, &value, sizeof(value)));
}

void StoreAutoClean(DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueW(HKEY_CURRENT_USER, SettingsKey(L"HistoryClean").c_str(),
                                         L"AutoClean", REG_DWORD, &value, sizeof(value)));
}

std::set<DWORD> ProcessThreadIds() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

std::set<DWORD> NewThreads(const std::set<DWORD>& before) {
    std::set<DWORD> added;
    for (DWORD id : ProcessThreadIds()) {
        if (!before.count(id)) added.insert(id);
    }
    return added;
}

// Polls until none of threads is alive any more; false when the bound passed first.
bool WaitForThreadsToEnd(const std::set<DWORD>& threads, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::set<DWORD> alive = ProcessThreadIds();
        bool any = false;
        for (DWORD id : threads)
            any = any || alive.count(id) != 0;
        if (!any) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

// One ping as the test sees it: the threads it started and the clock around the call.
struct SentPing {
    std::set<DWORD> threads;
    time_t before;
    time_t after;
};

SentPing Send(int ck, int adcl, int skcl) {
    SentPing ping;
    std::set<DWORD> before = ProcessThreadIds();
    ping.before = time(nullptr);
    SendUsagePing(ck, adcl, skcl);
    ping.after = time(nullptr);
    ping.threads = NewThreads(before);
    return ping;
}

struct PingQuery {
    std::string path;
    std::vector<std::pair<std::string, std::string>> pairs;

    std::string Value(const char* key) const {
        for (const auto& pair : pairs) {
            if (pair.first == key) return pair.second;
        }
        return "<missing>";
    }
    std::string Keys() const {
        std::string keys;
        for (const auto& pair : pairs)
            keys += (keys.empty() ? "" : ",") + pair.first;
        return keys;
    }
};

// "GET /pingd?a=1&b=2 HTTP/1.1" into the path and the query's pairs in order.
bool ParseRequestLine(const std::string& line, std::string* method, PingQuery* query) {
    size_t space = line.find(' ');
    size_t last = line.rfind(' ');
    if (space == std::string::npos || last == space) return false;
    *method = line.substr(0, space);
    std::string target = line.substr(space + 1, last - space - 1);
    size_t mark = target.find('?');
    query->path = target.substr(0, mark);
    if (mark == std::string::npos) return true;
    std::string rest = target.substr(mark + 1);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t amp = rest.find('&', start);
        std::string item =
            rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        size_t equals = item.find('=');
        query->pairs.emplace_back(item.substr(0, equals),
                                  equals == std::string::npos ? "" : item.substr(equals + 1));
        if (amp == std::string::npos) break;
        start = amp + 1;
    }
    return true;
}

bool IsIdentityText(const std::string& text) {
    if (text.size() != 32) return false;
    for (char c : text) {
        if (!c || !strchr(IdentityAlphabet, c)) return false;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "\n  " + line;
    return text;
}

// The URL the module asked for, rebuilt from the request line the listener saw.
std::wstring UrlOfRequest(const std::string& line) {
    size_t space = line.find(' ');
    size_t last = line.rfind(' ');
    std::string target = line.substr(space + 1, last - space - 1);
    return std::wstring(L"http://") + VELA_PING_HOST + std::wstring(target.begin(), target.end());
}

// The local file of the URL cache's entry for url; empty when there is no entry.
std::wstring CacheFileOf(const std::wstring& url) {
    DWORD size = 0;
    GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size);
    if (!size) return L"";
    std::vector<BYTE> buffer(size);
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    if (!GetUrlCacheEntryInfoW(url.c_str(), info, &size) || !info->lpszLocalFileName) return L"";
    return info->lpszLocalFileName;
}

BOOL CALLBACK CountVisibleWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Visible top-level windows of this process: a failure shown to the user would be one.
int VisibleProcessWindows() {
    int count = 0;
    EnumWindows(CountVisibleWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

class UsagePingTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PingPort)
            GTEST_SKIP() << "built for the endpoint " << Narrow(VELA_PING_HOST)
                         << ", not the test listener";
        DeleteToolbarRegistryState();
    }
    void TearDown() override {
        for (const std::wstring& url : urls_)
            DeleteUrlCacheEntryW(url.c_str());
        DeleteToolbarRegistryState();
    }

    // Starts the listener, or fails the test.
    void Listen(HttpListener& listener) { ASSERT_TRUE(listener.Start()) << "port " << PingPort; }

    // Waits for count requests and for the ping threads to end; then every request line.
    std::vector<std::string> Receive(HttpListener& listener, const SentPing& ping, size_t count) {
        EXPECT_TRUE(listener.WaitForRequests(count, RequestWaitMs))
            << "requests received: " << listener.RequestCount();
        EXPECT_TRUE(WaitForThreadsToEnd(ping.threads, ThreadWaitMs)) << "the ping thread runs on";
        std::vector<std::string> lines = listener.RequestLines();
        for (const std::string& line : lines)
            urls_.push_back(UrlOfRequest(line));
        return lines;
    }

    std::vector<std::wstring> urls_;
};

TEST_F(UsagePingTest, SendsOneGetWithTheCountersTheIdentityAndTheTime) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = Send(0, 0, 0);
    std::vector<std::string> lines = Receive(listener, ping, 1);
    ASSERT_EQ(1u, lines.size()) << Joined(lines);

    std::string method;
    PingQuery query;
    ASSERT_TRUE(ParseRequestLine(lines[0], &method, &query)) << lines[0];
    EXPECT_EQ("GET", method) << lines[0];
    EXPECT_EQ("/pingd", query.path) << lines[0];
    EXPECT_EQ("srctype,cin,ck,adcl,skcl,r", query.Keys()) << lines[0];
    EXPECT_EQ("tb_clean", query.Value("srctype"));
    EXPECT_TRUE(IsIdentityText(query.Value("cin"))) << "cin=" << query.Value("cin");
    EXPECT_EQ("0", query.Value("ck"));
    EXPECT_EQ("0", query.Value("adcl"));
    EXPECT_EQ("0", query.Value("skcl"));
    long long r = atoll(query.Value("r").c_str());
    EXPECT_GE(r, static_cast<long long>(ping.before)) << lines[0];
    EXPECT_LE(r, static_cast<long long>(ping.after)) << lines[0];
}

TEST_F(UsagePingTest, ReportsEachCounterAsGiven) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing first = Send(1, 0, 1);
    Receive(listener, first, 1);
    SentPing second = Send(0, 1, 0);
    std::vector<std::string> lines = Receive(listener, second, 2);
    ASSERT_EQ(2u, lines.size()) << Joined(lines);

    std::string method;
    PingQuery query;
    ASSERT_TRUE(ParseRequestLine(lines[0], &method, &query)) << lines[0];
    EXPECT_EQ("1", query.Value("ck")) << lines[0];
    EXPECT_EQ("0", query.Value("adcl")) << lines[0];
    EXPECT_EQ("1", query.Value("skcl")) << lines[0];
    PingQuery next;
    ASSERT_TRUE(ParseRequestLine(lines[1], &method, &next)) << lines[1];
    EXPECT_EQ("0", next.Value("ck")) << lines[1];
    EXPECT_EQ("1", next.Value("adcl")) << lines[1];
    EXPECT_EQ("0", next.Value("skcl")) << lines[1];
}

TEST_F(UsagePingTest, JoinZeroSendsNothingAndStartsNoThread) {
    StoreJoin(0);
    StoreAutoClean(1);
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = Send(1, 1, 1);
    EXPECT_TRUE(ping.threads.empty()) << ping.threads.size() << " new thread(s)";
    WaitForThreadsToEnd(ping.threads, ThreadWaitMs);
    EXPECT_EQ(0u, listener.ConnectionCount()) << Joined(listener.RequestLines());
}

TEST_F(UsagePingTest, JoinOneSendsOnItsOwnThread) {
    StoreJoin(1);
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = Send(0, 0, 0);
    EXPECT_FALSE(ping.threads.empty()) << "no thread was started";
    std::vector<std::string> lines = Receive(listener, ping, 1);
    EXPECT_EQ(1u, lines.size()) << Joined(lines);
}

TEST_F(UsagePingTest, SendsWhenTheSwitchKeyIsMissing) {
    HKEY key = nullptr;
    ASSERT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey(L"iebar").c_str(), 0, KEY_READ, &key));
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = Send(0, 0, 0);
    std::vector<std::string> lines = Receive(listener, ping, 1);
    EXPECT_EQ(1u, lines.size()) << Joined(lines);
}

// The identity is read on the first ping of the process only: a client GUID changed in
// between does not reach the second ping.
TEST_F(UsagePingTest, TwoPingsCarryTheSameIdentity) {
    const WCHAR identityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    BYTE saved[16] = {};
    DWORD savedSize = sizeof(saved);
    bool hadGuid = SHGetValueW(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2", nullptr, saved,
                               &savedSize) == ERROR_SUCCESS;

    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing first = Send(0, 0, 0);
    Receive(listener, first, 1);

    BYTE other[16];
    for (int i = 0; i < 16; ++i)
        other[i] = static_cast<BYTE>(saved[i] ^ 0x5A);
    SHSetValueW(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2", REG_BINARY, other, sizeof(other));
    SentPing second = Send(0, 0, 0);
    std::vector<std::string> lines = Receive(listener, second, 2);

    if (hadGuid)
        SHSetValueW(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2", REG_BINARY, saved, savedSize);
    else
        SHDeleteValueW(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2");

    ASSERT_EQ(2u, lines.size()) << Joined(lines);
    std::string method;
    PingQuery one, two;
    ASSERT_TRUE(ParseRequestLine(lines[0], &method, &one));
    ASSERT_TRUE(ParseRequestLine(lines[1], &method, &two));
    EXPECT_TRUE(IsIdentityText(one.Value("cin"))) << lines[0];
    EXPECT_EQ(one.Value("cin"), two.Value("cin"));
}

TEST_F(UsagePingTest, DeletesTheCachedAnswerFile) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = Send(0, 0, 0);
    std::vector<std::string> lines = Receive(listener, ping, 1);
    ASSERT_EQ(1u, lines.size()) << Joined(lines);
    // The thread has ended: the cache entry of the request still names its file, which the
    // thread has deleted.
    std::wstring file = CacheFileOf(UrlOfRequest(lines[0]));
    ASSERT_FALSE(file.empty()) << "no cache entry for " << Narrow(UrlOfRequest(lines[0]));
    EXPECT_FALSE(PathFileExistsW(file.c_str())) << Narrow(file);
}

TEST_F(UsagePingTest, DoesNotWaitForTheAnswer) {
    HttpListener listener(PingPort, HttpListener::Mode::Hold);
    Listen(listener);
    SentPing ping = Send(0, 0, 0);
    // Back from the call while the listener holds the request unanswered.
    ASSERT_TRUE(listener.WaitForRequests(1, RequestWaitMs));
    std::set<DWORD> alive = ProcessThreadIds();
    bool running = false;
    for (DWORD id : ping.threads)
        running = running || alive.count(id);
    EXPECT_TRUE(running) << "the ping thread ended without an answer";
    listener.Stop();
    EXPECT_TRUE(WaitForThreadsToEnd(ping.threads, ThreadWaitMs));
    for (const std::string& line : listener.RequestLines())
        urls_.push_back(UrlOfRequest(line));
}

// Nothing listens on the port: the thread gives up, leaves no cache file and shows nothing.
TEST_F(UsagePingTest, RefusedConnectionLeavesNoThreadNoFileAndNoMessage) {
    int windowsBefore = VisibleProcessWindows();
    std::string cin;
    {
        // Learn the identity the process sends, to name the URLs a refused ping could leave.
        HttpListener answering(PingPort, HttpListener::Mode::Answer);
        Listen(answering);
        SentPing learn = Send(0, 0, 0);
        std::vector<std::string> lines = Receive(answering, learn, 1);
        ASSERT_EQ(1u, lines.size()) << Joined(lines);
        std::string method;
        PingQuery query;
        ASSERT_TRUE(ParseRequestLine(lines[0], &method, &query));
        cin = query.Value("cin");
    }
    HttpListener listener(PingPort, HttpListener::Mode::Refuse);
    Listen(listener);

    SentPing ping = Send(0, 1, 1);
    EXPECT_FALSE(ping.threads.empty());
    EXPECT_TRUE(WaitForThreadsToEnd(ping.threads, ThreadWaitMs)) << "the ping thread runs on";
    for (time_t r = ping.before; r <= ping.after; ++r) {
        WCHAR url[PingUrlBufferLength];
        wnsprintfW(url, PingUrlBufferLength,
                   L"http://%s/pingd?srctype=tb_clean&cin=%hs&ck=0&adcl=1&skcl=1&r=%d",
                   VELA_PING_HOST, cin.c_str(), static_cast<int>(r));
        urls_.push_back(url);
        std::wstring file = CacheFileOf(url);
        EXPECT_TRUE(file.empty() || !PathFileExistsW(file.c_str())) << Narrow(file);
    }
    EXPECT_EQ(windowsBefore, VisibleProcessWindows());
}

// The ping as the clean dialog sends it when it closes.
class CleanDialogPingTest : public UsagePingTest {
protected:
    void SetUp() override {
        UsagePingTest::SetUp();
        if (IsSkipped()) return;
        frame_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80,
                                 800, 600, nullptr, nullptr, nullptr, nullptr);
        site_ = HostSite::Make();
        browser_ = TestBrowser::Make(frame_);
        site_->SetBrowser(browser_.Get());
        // Both record boxes checked, so that a used link shows by its box being cleared.
        DWORD all = 0x7F;
        SHSetValueW(HKEY_CURRENT_USER, SettingsKey(L"HistoryClean").c_str(), L"UserSelect",
                    REG_DWORD, &all, sizeof(all));
    }
    void TearDown() override {
        if (frame_) DestroyWindow(frame_);
        UsagePingTest::TearDown();
    }

    // Shows a clean dialog over the browser, runs script in it and closes it.
    SentPing CloseDialog(std::function<void(HWND)> script) {
        SentPing ping;
        std::set<DWORD> before = ProcessThreadIds();
        ping.before = time(nullptr);
        {
            ModalScript driver(L"清理上网痕迹", script);
            CleanDialog dialog;
            site_->AddRef(); // ShowOverBrowser releases the reference its caller added
            dialog.ShowOverBrowser(site_.Get());
            EXPECT_TRUE(driver.Finish()) << "the clean dialog did not open";
        }
        ping.after = time(nullptr);
        ping.threads = NewThreads(before);
        return ping;
    }

    PingQuery QueryOf(const std::string& line) {
        std::string method;
        PingQuery query;
        EXPECT_TRUE(ParseRequestLine(line, &method, &query)) << line;
        EXPECT_EQ("GET", method) << line;
        return query;
    }

    HWND frame_ = nullptr;
    ComPtr<HostSite> site_;
    ComPtr<TestBrowser> browser_;
};

const int AddressLinkId = 1189;
const int SearchLinkId = 1190;
const int AddressBarBoxId = 1179;
const int SearchRecordsBoxId = 1181;

struct OtherDialogSearch {
    HWND clean;
    HWND found;
};

BOOL CALLBACK FindOtherDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<OtherDialogSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    WCHAR className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == GetCurrentProcessId() && window != search->clean && IsWindowVisible(window) &&
        lstrcmpW(className, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Clicks a link of the clean dialog and waits until the dialog has taken it, which clears the
// link's record box. A dialog the link opens meanwhile is cancelled.
void UseLink(HWND clean, int linkId, int boxId) {
    ASSERT_TRUE(IsChecked(clean, boxId));
    PostMessageW(clean, WM_COMMAND, MAKEWPARAM(linkId, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(clean, linkId)));
    for (int waited = 0; waited < 10000 && IsChecked(clean, boxId); waited += 10) {
        OtherDialogSearch search = {clean, nullptr};
        EnumWindows(FindOtherDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
        Sleep(10);
    }
    EXPECT_FALSE(IsChecked(clean, boxId)) << "the link was not taken";
}

TEST_F(CleanDialogPingTest, ClosingWithoutLinksAndAutomaticCleanOffSendsZeros) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = CloseDialog([](HWND dialog) { PressButton(dialog, IDCANCEL); });
    std::vector<std::string> lines = Receive(listener, ping, 1);
    ASSERT_EQ(1u, lines.size()) << Joined(lines);
    PingQuery query = QueryOf(lines[0]);
    EXPECT_EQ("/pingd", query.path);
    EXPECT_EQ("tb_clean", query.Value("srctype"));
    EXPECT_TRUE(IsIdentityText(query.Value("cin"))) << lines[0];
    EXPECT_EQ("0", query.Value("ck")) << lines[0];
    EXPECT_EQ("0", query.Value("adcl")) << lines[0];
    EXPECT_EQ("0", query.Value("skcl")) << lines[0];
    long long r = atoll(query.Value("r").c_str());
    EXPECT_GE(r, static_cast<long long>(ping.before)) << lines[0];
    EXPECT_LE(r, static_cast<long long>(ping.after)) << lines[0];
}

TEST_F(CleanDialogPingTest, AutomaticCleanOnGivesCkOne) {
    StoreAutoClean(1);
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = CloseDialog([](HWND) {});
    std::vector<std::string> lines = Receive(listener, ping, 1);
    ASSERT_EQ(1u, lines.size()) << Joined(lines);
    EXPECT_EQ("1", QueryOf(lines[0]).Value("ck")) << lines[0];
}

TEST_F(CleanDialogPingTest, EachLinkCountsForItsOwnDialogOnly) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing address =
        CloseDialog([](HWND dialog) { UseLink(dialog, AddressLinkId, AddressBarBoxId); });
    Receive(listener, address, 1);
    SentPing search =
        CloseDialog([](HWND dialog) { UseLink(dialog, SearchLinkId, SearchRecordsBoxId); });
    Receive(listener, search, 2);
    SentPing neither = CloseDialog([](HWND) {});
    std::vector<std::string> lines = Receive(listener, neither, 3);
    ASSERT_EQ(3u, lines.size()) << Joined(lines);

    PingQuery first = QueryOf(lines[0]);
    EXPECT_EQ("1", first.Value("adcl")) << lines[0];
    EXPECT_EQ("0", first.Value("skcl")) << lines[0];
    PingQuery second = QueryOf(lines[1]);
    EXPECT_EQ("0", second.Value("adcl")) << lines[1];
    EXPECT_EQ("1", second.Value("skcl")) << lines[1];
    PingQuery third = QueryOf(lines[2]);
    EXPECT_EQ("0", third.Value("adcl")) << lines[2];
    EXPECT_EQ("0", third.Value("skcl")) << lines[2];
}

TEST_F(CleanDialogPingTest, JoinZeroClosesWithoutAPing) {
    StoreJoin(0);
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    SentPing ping = CloseDialog([](HWND) {});
    EXPECT_TRUE(ping.threads.empty()) << ping.threads.size() << " thread(s) left running";
    EXPECT_EQ(0u, listener.ConnectionCount()) << Joined(listener.RequestLines());
}

TEST_F(UsagePingTest, DownloadToCacheReportsTheCacheFile) {
    HttpListener listener(PingPort, HttpListener::Mode::Answer);
    Listen(listener);
    std::wstring url = std::wstring(L"http://") + VELA_PING_HOST +
                       L"/pingd?srctype=tb_clean&cin=download&ck=0&adcl=0&skcl=0&r=1";
    urls_.push_back(url);
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(1, DownloadToCache(url.c_str(), path, MAX_PATH - 1));
    EXPECT_TRUE(PathFileExistsW(path) && !PathIsDirectoryW(path)) << Narrow(path);
    EXPECT_EQ(CacheFileOf(url), path);
    ASSERT_EQ(1u, listener.RequestCount());
    EXPECT_EQ("GET /pingd?srctype=tb_clean&cin=download&ck=0&adcl=0&skcl=0&r=1 HTTP/1.1",
              listener.RequestLines()[0]);
    DeleteFileW(path);
}

// The answer is deleted only when it is the local file of the ping URL's own cache entry. A
// download that handed back any other path (followed to a file: URL, or forged) leaves that
// file alone: here a file of the user's outside the cache, for a URL with an entry and one
// without.
TEST(PingAnswerTest, OnlyTheCacheEntrysOwnFileIsDeleted) {
    const std::wstring url = L"http://answer.example/pingd?srctype=tb_clean&r=1";
    ASSERT_TRUE(SeedCacheEntry(url.c_str())) << "error " << GetLastError();
    std::wstring cached = CacheFileOf(url);
    ASSERT_FALSE(cached.empty());
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring own = std::wstring(folder) + L"VelaUsersOwnFile.txt";
    ASSERT_TRUE(WriteFileBytes(own, {'o', 'w', 'n'}));

    EXPECT_EQ(0, DeleteCachedAnswer(url.c_str(), own.c_str()));
    EXPECT_EQ(0, DeleteCachedAnswer(L"http://none.example/pingd?r=2", own.c_str()));
    EXPECT_TRUE(PathFileExistsW(own.c_str())) << "the user's file was deleted";
    EXPECT_EQ(1, DeleteCachedAnswer(url.c_str(), cached.c_str()));
    EXPECT_FALSE(PathFileExistsW(cached.c_str())) << Narrow(cached);

    DeleteFileW(own.c_str());
    DeleteUrlCacheEntryW(url.c_str());
}

TEST_F(UsagePingTest, DownloadToCacheFailsWhenRefused) {
    HttpListener listener(PingPort, HttpListener::Mode::Refuse);
    Listen(listener);
    std::wstring url = std::wstring(L"http://") + VELA_PING_HOST +
                       L"/pingd?srctype=tb_clean&cin=refused&ck=0&adcl=0&skcl=0&r=1";
    urls_.push_back(url);
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(0, DownloadToCache(url.c_str(), path, MAX_PATH - 1));
    EXPECT_FALSE(path[0] && PathFileExistsW(path)) << Narrow(path);
}

// The real module in a host of its own, unloaded right after the dialog closes while the
// endpoint takes its time to answer.
TEST_F(UsagePingTest, HostThatUnloadsTheModuleDuringAPingExitsCleanly) {
    HttpListener listener(PingPort, HttpListener::Mode::Slow, 3000);
    Listen(listener);
    ProgramRun run = RunProgram(BinPath(L"PingUnloadHost.exe"), L"", 120000);
    ASSERT_TRUE(run.started) << "cannot start PingUnloadHost.exe, error " << GetLastError();
    ASSERT_TRUE(run.finished) << "the host did not finish";
    EXPECT_EQ(0u, run.exitCode) << "0x" << std::hex << run.exitCode
                                << "; see the exit codes in tests/programs/PingUnloadHost.cpp";
    std::vector<std::string> lines = listener.RequestLines();
    ASSERT_EQ(1u, lines.size()) << Joined(lines);
    EXPECT_EQ(0u, lines[0].find("GET /pingd?srctype=tb_clean&cin=")) << lines[0];
    urls_.push_back(UrlOfRequest(lines[0]));
}

// The host unloads the module while the ping waits for its answer, so the module's termination
// comes on the ping thread; the automatic clean is armed and runs there, with one browser frame
// of the host's thread still open, while the host's thread waits for the module to go (the hang
// the hostile-stores run met). The clean must not send that frame's address bar a message: the
// host's thread would answer it only after the loader lock, which the ping thread holds. The
// clean runs, the entry stays, the host ends (PingUnloadHost.exe --frame as iexplore.exe).
TEST_F(UsagePingTest, TerminationOnThePingThreadLeavesTheHostThreadsAddressBarAlone) {
    // The host takes its Windows version from its name, Windows XP for iexplore.exe.
    ONLY_ON(WinVersion::WinXp);
    const wchar_t ieKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
    SavedRegistryValue ieVersion(HKEY_LOCAL_MACHINE, ieKey, L"Version");
    ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, ieKey, L"Version", L"7.0.5730.13"));
    StoreAutoClean(1);
    DWORD addressBarRecords = 0x01;
    ASSERT_EQ(ERROR_SUCCESS,
              SHSetValueW(HKEY_CURRENT_USER, SettingsKey(L"HistoryClean").c_str(), L"UserSelect",
                          REG_DWORD, &addressBarRecords, sizeof(addressBarRecords)));
    ASSERT_TRUE(SeedTypedUrls({L"http://typed.example/"}));
    std::wstring browser = BinPath(L"iexplore.exe");
    ASSERT_TRUE(CopyFileW(BinPath(L"PingUnloadHost.exe").c_str(), browser.c_str(), FALSE));

    HttpListener listener(PingPort, HttpListener::Mode::Slow, 3000);
    Listen(listener);
    ProgramRun run = RunProgram(browser, L"--frame", 120000);
    DeleteFileW(browser.c_str());
    for (const std::string& line : listener.RequestLines())
        urls_.push_back(UrlOfRequest(line));
    bool typedLeft = !TypedUrls().empty();
    DeleteTypedUrls();
    ASSERT_TRUE(run.started) << "error " << GetLastError();
    ASSERT_TRUE(run.finished) << "the host hung while the module ended on the ping thread";
    EXPECT_EQ(0u, run.exitCode) << "19: the address bar was emptied; see the exit codes in "
                                   "tests/programs/PingUnloadHost.cpp";
    EXPECT_FALSE(typedLeft) << "the automatic clean did not run";
}

// The real module in a fresh process (the identity is read once per process) finds
// "Custom_ID2" as the REG_SZ of 78 bytes that a GUID text makes. It cannot use it: the ping
// carries a zero client GUID, and the value stays as it was.
TEST_F(UsagePingTest, StoredClientIdThatCannotBeUsedGivesZerosAndStaysAsItIs) {
    const wchar_t identityKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    SavedRegistryValue saved(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2");
    const wchar_t text[] = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
    static_assert(sizeof(text) == 78, "38 units and the terminator");
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, identityKey, L"Custom_ID2", REG_SZ, text,
                                 sizeof(text)));

    HttpListener listener(PingPort, HttpListener::Mode::Slow, 3000);
    Listen(listener);
    ProgramRun run = RunProgram(BinPath(L"PingUnloadHost.exe"), L"", 120000);
    ASSERT_TRUE(run.started) << "cannot start PingUnloadHost.exe, error " << GetLastError();
    ASSERT_TRUE(run.finished) << "the host did not finish";
    EXPECT_EQ(0u, run.exitCode) << "0x" << std::hex << run.exitCode;
    std::vector<std::string> lines = listener.RequestLines();
    ASSERT_EQ(1u, lines.size()) << Joined(lines);
    urls_.push_back(UrlOfRequest(lines[0]));
    std::string method;
    PingQuery query;
    ASSERT_TRUE(ParseRequestLine(lines[0], &method, &query)) << lines[0];
    std::string cin = query.Value("cin");
    ASSERT_TRUE(IsIdentityText(cin)) << lines[0];
    // Bytes 0 to 15 of the block, the client GUID, give the first 21 characters.
    EXPECT_EQ(std::string(21, '0'), cin.substr(0, 21)) << lines[0];

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, identityKey, 0, KEY_READ, &key));
    DWORD type = 0;
    BYTE stored[256] = {};
    DWORD size = sizeof(stored);
    LONG status = RegQueryValueExW(key, L"Custom_ID2", nullptr, &type, stored, &size);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    ASSERT_EQ(sizeof(text), size);
    EXPECT_EQ(0, memcmp(text, stored, sizeof(text)));
}

TEST(PingThreadTest, NullRequestEndsAtOnce) {
    EXPECT_EQ(0u, PingThread(nullptr));
}

// The callback as the URL moniker sees it.
TEST(PingBindCallbackTest, QueryInterfaceGivesTheObjectAndItsNegotiateSubObject) {
    PingBindCallback callback;
    IBindStatusCallback* status = &callback;
    IHttpNegotiate* negotiate = &callback;
    void* out = nullptr;

    EXPECT_EQ(S_OK, status->QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(static_cast<void*>(status), out);
    EXPECT_EQ(S_OK, status->QueryInterface(IID_IBindStatusCallback, &out));
    EXPECT_EQ(static_cast<void*>(status), out);
    EXPECT_EQ(S_OK, status->QueryInterface(IID_IHttpNegotiate, &out));
    EXPECT_EQ(static_cast<void*>(negotiate), out);
    EXPECT_NE(static_cast<void*>(status), static_cast<void*>(negotiate));

    // The same answers through the sub-object.
    EXPECT_EQ(S_OK, negotiate->QueryInterface(IID_IBindStatusCallback, &out));
    EXPECT_EQ(static_cast<void*>(status), out);
    EXPECT_EQ(S_OK, negotiate->QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(static_cast<void*>(status), out);

    out = &callback;
    EXPECT_EQ(E_NOINTERFACE, status->QueryInterface(IID_IStream, &out));
    EXPECT_EQ(nullptr, out);
    out = &callback;
    EXPECT_EQ(E_NOINTERFACE, negotiate->QueryInterface(IID_IBinding, &out));
    EXPECT_EQ(nullptr, out);
}

TEST(PingBindCallbackTest, IsNotReferenceCounted) {
    PingBindCallback callback;
    IBindStatusCallback* status = &callback;
    IHttpNegotiate* negotiate = &callback;
    EXPECT_EQ(1u, status->AddRef());
    EXPECT_EQ(1u, status->AddRef());
    EXPECT_EQ(1u, status->Release());
    EXPECT_EQ(1u, negotiate->AddRef());
    EXPECT_EQ(1u, negotiate->Release());
}

TEST(PingBindCallbackTest, GetBindInfoAsksForAFreshGetWithoutBody) {
    PingBindCallback callback;
    DWORD flags = 0xFFFFFFFF;
    BINDINFO info;
    memset(&info, 0xCD, sizeof(info));
    EXPECT_EQ(S_OK, callback.GetBindInfo(&flags, &info));
    EXPECT_EQ(0x20B0u, flags);
    EXPECT_EQ(static_cast<DWORD>(BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PULLDATA |
                                 BINDF_PRAGMA_NO_CACHE),
              flags);
    EXPECT_EQ(84u, info.cbSize);
    EXPECT_EQ(static_cast<DWORD>(BINDVERB_GET), info.dwBindVerb);
    EXPECT_EQ(nullptr, info.szExtraInfo);
    EXPECT_EQ(static_cast<DWORD>(TYMED_NULL), info.stgmedData.tymed);
    EXPECT_EQ(nullptr, info.stgmedData.pUnkForRelease);
    EXPECT_EQ(0u, info.grfBindInfoF);
    EXPECT_EQ(nullptr, info.szCustomVerb);
    EXPECT_EQ(0u, info.cbstgmedData);
    EXPECT_EQ(nullptr, info.pUnk);
}

TEST(PingBindCallbackTest, PostHandsOverItsBody) {
    PingBindCallback callback;
    const char form[] = "a=1&b=2";
    HGLOBAL body = GlobalAlloc(GMEM_FIXED, sizeof(form) - 1);
    ASSERT_NE(nullptr, body);
    memcpy(body, form, sizeof(form) - 1);
    callback.SetPostBody(body, sizeof(form) - 1);

    DWORD flags = 0;
    BINDINFO info;
    memset(&info, 0xCD, sizeof(info));
    EXPECT_EQ(S_OK, callback.GetBindInfo(&flags, &info));
    EXPECT_EQ(static_cast<DWORD>(BINDVERB_POST), info.dwBindVerb);
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), info.stgmedData.tymed);
    EXPECT_EQ(body, info.stgmedData.hGlobal);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IBindStatusCallback*>(&callback)),
              info.stgmedData.pUnkForRelease);
    EXPECT_EQ(sizeof(form) - 1, info.cbstgmedData);

    LPWSTR headers = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, callback.BeginningTransaction(L"http://localhost/", L"", 0, &headers));
    ASSERT_NE(nullptr, headers);
    EXPECT_STREQ(L"Content-Type: application/x-www-form-urlencoded\r\n", headers);
    CoTaskMemFree(headers);
}

TEST(PingBindCallbackTest, NegotiateClearsHeadersAndRefusesNullPointers) {
    PingBindCallback callback;
    EXPECT_EQ(E_POINTER, callback.BeginningTransaction(L"http://localhost/", L"", 0, nullptr));
    EXPECT_EQ(E_POINTER, callback.OnResponse(200, L"", L"", nullptr));
    LPWSTR headers = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, callback.BeginningTransaction(L"http://localhost/", L"", 0, &headers));
    EXPECT_EQ(nullptr, headers);
    headers = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, callback.OnResponse(200, L"", L"", &headers));
    EXPECT_EQ(nullptr, headers);
}

TEST(PingBindCallbackTest, StatusCallsGoOnAndLeaveThePriorityAlone) {
    PingBindCallback callback;
    LONG priority = 77;
    EXPECT_EQ(S_OK, callback.OnStartBinding(0, nullptr));
    EXPECT_EQ(S_OK, callback.GetPriority(&priority));
    EXPECT_EQ(77, priority);
    EXPECT_EQ(S_OK, callback.OnLowResource(0));
    EXPECT_EQ(S_OK, callback.OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L""));
    EXPECT_EQ(S_OK, callback.OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, nullptr));
    EXPECT_EQ(S_OK, callback.OnObjectAvailable(IID_IUnknown, nullptr));
    EXPECT_EQ(S_OK, callback.OnStopBinding(S_OK, nullptr));
}

} // namespace
