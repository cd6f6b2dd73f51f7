// A host that loads the built VelaClear.dll from its own folder and drives it with a long run
// of random button messages, the way a toolbar with several buttons, users and browser windows
// would over a long session: random ids, message codes (defined and undefined), host records
// (valid ones, none, and blocks too short that end at a reserved page) and sites (none, and
// testbed sites of several kinds). Every clean dialog that opens is ended at once by a watcher
// thread, sometimes after it has opened the record dialog from one of its links, and sometimes
// after a few more random calls made from inside the dialog's modal loop, as a toolbar that
// handles its own events meanwhile would make them (they may press, or end, that same button).
//
// Usage: RobustnessHost.exe [seed [calls]]. The seed is printed first, so a failing run can be
// replayed with it. Exit code 0 when the run ended with no crash, every refused call answered
// 0, and the process's handles, GDI objects, windows and the sites' and browsers' references
// back where they were after the warm-up round; the exit codes below name what went wrong and
// the lines printed give the actual values.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "env/ToolbarLocations.h"
#include "host/ButtonHost.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostInfo.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/LeakProbes.h"
#include "testbed/ModalScript.h"
#include "testbed/ProgramReport.h"
#include "testbed/SearchBoxComponent.h"
#include "testbed/SharedMemoryBlock.h"
#include "testbed/TestBrowser.h"

namespace {

enum ExitCode {
    Passed = 0,
    ModuleNotLoaded = 10,
    ExportMissing = 11,
    TestbedNotBuilt = 12,
    WrongResult = 20,
    NoDialogShown = 21,
    HandlesLeaked = 30,
    GdiObjectsLeaked = 31,
    WindowsLeaked = 32,
    SiteReferencesLeaked = 33,
    BrowserReferencesLeaked = 34,
    UnloadFailed = 40,
};

const long DefaultCalls = 100000;
const long WarmUpCalls = 1000;
const LONG MaxButtonId = 6;
const wchar_t CleanCaption[] = L"清理上网痕迹";
const int AddressLinkId = 1189;
const int SearchLinkId = 1190;
const int SelectAllId = 1199;
const int InvertId = 1200;
const int DefaultSelectionId = 1201;
const DWORD DialogRetryMs = 1000;
const long MaxReportedResults = 10;
// Asks the host window for nested calls (wparam: how many).
const UINT NestedCallsMessage = WM_APP + 1;
const unsigned NestedPercent = 30;
const unsigned MaxNestedCalls = 6;

// The call in progress, for the report of a crash inside the module.
struct CurrentCall {
    const char* phase = "set-up";
    long index = -1;
    const char* infoKind = "";
    LONG id = 0;
    LONG msg = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

CurrentCall g_call;

void ReportCall(const char* what, const CurrentCall& call) {
    Report("%s: %s call %ld: info %s, id %ld, msg %ld, wparam 0x%lx, lparam 0x%lx\n", what,
           call.phase, call.index, call.infoKind, static_cast<long>(call.id),
           static_cast<long>(call.msg), static_cast<unsigned long>(call.wparam),
           static_cast<unsigned long>(call.lparam));
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    Report("crash: exception 0x%08lx at %p\n",
           static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
           exception->ExceptionRecord->ExceptionAddress);
    ReportCall("crash", g_call);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::wstring WindowClass(HWND window) {
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && WindowClass(window) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The visible dialogs among the thread's top-level windows.
std::vector<HWND> ThreadDialogs(DWORD threadId) {
    std::vector<HWND> dialogs;
    EnumThreadWindows(threadId, CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// Plays the user in front of every dialog the host thread shows. An enabled dialog is ended
// with the Cancel command or a close; some clean dialogs first get one of their visible record
// links clicked, so the record dialog opens over them and is ended in its turn, and some get
// nested host calls asked for first; most get their selection buttons clicked. Everything goes by
// posted messages, which the dialogs' modal loops dispatch on the host thread in the order they
// were posted.
class DialogWatcher {
public:
    DialogWatcher(DWORD hostThread, unsigned seed)
        : hostThread_(hostThread), random_(seed), thread_([this] { Run(); }) {}
    ~DialogWatcher() { Stop(); }
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void SetLinkPercent(int percent) { linkPercent_ = percent; }
    // Some clean dialogs get a request for nested calls posted to this window first.
    void SetNestedCallsWindow(HWND window) { nestedCallsWindow_ = window; }
    long CleanDialogs() const { return cleanDialogs_; }
    long RecordDialogs() const { return recordDialogs_; }

private:
    struct Seen {
        bool linked = false;
        bool sawDisabled = false;
        bool ended = false;
        DWORD tick = 0;
    };

    void Run() {
        while (!stop_) {
            for (HWND dialog : ThreadDialogs(hostThread_))
                Act(dialog);
            for (auto it = seen_.begin(); it != seen_.end();)
                it = IsWindow(it->first) ? std::next(it) : seen_.erase(it);
            Sleep(1);
        }
    }

    void Act(HWND dialog) {
        auto found = seen_.find(dialog);
        bool first = found == seen_.end();
        Seen& seen = seen_[dialog];
        DWORD now = GetTickCount();
        if (first) {
            if (WindowText(dialog) == CleanCaption)
                cleanDialogs_++;
            else
                recordDialogs_++;
        }
        if (!IsWindowEnabled(dialog)) {
            seen.sawDisabled = true;
            return;
        }
        if (seen.ended) {
            // Still there long after it was told to end: tell it again.
            if (now - seen.tick >= DialogRetryMs) End(dialog, seen, now);
            return;
        }
        if (seen.linked) {
            // Wait until the record dialog has taken over and given the dialog back.
            if (seen.sawDisabled || now - seen.tick >= DialogRetryMs) End(dialog, seen, now);
            return;
        }
        if (first && WindowText(dialog) == CleanCaption && nestedCallsWindow_ &&
            random_() % 100 < NestedPercent)
            PostMessageW(nestedCallsWindow_, NestedCallsMessage, 1 + random_() % MaxNestedCalls, 0);
        if (first && WindowText(dialog) == CleanCaption) ClickSelectionButtons(dialog);
        if (first && WindowText(dialog) == CleanCaption &&
            static_cast<int>(random_() % 100) < linkPercent_) {
            std::vector<int> links;
            for (int id : {AddressLinkId, SearchLinkId})
                if (IsWindowVisible(GetDlgItem(dialog, id))) links.push_back(id);
            if (!links.empty()) {
                // In turn, so that a few dialogs open both record dialogs.
                int id = links[linkTurn_++ % links.size()];
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, STN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
                seen.linked = true;
                seen.tick = now;
                return;
            }
        }
        End(dialog, seen, now);
    }

    // "全选", "反选" and "默认推荐" a few times, so that the dialog saves a changed selection
    // when it closes; the clean-now button and the automatic-clean box are left alone.
    void ClickSelectionButtons(HWND dialog) {
        const int buttons[] = {SelectAllId, InvertId, DefaultSelectionId};
        for (unsigned clicks = random_() % 4; clicks > 0; clicks--) {
            int id = buttons[random_() % 3];
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        }
    }

    void End(HWND dialog, Seen& seen, DWORD now) {
        if (random_() % 2)
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        else
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        seen.ended = true;
        seen.tick = now;
    }

    DWORD hostThread_;
    std::mt19937 random_;
    std::atomic<bool> stop_{false};
    std::atomic<int> linkPercent_{25};
    std::atomic<HWND> nestedCallsWindow_{nullptr};
    unsigned linkTurn_ = 0;
    std::atomic<long> cleanDialogs_{0};
    std::atomic<long> recordDialogs_{0};
    std::map<HWND, Seen> seen_;
    std::thread thread_;
};

struct InfoChoice {
    const char* kind;
    const ButtonHostInfo* info;
    bool valid;
};

struct MessageChoice {
    LONG msg;
    int weight;
};

// Weights out of 200. Message 3 opens a dialog and is by far the slowest call (some 50 ms
// under Wine against well below 1 ms): it keeps a small share.
const MessageChoice Messages[] = {
    {ButtonCreate, 20},
    {ButtonCreateAndShow, 20},
    {ButtonPressed, 1},
    {ButtonDropDown, 22},
    {ButtonMessageTwelve, 17},
    {ButtonVisibility, 30},
    {ButtonUserChanged, 20},
    {ButtonFilesChanged, 20},
    {ButtonDestroy, 10},
    {0, 6},
    {5, 5},
    {14, 5},
    {20, 5},
    {22, 5},
    {0x111, 5},
    {-1, 4},
    {0x7FFFFFFF, 5},
};

class RandomHost {
public:
    RandomHost(OnButtonMessageProc onButtonMessage, unsigned seed)
        : onButtonMessage_(onButtonMessage), mainRandom_(seed), nestedRandom_(~seed) {
        for (const MessageChoice& choice : Messages)
            totalWeight_ += choice.weight;
    }

    void AddInfo(const char* kind, const ButtonHostInfo* info, bool valid) {
        infos_.push_back({kind, info, valid});
    }
    void AddSite(HostSite* site) { sites_.push_back(site); }
    void AddNotification(const NMTOOLBARW* notification) { notifications_.push_back(notification); }

    // One call with the given values; false when its result breaks the host contract.
    bool Send(const InfoChoice& info, LONG id, LONG msg, WPARAM wparam, LPARAM lparam) {
        g_call.infoKind = info.kind;
        g_call.id = id;
        g_call.msg = msg;
        g_call.wparam = wparam;
        g_call.lparam = lparam;
        // An accepted call makes or ends the button before anything else; a nested call from
        // inside this one (while its dialog is open) may change that again, and then counts.
        bool accepted = info.valid && id != 0;
        if (accepted) created_[id] = msg != ButtonDestroy;
        LONG result = onButtonMessage_(info.info, id, msg, wparam, lparam);
        // A refused record or id gets 0 whatever the message; a destroy that is accepted gets 1.
        // Other results are the button's own answers, which this run does not judge.
        LONG expected = 0;
        if (accepted && msg != ButtonDestroy) return true;
        if (accepted) expected = 1;
        if (result == expected) return true;
        if (++wrongResults_ <= MaxReportedResults) {
            ReportCall("wrong result", g_call);
            Report("wrong result: got %ld, expected %ld\n", static_cast<long>(result),
                   static_cast<long>(expected));
        }
        return false;
    }

    bool SendRandom() {
        LONG id = Pick(100) < 2 ? 0 : static_cast<LONG>(1 + Pick(MaxButtonId));
        LONG msg = PickMessage();
        const InfoChoice& info = PickInfo();
        // Until a button exists, whatever message comes first carries the site (or null) in
        // wparam; messages 1 and 2 always do.
        bool needsSite = msg == ButtonCreate || msg == ButtonCreateAndShow || !created_[id];
        WPARAM wparam = needsSite ? PickSite() : PickWParam(msg);
        LPARAM lparam = msg == ButtonDropDown ? PickNotification() : PickAny();
        return Send(info, id, msg, wparam, lparam);
    }

    // Random calls made from inside a modal loop of the module, as a toolbar that reacts to
    // its own events while the clean dialog is open would make them.
    bool SendNested(int count) {
        const CurrentCall outer = g_call;
        std::mt19937* outerRandom = std::exchange(random_, &nestedRandom_);
        g_call.phase = "nested";
        bool good = true;
        for (int i = 0; i < count; i++) {
            g_call.index = nestedCalls_++;
            good = SendRandom() && good;
        }
        random_ = outerRandom;
        g_call = outer;
        if (!good) nestedFailures_++;
        return good;
    }
    long NestedCalls() const { return nestedCalls_; }
    long NestedFailures() const { return nestedFailures_; }

    // Every possible id gets message 21 with a valid record.
    bool DestroyAll(const InfoChoice& info) {
        bool good = true;
        for (LONG id = 1; id <= MaxButtonId; id++)
            good = Send(info, id, ButtonDestroy, 0, 0) && good;
        return good;
    }

    void ClearSiteCalls() {
        for (HostSite* site : sites_)
            if (site) site->ClearCalls();
    }

private:
    unsigned Pick(unsigned range) { return (*random_)() % range; }

    LONG PickMessage() {
        int roll = static_cast<int>(Pick(totalWeight_));
        for (const MessageChoice& choice : Messages) {
            if (roll < choice.weight) return choice.msg;
            roll -= choice.weight;
        }
        return ButtonMessageTwelve;
    }

    const InfoChoice& PickInfo() { return infos_[Pick(static_cast<unsigned>(infos_.size()))]; }

    WPARAM PickSite() {
        HostSite* site = sites_[Pick(static_cast<unsigned>(sites_.size()))];
        return site ? site->AsWParam() : 0;
    }

    WPARAM PickWParam(LONG msg) {
        if (msg == ButtonVisibility) {
            const WPARAM flags[] = {0, 1, 5, 0xFFFFFFFF};
            return flags[Pick(4)];
        }
        return PickAny();
    }

    LPARAM PickNotification() {
        const NMTOOLBARW* notification =
            notifications_[Pick(static_cast<unsigned>(notifications_.size()))];
        return reinterpret_cast<LPARAM>(notification);
    }

    LPARAM PickAny() {
        switch (Pick(4)) {
        case 0:
            return 0;
        case 1:
            return 1;
        default:
            return static_cast<LPARAM>((*random_)());
        }
    }

    OnButtonMessageProc onButtonMessage_;
    // Nested calls draw from a generator of their own, so that the main sequence of a seed
    // stays the same however the watcher's timing places them.
    std::mt19937 mainRandom_;
    std::mt19937 nestedRandom_;
    std::mt19937* random_ = &mainRandom_;
    int totalWeight_ = 0;
    std::vector<InfoChoice> infos_;
    std::vector<HostSite*> sites_;
    std::vector<const NMTOOLBARW*> notifications_;
    bool created_[MaxButtonId + 1] = {};
    long wrongResults_ = 0;
    long nestedCalls_ = 0;
    long nestedFailures_ = 0;
};

LRESULT CALLBACK NestedCallsProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == NestedCallsMessage) {
        if (auto* host = reinterpret_cast<RandomHost*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            host->SendNested(static_cast<int>(wparam));
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// A message-only window of the host thread that makes nested calls when asked.
HWND CreateNestedCallsWindow(RandomHost* host) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = NestedCallsProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelaRobustnessHost";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    return window;
}

NMTOOLBARW DropDownNotification(const HostToolbar& toolbar, WORD commandId) {
    NMTOOLBARW notification = {};
    notification.hdr.hwndFrom = toolbar.Window();
    notification.hdr.idFrom = GetDlgCtrlID(toolbar.Window());
    notification.hdr.code = TBN_DROPDOWN;
    notification.iItem = commandId;
    notification.rcButton = toolbar.ButtonRect(commandId);
    return notification;
}

struct Counts {
    ResourceSnapshot resources;
    std::map<uintptr_t, DWORD> gdiObjects;
    std::vector<LONG> siteRefs;
    std::vector<LONG> browserRefs;
};

int Run(unsigned seed, long calls) {
    Report("seed %u, %ld calls\n", seed, calls);
    // Each clean dialog that closes sends the usage ping, which starts a download: hundreds of
    // them would fill the run with network threads. The module reads the switch in the
    // registry of this process's Windows version, which this write uses too.
    if (!WriteToolbarDword(L"iebar", L"join", 0)) Report("cannot turn the usage ping off\n");
    OnButtonMessageProc onButtonMessage = nullptr;
    HMODULE module = LoadButtonModule(&onButtonMessage);
    if (!module) return ModuleNotLoaded;
    if (!onButtonMessage) return ExportMissing;

    int failure = Passed;
    {
        // The toolbar publishes user 3; one toolbar confirms it, the other confirms nobody.
        SharedMemoryBlock shared;
        shared.SetUserNumber(3);
        shared.SetCompanion(0x55);
        HostToolbar toolbarOne({300, 301});
        toolbarOne.SetCurrentUser(3);
        HostToolbar toolbarTwo({302});
        BrowserFrame frameOne;
        frameOne.AddEntries({L"http://one.example/", L"http://two.example/page"});
        BrowserFrameLayout banded;
        banded.placement = AddressBarPlacement::UnderAddressBand;
        BrowserFrame frameTwo(banded);
        if (!shared.IsValid() || !toolbarOne.Window() || !toolbarTwo.Window() ||
            !frameOne.AddressBar() || !frameTwo.AddressBar())
            return TestbedNotBuilt;

        ComPtr<TestBrowser> browserOne = TestBrowser::Make(frameOne.Window());
        ComPtr<TestBrowser> browserTwo = TestBrowser::Make(frameTwo.Window());
        ComPtr<TestBrowser> browserNoFrame = TestBrowser::Make(nullptr);
        browserNoFrame->SetFrameWindowResult(E_FAIL);

        // Toolbar, user, browser over a frame with address-bar entries, and a search box.
        ComPtr<HostSite> full = HostSite::Make();
        full->SetToolbarWindow(toolbarOne.Window());
        full->SetCurrentUser(3);
        full->SetBrowser(browserOne.Get());
        SearchBoxComponent searchBox(full.Get(), toolbarOne.Window(), {L"alpha", L"beta"});
        // Another toolbar, a user it does not confirm, a frame with an address band.
        ComPtr<HostSite> second = HostSite::Make();
        second->SetToolbarWindow(toolbarTwo.Window());
        second->SetCurrentUser(7);
        second->SetBrowser(browserTwo.Get());
        // A browser whose frame window cannot be had: the dialog has no owner.
        ComPtr<HostSite> frameless = HostSite::Make();
        frameless->SetToolbarWindow(toolbarOne.Window());
        frameless->SetBrowser(browserNoFrame.Get());
        // The browser query fails outright.
        ComPtr<HostSite> failing = HostSite::Make();
        failing->SetToolbarWindow(toolbarTwo.Window());
        failing->SetCurrentUser(3);
        failing->SetBrowserQueryResult(E_FAIL);
        // No toolbar window and no browser (E_NOINTERFACE).
        ComPtr<HostSite> bare = HostSite::Make();

        std::wstring longName(400, L'n');
        HostInfo clearOne(L"Clear", 300);
        HostInfo clearTwo(L"Clear", 302);
        HostInfo unnamed(L"", 301);
        HostInfo nameless(nullptr, 999);
        HostInfo longNamed(longName.c_str(), 0);
        ShortHostInfo shortOne(1);
        ShortHostInfo shortHeader(34);
        ShortHostInfo shortHalf(200);
        ShortHostInfo shortByOne(ButtonHostInfoSize - 1);
        const NMTOOLBARW dropOne = DropDownNotification(toolbarOne, 300);
        const NMTOOLBARW dropTwo = DropDownNotification(toolbarTwo, 302);

        RandomHost host(onButtonMessage, seed);
        host.AddInfo("none", nullptr, false);
        host.AddInfo("short(1)", shortOne.Get(), false);
        host.AddInfo("short(34)", shortHeader.Get(), false);
        host.AddInfo("short(200)", shortHalf.Get(), false);
        host.AddInfo("short(275)", shortByOne.Get(), false);
        for (int i = 0; i < 3; i++)
            host.AddInfo("Clear/300", clearOne.Get(), true);
        host.AddInfo("Clear/302", clearTwo.Get(), true);
        host.AddInfo("empty/301", unnamed.Get(), true);
        host.AddInfo("null/999", nameless.Get(), true);
        host.AddInfo("long/0", longNamed.Get(), true);
        for (HostSite* site : {static_cast<HostSite*>(nullptr), full.Get(), full.Get(),
                               second.Get(), frameless.Get(), failing.Get(), bare.Get()})
            host.AddSite(site);
        for (const NMTOOLBARW* notification :
             {static_cast<const NMTOOLBARW*>(nullptr), &dropOne, &dropTwo})
            host.AddNotification(notification);
        const InfoChoice destroyInfo = {"Clear/300", clearOne.Get(), true};

        std::vector<HostSite*> sites = {full.Get(), second.Get(), frameless.Get(), failing.Get(),
                                        bare.Get()};
        std::vector<TestBrowser*> browsers = {browserOne.Get(), browserTwo.Get(),
                                              browserNoFrame.Get()};
        const char* const siteNames[] = {"full", "second", "frameless", "failing", "bare"};
        const char* const browserNames[] = {"one", "two", "no frame"};
        auto takeCounts = [&] {
            FinishPainting();
            Counts counts;
            counts.resources = TakeResourceSnapshot();
            counts.gdiObjects = LiveGdiObjects();
            for (HostSite* site : sites)
                counts.siteRefs.push_back(site->RefCount());
            for (TestBrowser* browser : browsers)
                counts.browserRefs.push_back(browser->RefCount());
            return counts;
        };

        // References are compared with the very start: with every button gone, the module holds
        // none, warm-up or not.
        const Counts initial = takeCounts();
        UniqueWindow nestedCalls(CreateNestedCallsWindow(&host));
        if (!nestedCalls) return TestbedNotBuilt;
        DialogWatcher watcher(GetCurrentThreadId(), seed ^ 0x9E3779B9u);
        watcher.SetNestedCallsWindow(nestedCalls.Get());

        // Warm-up: every site through every defined message, the record dialog opened from
        // both links, then random calls; first use creates what lives for the process.
        g_call.phase = "warm-up";
        watcher.SetLinkPercent(100);
        bool good = true;
        for (HostSite* site : sites) {
            const InfoChoice info = {"Clear/300", clearOne.Get(), true};
            const LONG id = 1;
            good = host.Send(info, id, ButtonCreateAndShow, site->AsWParam(), 0) && good;
            good = host.Send(info, id, ButtonVisibility, 1, 0) && good;
            good = host.Send(info, id, ButtonVisibility, 0, 0) && good;
            good =
                host.Send(info, id, ButtonDropDown, 0, reinterpret_cast<LPARAM>(&dropOne)) && good;
            for (LONG msg : {ButtonMessageTwelve, ButtonUserChanged, ButtonFilesChanged,
                             ButtonPressed, ButtonPressed, ButtonPressed})
                good = host.Send(info, id, msg, 0, 0) && good;
            good = host.DestroyAll(destroyInfo) && good;
        }
        watcher.SetLinkPercent(25);
        for (long i = 0; i < WarmUpCalls; i++) {
            g_call.index = i;
            good = host.SendRandom() && good;
        }
        good = host.DestroyAll(destroyInfo) && good;
        host.ClearSiteCalls();
        long warmUpDialogs = watcher.CleanDialogs();
        GrowDisplayDcCache();
        Counts before = takeCounts();

        g_call.phase = "run";
        DWORD runStart = GetTickCount();
        for (long i = 0; i < calls; i++) {
            g_call.index = i;
            good = host.SendRandom() && good;
            if (i % 1000 == 999) host.ClearSiteCalls();
        }
        Report("the run took %lu ms\n", static_cast<unsigned long>(GetTickCount() - runStart));
        g_call.phase = "end";
        good = host.DestroyAll(destroyInfo) && good;
        host.ClearSiteCalls();
        Counts after = takeCounts();
        watcher.Stop();

        long runDialogs = watcher.CleanDialogs() - warmUpDialogs;
        Report("clean dialogs: %ld in the warm-up, %ld in the run; record dialogs: %ld; "
               "nested calls: %ld\n",
               warmUpDialogs, runDialogs, watcher.RecordDialogs(), host.NestedCalls());
        Report("before: %s\n", before.resources.Describe().c_str());
        Report("after:  %s\n", after.resources.Describe().c_str());
        Report("%s", DescribeGdiDifference(before.gdiObjects, after.gdiObjects).c_str());
        for (size_t i = 0; i < sites.size(); i++)
            if (initial.siteRefs[i] != after.siteRefs[i])
                Report("site \"%s\": %ld references at the start, %ld at the end\n", siteNames[i],
                       static_cast<long>(initial.siteRefs[i]),
                       static_cast<long>(after.siteRefs[i]));
        for (size_t i = 0; i < browsers.size(); i++)
            if (initial.browserRefs[i] != after.browserRefs[i])
                Report("browser \"%s\": %ld references at the start, %ld at the end\n",
                       browserNames[i], static_cast<long>(initial.browserRefs[i]),
                       static_cast<long>(after.browserRefs[i]));

        // A leaked handle keeps its slot, so the lowest free slot can only climb; handles that
        // other parts of the process close meanwhile may lower it.
        if (!good || host.NestedFailures() > 0)
            failure = WrongResult;
        else if (runDialogs == 0 || watcher.RecordDialogs() == 0)
            failure = NoDialogShown;
        else if (after.resources.handleProbe > before.resources.handleProbe)
            failure = HandlesLeaked;
        else if (after.resources.gdiObjects != before.resources.gdiObjects)
            failure = GdiObjectsLeaked;
        else if (after.resources.threadWindows != before.resources.threadWindows)
            failure = WindowsLeaked;
        else if (after.siteRefs != initial.siteRefs)
            failure = SiteReferencesLeaked;
        else if (after.browserRefs != initial.browserRefs)
            failure = BrowserReferencesLeaked;
    }
    g_call.phase = "unload";
    if (!FreeLibrary(module)) {
        Report("FreeLibrary failed, error %lu\n", GetLastError());
        if (failure == Passed) failure = UnloadFailed;
    }
    Report("exit %d\n", failure);
    return failure;
}

} // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(ReportCrash);
    unsigned seed = argc > 1 ? static_cast<unsigned>(strtoul(argv[1], nullptr, 0))
                             : static_cast<unsigned>(GetTickCount());
    long calls = argc > 2 ? strtol(argv[2], nullptr, 0) : DefaultCalls;
    // As on the browser's user-interface thread, COM is initialised around the whole session.
    HRESULT com = CoInitialize(nullptr);
    int result = Run(seed, calls);
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}
