// One round of the robustness program: the host's lasting parts, what a fault run does, and the
// round that seeds the stores, drives the module through its export and checks what it left.
// Its seeding, its moves in the dialogs, its checks and its fault scenario are each in a file of
// their own beside this one.
#pragma once

#include <windows.h>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "records/RecordList.h"
#include "testbed/BrowserFrame.h"
#include "testbed/ButtonModule.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/HostileContent.h"
#include "testbed/HttpListener.h"
#include "testbed/ImportFaults.h"
#include "testbed/SearchBoxComponent.h"
#include "testbed/SharedMemoryBlock.h"
#include "testbed/StoreImage.h"
#include "testbed/TestBrowser.h"
#include "programs/hostile/RunOptions.h"
#include "programs/hostile/StoreImages.h"
#include "programs/hostile/StorePlaces.h"

namespace hostile {

// The host's lasting parts: one toolbar with its search box, one site, the history stand-in.

struct Host {
    Places places;
    HostToolbar toolbar{300};
    ComPtr<HostSite> site = HostSite::Make();
    std::unique_ptr<SearchBoxComponent> searchBox;
    std::unique_ptr<HttpListener> listener;
    bool nt6 = IsNt6();
    bool browser = NamedAsBrowser();
    LONG siteReferences = 0; // ours and the search box's, between runs

    Host() {
        toolbar.SetCurrentUser(SiteUser);
        site->SetToolbarWindow(toolbar.Window());
        site->SetCurrentUser(SiteUser);
        searchBox = std::make_unique<SearchBoxComponent>(site.Get(), toolbar.Window(),
                                                         std::vector<std::wstring>());
        siteReferences = site->RefCount();
    }
};

// ---------------------------------------------------------------------------------------------
// What a fault run does and which calls fail in it.

enum class Scenario { OpenClose, CleanAll, DeleteAddress, AutoClean, DeleteSearch };
const char* const ScenarioNames[] = {"dialog", "clean", "address", "auto", "search"};

struct FaultCase {
    Scenario scenario;
    std::string mode; // "count", "calls", "persistent", "oom" or "protected"
    FaultPlan plan;

    std::string Replay() const {
        std::string text = std::string(NamedAsBrowser() ? "--browser " : "") +
                           "--faults --scenario " + ScenarioNames[static_cast<int>(scenario)] +
                           " --mode " + mode;
        if (!plan.function.empty()) text += " --function " + plan.function;
        if (!plan.persistent || plan.kind == FaultKind::Allocations)
            text += " --k " + std::to_string(plan.first);
        return text;
    }
};

// ---------------------------------------------------------------------------------------------
// One round.

class Round {
public:
    Round(Host& host, const Options& options, long index, unsigned seed,
          const FaultCase* fault = nullptr)
        : host_(host), places_(host.places), options_(options), index_(index),
          content_(seed ^ (0x9E3779B9u * static_cast<unsigned>(index + 1))), fault_(fault),
          traces_(fault != nullptr) {}

    // The exit code of the round's first failure, or Passed.
    int Run(OnButtonMessageProc* onButtonMessage);

    // For runs that drive the module themselves (--concurrency): the stores emptied and seeded
    // with the fault runs' modest traces and their sentinels, and every image taken; then the
    // interactive clean of the selection expected (its calls to the URL history counted here
    // only when it runs in this process); the module unloaded, its frames ended; and the checks
    // of the stores, references and heap, which give the exit code of the first failure.
    void PrepareTraces();
    void ExpectInteractiveClean(DWORD selection, bool inThisProcess);
    void Unload(HMODULE module);
    int CheckAfterUnload();
    // Ticks the clean dialog's categories of the selection, and only those.
    static void SetCategories(HWND clean, DWORD selection);
    // Counts a failure and prints it with the round's number (the first twelve).
    void Fail(int code, const std::string& message);
    int Failure() const { return failure_; }
    // ": 2500 address-bar items, 3 rows deleted", for a report of what made a round slow.
    std::string Summary() const;
    // The failable calls the module made in a fault run.
    const FaultTally& Tally() const { return tally_; }

private:
    struct Sentinel {
        HKEY root;
        std::wstring path;
        bool valuesOnly;
        KeyImage image;
    };

    // Seeding
    void SeedIeVersion();
    void SeedTypedUrls();
    void SeedDeletedUrls(const std::wstring& toolbarKey);
    void SeedSettings(const std::wstring& toolbarKey, bool own);
    void SeedIntelliForms();
    void SeedProtectedStorage();
    void SeedOstle();
    void SeedVisitHistory();
    void SeedSharedMemory();
    void SeedUserFiles();
    void SeedCache();
    void SeedFrames();
    void SeedSearchBox();
    void SeedStores(); // the random stores of a hostile round
    void SeedTraces(); // the modest, well-formed traces of a fault run
    void AddSentinelKey(HKEY root, const std::wstring& path);
    void WatchKey(HKEY root, const std::wstring& path, bool valuesOnly = false);
    void WatchFile(const std::wstring& path);

    void Prepare();

    // Driving
    void InCleanDialog(HWND clean);
    void InScenario(HWND clean);
    void InRecordDialog(HWND records, RecordKind kind);
    void OpenRecords(HWND clean, int linkId);
    void TakeUntouchedImages();
    void EndFramesAndButtons(OnButtonMessageProc onButtonMessage);

    // Checking
    void CheckRecordChanges(const std::string& store, const std::vector<std::wstring>& before,
                            const std::vector<std::wstring>& after,
                            const std::vector<std::wstring>& mayGo,
                            const std::vector<std::wstring>& mayCome = {});
    void CheckSentinels();
    void CheckCleanedStores();
    void CheckKeyGone(HKEY root, const std::wstring& path, bool deletable, const char* store);
    void CheckKeyUntouched(const KeyImage& before, HKEY root, const std::wstring& path,
                           const char* store);
    DWORD ReadDword(const std::wstring& subKey, const WCHAR* name, bool* read);

    Host& host_;
    const Places& places_;
    const Options& options_;
    long index_;
    HostileContent content_;
    int failure_ = Passed;
    int failureLines_ = 0;
    const FaultCase* fault_;
    bool traces_; // the modest traces of the fault runs instead of random stores
    FaultTally tally_;
    // The URL history whose ClearHistory calls the checks count, when it is this process's.
    UrlHistoryStandIn* history_ = g_history;

    // What was seeded
    int ieMajor_ = 0;
    bool typedDeletable_ = true;
    std::wstring prefixUrl_; // a typed URL of 2083 units whose one-unit-longer twin is in a box
    bool formKeyDeletable_[3] = {true, true, true}; // Storage1, Storage2, SPW
    bool ostleDeletable_ = true;
    bool visitWellFormed_ = false;
    bool historyFails_ = false;
    std::unique_ptr<SharedMemoryBlock> shared_;
    DWORD sharedUser_ = 0;
    bool sharedUserKnown_ = false;
    std::unique_ptr<BrowserFrame> frames_[2];
    size_t boxItems_ = 0;
    size_t rowsDeleted_ = 0;
    ComPtr<TestBrowser> browser_;
    bool honestSearch_ = true;
    std::vector<Sentinel> sentinels_;
    std::vector<std::pair<std::wstring, FileImage>> fileSentinels_;
    bool customIdExisted_ = false;
    StoredValue customId_;

    // Driving
    bool cleanShown_ = false;
    bool interactive_ = false;
    bool cancelled_ = false;
    DWORD interactiveSelection_ = 0;
    std::vector<std::wstring> deletedFull_; // the whole texts of the address rows deleted
    std::vector<std::vector<std::wstring>> addressBatches_; // the row URLs of each deletion
    std::vector<std::wstring> deletedSearchTexts_;
    std::vector<std::wstring> rowFull_;
    int linkWidth_ = 0;
    bool autoExpected_ = false;
    DWORD autoSelection_ = 0;
    LONG historyClearsBefore_ = 0;

    // Images taken after the record dialogs, before any clean
    KeyImage typedImage_, ostleTyped_[2], formImage_[3], psImage_;
    FileImage visitImage_;
    std::map<std::wstring, std::wstring> visitKept_;
    std::wstring psUserSecurity_;
    CacheKinds cacheImage_;
    std::vector<std::wstring> searchImage_;
};

} // namespace hostile
