// The round's course: the module loaded, its buttons made and pressed, the clean dialog driven,
// the buttons and frames ended, the module unloaded, and everything checked.
#include "programs/hostile/Round.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "clean/CleanSettings.h"
#include "testbed/DialogSteps.h"
#include "testbed/HostInfo.h"
#include "testbed/ModalScript.h"
#include "testbed/ProgramReport.h"
#include "testbed/UrlHistoryStandIn.h"
#include "programs/hostile/RunReports.h"

namespace hostile {

namespace {

HWND g_progressWindow;

void CALLBACK PressCancel(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (IsWindow(g_progressWindow)) PostMessageW(g_progressWindow, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

void Round::SetCategories(HWND clean, DWORD selection) {
    for (const CleanCategory& category : CategoryTable)
        CheckDlgButton(clean, category.checkBoxId, (selection & category.bit) ? 1 : 0);
}

void Round::TakeUntouchedImages() {
    typedImage_ = TakeKeyImage(HKEY_CURRENT_USER, TypedUrlsKey);
    ostleTyped_[0] = TakeKeyImage(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\TypedURLs");
    ostleTyped_[1] =
        TakeKeyImage(HKEY_CURRENT_USER, std::wstring(OstleUserKey) + L"\\IE7TypedURLs");
    static const WCHAR* const names[] = {L"Storage1", L"Storage2", L"SPW"};
    for (int i = 0; i < 3; i++)
        formImage_[i] =
            TakeKeyImage(HKEY_CURRENT_USER, std::wstring(IntelliFormsKey) + L"\\" + names[i]);
    psImage_ = TakeKeyImage(HKEY_CURRENT_USER, places_.psDataKey);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
    visitImage_ = TakeFileImage(places_.visitFile);
    visitKept_.clear();
    if (visitWellFormed_) visitKept_ = KeptVisitSections(places_.visitFile);
    cacheImage_ = ListCacheKinds();
    searchImage_ = host_.searchBox->Records();
    if (g_history) historyClearsBefore_ = g_history->ClearHistoryCalls();
}

void Round::InCleanDialog(HWND clean) {
    if (fault_) return InScenario(clean);
    cleanShown_ = true;
    // The warm-up round goes every way that makes lasting objects: both record dialogs, and a
    // clean under the progress dialog.
    bool warmUp = index_ < 0;
    if (warmUp || content_.Chance(80)) OpenRecords(clean, AddressLinkId);
    if (warmUp || content_.Chance(80)) OpenRecords(clean, SearchLinkId);
    Step("clean dialog");
    TakeUntouchedImages();
    interactive_ = warmUp || content_.Chance(10);
    if (interactive_) {
        interactiveSelection_ = warmUp ? HistoryBit | TemporaryFilesBit : content_.Pick(0x80);
        SetCategories(clean, interactiveSelection_);
        cancelled_ = !warmUp && content_.Chance(20);
        if (cancelled_) {
            // Cancel pressed at some moment of the run: during the first steps, or too late.
            UINT delay = 10 + content_.Pick(900);
            WhenDialogShows(ProgressCaption, [delay](HWND progress) {
                g_progressWindow = progress;
                SetTimer(nullptr, 0, delay, PressCancel);
            });
        }
        Step("interactive clean");
        ClickControl(clean, CleanNowId);
        CancelDialogSteps();
        if (!cancelled_ && (interactiveSelection_ & AddressBarBit))
            for (int f = 0; f < 2; f++)
                if (frames_[f] && SendMessageW(frames_[f]->AddressBar(), CB_GETCOUNT, 0, 0) != 0)
                    Fail(StoreNotEmptied, "address bar " + std::to_string(f + 1) +
                                              " still holds entries after the clean");
    }
    Step("clean dialog");
    SetCategories(clean, content_.Pick(0x80));
    if (content_.Chance(30)) PressButton(clean, AutoCleanCheckBoxId);
    PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
}

DWORD Round::ReadDword(const std::wstring& subKey, const WCHAR* name, bool* read) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    std::wstring path = places_.toolbarKey + L"\\" + subKey;
    *read =
        SHGetValueW(HKEY_CURRENT_USER, path.c_str(), name, nullptr, &value, &size) == ERROR_SUCCESS;
    return *read ? value : 0;
}

// Ends the frames and buttons in one of the orders a browser closes in; returns when the
// automatic clean, if any, has run.
void Round::EndFramesAndButtons(OnButtonMessageProc onButtonMessage) {
    if (fault_) {
        // The browser closes its last frame, then the toolbar ends the button: a clean at once
        // where the automatic clean is armed and offered.
        bool read = false;
        autoSelection_ = ReadDword(L"HistoryClean", L"UserSelect", &read) & 0x7F & ~SearchBit;
        autoExpected_ = fault_->scenario == Scenario::AutoClean && host_.browser && !host_.nt6;
        frames_[0].reset();
        HostInfo info(L"Clear", 300);
        Step("ending the buttons");
        onButtonMessage(info.Get(), 1, ButtonDestroy, 0, 0);
        return;
    }
    // Another program may rewrite the settings meanwhile.
    if (content_.Chance(20)) {
        UniqueRegKey clean = CreateKey(HKEY_CURRENT_USER, places_.toolbarKey + L"\\HistoryClean");
        content_.WriteBrokenValue(clean.Get(), content_.Chance(50) ? L"UserSelect" : L"AutoClean");
    }
    bool read = false;
    bool autoClean = ReadDword(L"HistoryClean", L"AutoClean", &read) != 0;
    autoSelection_ = ReadDword(L"HistoryClean", L"UserSelect", &read) & 0x7F;
    autoSelection_ &= ~SearchBit; // the automatic run has no host connection
    bool supported = host_.browser && !host_.nt6 && ieMajor_ <= 7;

    // Frames left when the last button ends: none (the clean runs at once) or two (nothing
    // then; the unload decides again over what is left). One frame would be hooked, and the
    // hook keeps the module loaded for the rest of the process, as a browser's last frame
    // would: that way is left to the tests of the close watcher.
    if (!frames_[1] || content_.Chance(50)) {
        frames_[1].reset();
        frames_[0].reset();
    }
    int open = (frames_[0] ? 1 : 0) + (frames_[1] ? 1 : 0);
    bool bothThroughUnload = open == 2 && content_.Chance(30);
    autoExpected_ = autoClean && supported && !bothThroughUnload;

    HostInfo info(L"Clear", 300);
    Step("ending the buttons");
    onButtonMessage(info.Get(), 2, ButtonDestroy, 0, 0);
    onButtonMessage(info.Get(), 1, ButtonDestroy, 0, 0);
    // Of two, one may stay until the module is unloaded.
    if (!bothThroughUnload) {
        frames_[1].reset();
        if (content_.Chance(50)) frames_[0].reset();
    }
}

std::string Round::Summary() const {
    return ": " + std::to_string(boxItems_) + " address-bar items, " +
           std::to_string(rowsDeleted_) + " rows deleted";
}

void Round::Prepare() {
    // A run that failed may have left references behind: each run is counted on its own.
    host_.siteReferences = host_.site->RefCount();
    Step("emptying the stores");
    ResetStores(places_);
    host_.site->ClearCalls();
    if (traces_) {
        Step("seeding the traces");
        SeedTraces();
    } else {
        SeedStores();
    }
    StoredValues identity = ReadStoredValues(IdentityKey, HKEY_LOCAL_MACHINE);
    customIdExisted_ = identity.count(L"Custom_ID2") != 0;
    if (customIdExisted_) customId_ = identity[L"Custom_ID2"];
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, places_.visitFile.c_str());
    Step("taking the sentinels' images");
    for (Sentinel& sentinel : sentinels_) {
        if (sentinel.valuesOnly)
            sentinel.image.values = ReadStoredValues(sentinel.path.c_str(), sentinel.root);
        else
            sentinel.image = TakeKeyImage(sentinel.root, sentinel.path);
    }
    for (auto& [path, image] : fileSentinels_)
        image = TakeFileImage(path);
    // A failed call may keep every dialog from opening: what stays untouched then is all of it.
    // The same holds for runs that drive the module on threads of their own.
    if (traces_) TakeUntouchedImages();
}

void Round::PrepareTraces() {
    traces_ = true;
    Prepare();
}

void Round::ExpectInteractiveClean(DWORD selection, bool inThisProcess) {
    interactive_ = true;
    interactiveSelection_ = selection;
    if (!inThisProcess) history_ = nullptr;
}

int Round::Run(OnButtonMessageProc* onButtonMessage) {
    Prepare();
    Step("loading the module");
    HMODULE module = LoadButtonModule(onButtonMessage, options_.dll);
    if (!module) return ModuleNotLoaded;
    if (!*onButtonMessage) return ExportMissing;
    NoteModuleImage(module);
    OnButtonMessageProc send = *onButtonMessage;
    if (fault_) {
        if (InstallImportFaults(module) <= 0) return TestbedNotBuilt;
        SetFaultPlan(fault_->plan);
    }

    Step("creating the buttons");
    HostInfo info(L"Clear", 300);
    LONG buttons = fault_ ? 1 : 1 + static_cast<LONG>(content_.Pick(2));
    for (LONG id = 1; id <= buttons; id++)
        send(info.Get(), id, content_.Chance(50) ? ButtonCreateAndShow : ButtonCreate,
             host_.site->AsWParam(), 0);
    for (unsigned extra = fault_ ? 0 : content_.Pick(4); extra > 0; extra--) {
        static const LONG messages[] = {ButtonUserChanged, ButtonFilesChanged, ButtonVisibility,
                                        ButtonMessageTwelve};
        send(info.Get(), 1 + static_cast<LONG>(content_.Pick(buttons)), messages[content_.Pick(4)],
             content_.Pick(2), 0);
    }

    if (!fault_ || fault_->scenario != Scenario::AutoClean) {
        Step("pressing the button");
        WhenDialogShows(CleanCaption, [this](HWND clean) { InCleanDialog(clean); });
        send(info.Get(), 1, ButtonPressed, 0, 0);
        CancelDialogSteps();
        // A failed call may keep the dialog from opening at all.
        if (!cleanShown_ && !fault_) Fail(NoDialogShown, "the clean dialog did not open");
    }

    EndFramesAndButtons(send);
    for (const WCHAR* caption :
         {CleanCaption, AddressRecordsCaption, SearchRecordsCaption, ProgressCaption})
        if (HWND left = FindThreadDialog(caption)) {
            Fail(ModuleWindowLeft, "the dialog \"" + Utf8(caption) + "\" is still there");
            DestroyWindow(left);
        }
    Step("unloading the module");
    *onButtonMessage = nullptr;
    Unload(module);
    if (fault_) {
        tally_ = TakeFaultTally();
        SetFaultPlan(FaultPlan());
    }
    return CheckAfterUnload();
}

void Round::Unload(HMODULE module) {
    FreeLibrary(module);
    // A ping still under way keeps the module until its thread ends, which the platform's own
    // time-outs bound when the endpoint or the connection stalls: wait up to 100 s for it.
    WCHAR path[MAX_PATH] = {};
    DWORD unloadStart = GetTickCount();
    while (GetModuleFileNameW(module, path, MAX_PATH) && GetTickCount() - unloadStart < 100000)
        Sleep(50);
    DWORD unloadMs = GetTickCount() - unloadStart;
    if (GetModuleFileNameW(module, path, MAX_PATH)) {
        Report("requests the endpoint has read: %zu\n",
               host_.listener ? host_.listener->RequestLines().size() : 0);
        ReportModuleStacks();
        Fail(ModuleStayedLoaded, "the module is still loaded 100 s after FreeLibrary");
    } else if (unloadMs > 10000) {
        Report("round %ld: the module went %lu s after FreeLibrary (a ping under way)\n", index_,
               static_cast<unsigned long>(unloadMs / 1000));
    }
    frames_[0].reset();
    frames_[1].reset();
    g_moduleStart = g_moduleEnd = nullptr;
}

int Round::CheckAfterUnload() {
    Step("checking the stores");
    CheckSentinels();
    CheckCleanedStores();
    host_.site->SetBrowser(nullptr);
    if (browser_ && browser_->RefCount() != 1)
        Fail(ReferencesLeaked, "the browser holds " + std::to_string(browser_->RefCount()) +
                                   " references, expected 1");
    if (host_.site->RefCount() != host_.siteReferences)
        Fail(ReferencesLeaked, "the site holds " + std::to_string(host_.site->RefCount()) +
                                   " references, expected " + std::to_string(host_.siteReferences));
    if (!HeapValidate(GetProcessHeap(), 0, nullptr))
        Fail(HeapDamaged, "the process heap does not validate");
    shared_.reset();
    return failure_;
}

} // namespace hostile
