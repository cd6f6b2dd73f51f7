// The fault scenarios: their modest, well-formed traces, the user's moves in each, and the runs
// of every mode over them.
#include "programs/hostile/Round.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include <cstdio>
#include <random>

#include "host/ButtonHost.h"
#include "testbed/DialogSteps.h"
#include "testbed/KeySecurity.h"
#include "testbed/ModalScript.h"
#include "testbed/ProgramReport.h"
#include "testbed/UrlCacheSeed.h"
#include "programs/hostile/FaultRuns.h"
#include "programs/hostile/RunReports.h"

namespace hostile {

// What a browser of a few days leaves, in every store the module cleans, with the same sentinels
// beside each as the hostile rounds: the same every run, so that the k-th call is the same call.
void Round::SeedTraces() {
    const bool autoScenario = fault_ && fault_->scenario == Scenario::AutoClean;
    content_.WriteString(CreateKey(HKEY_LOCAL_MACHINE, IeMachineKey).Get(), L"Version",
                         L"7.0.5730.13");
    ieMajor_ = 7;

    std::vector<std::wstring> typed;
    UniqueRegKey typedKey = CreateKey(HKEY_CURRENT_USER, TypedUrlsKey);
    for (int n = 1; n <= 6; n++) {
        typed.push_back(L"http://typed" + std::to_wstring(n) + L".example/" + content_.Word(6));
        content_.WriteString(typedKey.Get(), L"url" + std::to_wstring(n), typed.back());
    }
    typedKey.Reset();
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IeUserKey) + L"\\TypedURLsKept");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IeUserKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IeUserKey, true);

    // Two earlier deletions, which NT 6 keeps apart from the typed list.
    UniqueRegKey deleted = CreateKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\DeletedUrls");
    content_.WriteString(deleted.Get(), L"1", typed[4]);
    content_.WriteString(deleted.Get(), L"2", typed[5]);
    deleted.Reset();
    AddSentinelKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\DeletedUrlsKept");

    DWORD all = 0x7F, autoClean = autoScenario ? 1 : 0, join = options_.pingPort ? 1 : 0;
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\HistoryClean").c_str(), L"UserSelect",
                REG_DWORD, &all, sizeof(all));
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\HistoryClean").c_str(), L"AutoClean",
                REG_DWORD, &autoClean, sizeof(autoClean));
    SHSetValueW(HKEY_CURRENT_USER, (places_.toolbarKey + L"\\iebar").c_str(), L"join", REG_DWORD,
                &join, sizeof(join));
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.toolbarKey).Get(), L"VelaKept",
                         content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\HistoryCleanKept");
    WatchKey(HKEY_CURRENT_USER, places_.toolbarKey, true);
    WatchKey(HKEY_CURRENT_USER, places_.otherToolbarKey);

    for (const WCHAR* name : {L"Storage1", L"Storage2", L"SPW"}) {
        UniqueRegKey key =
            CreateKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\" + name);
        std::vector<BYTE> blob = content_.Bytes(64);
        RegSetValueExW(key.Get(), content_.Word(40).c_str(), 0, REG_BINARY, blob.data(),
                       static_cast<DWORD>(blob.size()));
    }
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\Storage3");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, IntelliFormsKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, IntelliFormsKey, true);

    content_.AddTree(HKEY_CURRENT_USER, places_.psDataKey, 2, 2, false);
    AddSentinelKey(HKEY_CURRENT_USER,
                   places_.psTypeKey + L"\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    content_.WriteString(CreateKey(HKEY_CURRENT_USER, places_.psTypeKey).Get(), L"VelaKept",
                         content_.Url());
    WatchKey(HKEY_CURRENT_USER, places_.psUserKey, true);
    psUserSecurity_ =
        KeySecuritySddl(HKEY_CURRENT_USER, places_.psUserKey.c_str(), DACL_SECURITY_INFORMATION);
    WatchKey(HKEY_CURRENT_USER, places_.psTypeKey, true);

    for (const WCHAR* name : {L"TypedURLs", L"IE7TypedURLs"})
        content_.WriteString(
            CreateKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\" + name).Get(), L"url1",
            content_.Url());
    AddSentinelKey(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\Settings");

    MakeFolders(places_.visitFolder);
    std::string visits = "[general]\r\nshown=1\r\n[frequentlyVisit]\r\nhttp://a.example/=3\r\n"
                         "[recent]\r\nhttp://b.example/=1\r\n";
    WriteFileBytes(places_.visitFile, std::vector<BYTE>(visits.begin(), visits.end()));
    visitWellFormed_ = true;
    WriteFileBytes(places_.visitFolder + L"\\visitHistory.ini.bak", content_.Bytes(200));
    WatchFile(places_.visitFolder + L"\\visitHistory.ini.bak");

    shared_ = std::make_unique<SharedMemoryBlock>();
    std::vector<BYTE> block(80, 0);
    memcpy(&block[ToolbarSharedUserOffset], &SiteUser, sizeof(SiteUser));
    shared_->WriteBytes(block.data(), 80);
    sharedUser_ = SiteUser;
    sharedUserKnown_ = true;
    SeedUserFiles();

    for (int i = 1; i <= 3; i++)
        SeedCacheEntry((L"http://c" + std::to_wstring(i) + L".example/page").c_str());
    for (int i = 1; i <= 2; i++)
        SeedCookie((L"Cookie:user@c" + std::to_wstring(i) + L".example/").c_str());
    SeedHistoryEntry(L"Visited: user@http://v1.example/");

    frames_[0] = std::make_unique<BrowserFrame>();
    std::vector<std::wstring> entries = typed;
    entries.push_back(L"http://other.example/");
    BrowserFrame::AddEntries(frames_[0]->AddressBar(), entries);
    boxItems_ = entries.size();
    browser_ = TestBrowser::Make(frames_[0]->Window());
    host_.site->SetBrowser(browser_.Get());

    host_.searchBox->SetRecords({L"weather", L"train times", L"recipes", L"news"});
    host_.searchBox->SetListAnswer(SearchListAnswer::Honest);
    honestSearch_ = true;
}

// A fault run's user: one scenario's moves, the same every time.
void Round::InScenario(HWND clean) {
    cleanShown_ = true;
    if (fault_->scenario == Scenario::DeleteAddress) OpenRecords(clean, AddressLinkId);
    if (fault_->scenario == Scenario::DeleteSearch) OpenRecords(clean, SearchLinkId);
    Step("clean dialog");
    TakeUntouchedImages();
    if (fault_->scenario == Scenario::CleanAll) {
        interactive_ = true;
        interactiveSelection_ = 0x7F;
        SetCategories(clean, interactiveSelection_);
        Step("interactive clean");
        ClickControl(clean, CleanNowId);
        Step("clean dialog");
    }
    PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
}

// The traces of every fault run come from this seed, so that the k-th call is the same call.
const unsigned FaultTraceSeed = 20261209;

int RunFaultCase(Host& host, const Options& options, const FaultCase& fault, long number,
                 FaultTally* tally) {
    snprintf(g_faultReplay, sizeof(g_faultReplay), "%s", fault.Replay().c_str());
    g_progress.round = number;
    OnButtonMessageProc onButtonMessage = nullptr;
    Round round(host, options, 0, FaultTraceSeed, &fault);
    int code = round.Run(&onButtonMessage);
    // A thread the module left running past its unload would crash once the slow endpoint
    // answers: give it that long inside the run.
    if (options.pingDelayMs) {
        Step("waiting for the endpoint's answer");
        Sleep(options.pingDelayMs + 2000);
    }
    g_progress.started = 0;
    if (code != Passed)
        Report("run %ld failed, first failed call %s: replay with %s\n", number,
               round.Tally().firstFailure.empty() ? "none" : round.Tally().firstFailure.c_str(),
               g_faultReplay);
    g_faultReplay[0] = 0;
    if (tally) *tally = round.Tally();
    return code;
}

// Counts each chosen scenario's failable calls in a run without failures, which must pass, then
// makes the runs of the chosen modes: every k, every function the scenario calls, every first
// failing allocation, the protected profile.
int RunFaults(Host& host, const Options& options) {
    if (!options.function.empty() && !IsFailableImport(options.function)) {
        Report("\"%s\" is no import the fault runs can make fail\n", options.function.c_str());
        return BadArguments;
    }
    auto wants = [&](const char* mode) { return options.mode.empty() || options.mode == mode; };
    std::vector<FaultCase> cases;
    for (int s = 0; s < static_cast<int>(std::size(ScenarioNames)); s++) {
        if (!options.scenario.empty() && options.scenario != ScenarioNames[s]) continue;
        auto scenario = static_cast<Scenario>(s);
        FaultCase count = {scenario, "count", {FaultKind::None, options.function}};
        FaultTally tally;
        if (int code = RunFaultCase(host, options, count, -1, &tally)) return code;
        Report("%s: %ld failable calls%s, %ld allocations, %zu functions\n", ScenarioNames[s],
               tally.calls, options.function.empty() ? "" : (" of " + options.function).c_str(),
               tally.allocations, tally.functions.size());
        auto addEveryK = [&](const char* mode, FaultKind kind, long total, bool persistent) {
            for (long k = options.k ? options.k : 1; k <= (options.k ? options.k : total); k++)
                cases.push_back({scenario, mode, {kind, options.function, k, persistent}});
        };
        if (wants("calls")) addEveryK("calls", FaultKind::Calls, tally.calls, false);
        if (wants("persistent"))
            for (const std::string& function : tally.functions)
                cases.push_back({scenario, "persistent", {FaultKind::Calls, function, 1, true}});
        if (wants("oom") && options.function.empty())
            addEveryK("oom", FaultKind::Allocations, tally.allocations, true);
        if (wants("protected") && options.function.empty())
            cases.push_back({scenario, "protected", {FaultKind::Protected, "", 0, false}});
    }
    if (cases.empty()) {
        Report("no fault run matches the scenario and mode asked for\n");
        return BadArguments;
    }
    if (options.sample > 0 && options.sample < static_cast<long>(cases.size())) {
        std::mt19937 random(options.seed);
        std::shuffle(cases.begin(), cases.end(), random);
        cases.resize(options.sample);
    }
    Report("%zu fault runs\n", cases.size());
    int result = Passed;
    long failed = 0;
    DWORD start = GetTickCount();
    for (size_t i = std::max(0L, options.first); i < cases.size(); i++) {
        if (int code = RunFaultCase(host, options, cases[i], static_cast<long>(i), nullptr)) {
            failed++;
            if (result == Passed) result = code;
            if (!options.keepGoing) break;
        }
        if ((i + 1) % 100 == 0)
            Report("%zu runs in %lu s\n", i + 1,
                   static_cast<unsigned long>((GetTickCount() - start) / 1000));
    }
    Report("fault runs: %zu, failed %ld, in %lu s\n", cases.size(), failed,
           static_cast<unsigned long>((GetTickCount() - start) / 1000));
    return result;
}

} // namespace hostile
