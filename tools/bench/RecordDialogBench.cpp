#include "tools/bench/RecordDialogBench.h"

#include <windows.h>
#include <objbase.h>
#include <shlguid.h>
#include <urlhist.h>
#include <wininet.h>
#include <cstdio>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clean/CleanDialog.h"
#include "env/ToolbarLocations.h"
#include "records/CheckImages.h"
#include "records/RecordDeleteDialog.h"
#include "records/RecordList.h"
#include "testbed/AddressBarImages.h"
#include "testbed/BrowserFrame.h"
#include "testbed/DibCanvas.h"
#include "testbed/OwnerDrawRow.h"
#include "testbed/DialogSteps.h"
#include "testbed/HostSite.h"
#include "testbed/HostToolbar.h"
#include "testbed/ShortcutIconSetting.h"
#include "testbed/SiteIconCache.h"
#include "testbed/SolidIcons.h"
#include "testbed/TestBrowser.h"
#include "testbed/TypedUrlSeed.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const wchar_t CleanCaption[] = L"清理上网痕迹";
const wchar_t AddressRecordsCaption[] = L"删除地址栏记录";
constexpr int RecordCount = 25;
constexpr DWORD CacheInfoBytes = 10240;

std::wstring SiteUrl(int i) {
    return L"http://site" + std::to_wstring(i) + L".example/page" + std::to_wstring(i) + L".html";
}

std::vector<std::wstring> BenchUrls() {
    std::vector<std::wstring> urls;
    for (int i = 0; i < RecordCount; i++)
        urls.push_back(SiteUrl(i));
    return urls;
}

std::wstring IconUrl(int i) {
    return L"http://site" + std::to_wstring(i) + L".example/favicon.ico";
}

// The moments of one opening, taken by a hook on the dialog thread's sent messages.
struct OpeningTimes {
    HWND dialog = nullptr;
    double initDone = 0; // WM_INITDIALOG returned: created and filled
    double painted = 0;  // first idle moment with the dialog shown and nothing left to paint
    // Messages sent while the dialog is made: time and count per (nesting depth, message), depth
    // 0 being what the dialog manager sends, depth 1 what the handlers of those send.
    std::map<std::pair<int, UINT>, std::pair<double, int>> sent;
    std::vector<double> starts; // of the messages being handled now, outermost first
};

OpeningTimes* currentOpening = nullptr;

bool NothingToPaint(HWND window) {
    return IsWindowVisible(window) && !GetUpdateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK NoteSentMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && currentOpening && !currentOpening->initDone)
        currentOpening->starts.push_back(NowMicroseconds());
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK WatchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && currentOpening) {
        const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        OpeningTimes& times = *currentOpening;
        if (!times.initDone && !times.starts.empty()) {
            int depth = static_cast<int>(times.starts.size()) - 1;
            auto& [us, count] = times.sent[{depth, sent->message}];
            us += NowMicroseconds() - times.starts.back();
            count++;
            times.starts.pop_back();
        }
        if (sent->message == WM_INITDIALOG && !times.initDone) {
            times.dialog = sent->hwnd;
            times.initDone = NowMicroseconds();
        } else if (sent->message == WM_ENTERIDLE && times.dialog &&
                   reinterpret_cast<HWND>(sent->lParam) == times.dialog && !times.painted) {
            // The dialog manager says its queue is empty: it is up once shown and painted.
            HWND list = GetDlgItem(times.dialog, RecordDeleteDialog::ListViewId);
            if (NothingToPaint(times.dialog) && NothingToPaint(list))
                times.painted = NowMicroseconds();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the dialog's rows need: 25 typed URLs, their titles in the history stand-in, their site
// icons in the cache, a browser frame whose address bar has an image list and is empty (so the
// rows come from the typed-URL list), and a default shortcut icon.
class RecordScene {
public:
    RecordScene() {
        WriteToolbarDword(L"iebar", L"join", 0); // closing the clean dialog sends no ping
        std::vector<std::wstring> urls;
        for (int i = 0; i < RecordCount; i++) {
            urls.push_back(SiteUrl(i));
            history_.SetTitle(SiteUrl(i).c_str(), (L"Page number " + std::to_wstring(i)).c_str());
            if (!SeedSiteIcon(IconUrl(i).c_str(), RGB(10 * i, 100, 200))) ready_ = false;
        }
        if (!SeedTypedUrls(urls)) ready_ = false;
        WCHAR folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        iconFile_ = std::wstring(folder) + L"VelaBenchShortcut.ico";
        if (!WriteSolidIconFile(iconFile_, 16, RGB(200, 30, 30))) ready_ = false;
        shortcutIcon_ = std::make_unique<ShortcutIconSetting>((iconFile_ + L",0").c_str());
        site_->SetBrowser(browser_.Get());
        site_->SetToolbarWindow(toolbar_.Window());
    }
    ~RecordScene() {
        shortcutIcon_.reset();
        DeleteFileW(iconFile_.c_str());
        for (int i = 0; i < RecordCount; i++)
            RemoveSiteIcon(IconUrl(i).c_str());
        DeleteTypedUrls();
    }
    RecordScene(const RecordScene&) = delete;
    RecordScene& operator=(const RecordScene&) = delete;

    bool Ready() const { return ready_ && history_.IsReady() && shortcutIcon_->Applied(); }
    HostSite* Site() { return site_.Get(); }

private:
    bool ready_ = true;
    UrlHistoryStandIn history_;
    BrowserFrame frame_;
    ComPtr<TestBrowser> browser_ = TestBrowser::Make(frame_.Window());
    ComPtr<HostSite> site_ = HostSite::Make();
    HostToolbar toolbar_{300};
    AddressBarImages images_{frame_.AddressBar(), {RGB(0, 0, 255)}};
    std::wstring iconFile_;
    std::unique_ptr<ShortcutIconSetting> shortcutIcon_;
};

// The 25 history look-ups the dialog makes, on one history object made beforehand.
void QueryTitles(IUrlHistoryStg* history) {
    for (int i = 0; i < RecordCount; i++) {
        STATURL stat = {};
        stat.cbSize = sizeof(stat);
        history->QueryUrl(SiteUrl(i).c_str(), 0, &stat);
        CoTaskMemFree(stat.pwcsUrl);
        CoTaskMemFree(stat.pwcsTitle);
    }
}

// The 25 cache look-ups of the site icons' addresses, made beforehand.
void QueryIconEntries(const std::vector<std::wstring>& iconUrls) {
    std::unique_ptr<DWORD[]> buffer(new DWORD[CacheInfoBytes / sizeof(DWORD)]);
    for (const std::wstring& url : iconUrls) {
        auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.get());
        info->dwStructSize = CacheInfoBytes;
        DWORD size = CacheInfoBytes;
        GetUrlCacheEntryInfoW(url.c_str(), info, &size);
    }
}

// The history object as the dialog makes it for each row, with one look-up.
void QueryTitleWithNewObject(const WCHAR* url) {
    ComPtr<IUnknown> object;
    if (FAILED(CoCreateInstance(CLSID_CUrlHistory, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, object.PutVoid())))
        return;
    OleRun(object.Get());
    ComPtr<IUrlHistoryStg> history;
    if (FAILED(object->QueryInterface(IID_IUrlHistoryStg, history.PutVoid()))) return;
    STATURL stat = {};
    stat.cbSize = sizeof(stat);
    history->QueryUrl(url, 0, &stat);
    CoTaskMemFree(stat.pwcsUrl);
    CoTaskMemFree(stat.pwcsTitle);
}

struct Opening {
    OpeningTimes times;
    double shown = 0;    // ShowForOwner called
    double up = 0;       // shown, filled and painted
    double stepRan = 0;  // the step found the dialog
    double returned = 0; // ShowForOwner returned
    double drawUs = 0;   // every row drawn once from the step
    int rowsDrawn = 0;
    int rowsListed = 0;
};

// Sends the dialog WM_DRAWITEM for every row as the list view would when painting, each row
// into a memory bitmap of its size; returns the number of rows drawn.
int DrawRows(HWND records, HWND list) {
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; row++) {
        RECT bounds = {};
        bounds.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
        DibCanvas canvas(bounds.right - bounds.left, bounds.bottom - bounds.top);
        SendDrawRow(records, list, RecordDeleteDialog::ListViewId, row, 0, canvas.Dc(),
                    RECT{0, 0, canvas.Width(), canvas.Height()});
    }
    return count;
}

// Opens the address-bar record dialog over the clean dialog; a step ends it as soon as it is up.
Opening OpenRecordDialog(HWND clean) {
    Opening opening;
    WhenDialogShows(AddressRecordsCaption, [&](HWND records) {
        opening.stepRan = NowMicroseconds();
        HWND list = GetDlgItem(records, RecordDeleteDialog::ListViewId);
        opening.rowsListed = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        // The null display driver gives the windows nothing to paint, so the rows are drawn
        // here the way the list view asks for them, into a memory bitmap, and timed apart.
        Stopwatch drawing;
        opening.rowsDrawn = DrawRows(records, list);
        opening.drawUs = drawing.ElapsedMicroseconds();
        SendMessageW(records, WM_COMMAND, IDCANCEL, 0);
    });
    currentOpening = &opening.times;
    RecordDeleteDialog dialog;
    opening.shown = NowMicroseconds();
    RecordOwner owner = DialogObject<CleanDialog>(clean)->AsRecordOwner();
    dialog.ShowForOwner(&owner, AddressBarRecords);
    opening.returned = NowMicroseconds();
    currentOpening = nullptr;
    CancelDialogSteps();
    opening.up = opening.times.painted ? opening.times.painted : opening.stepRan;
    return opening;
}

void MeasureRound(HWND clean, IUrlHistoryStg* history, const std::vector<std::wstring>& iconUrls,
                  Figure& figure, int* rowsDrawn, int* rowsListed) {
    // The bare look-ups.
    Stopwatch bare;
    QueryTitles(history);
    double titlesUs = bare.ElapsedMicroseconds();
    bare.Restart();
    QueryIconEntries(iconUrls);
    double iconsUs = bare.ElapsedMicroseconds();
    figure.baselineUs.Add(titlesUs + iconsUs);
    figure.Phase("bare: 25 QueryUrl on one history object").Add(titlesUs);
    figure.Phase("bare: 25 GetUrlCacheEntryInfoW of the icon URLs").Add(iconsUs);

    // The module's own look-ups, outside the dialog.
    Stopwatch lookups;
    for (int i = 0; i < RecordCount; i++) {
        WCHAR title[260] = {};
        LookupPageTitle(SiteUrl(i).c_str(), title, 259);
    }
    figure.Phase("module: 25 LookupPageTitle").Add(lookups.ElapsedMicroseconds());
    lookups.Restart();
    for (int i = 0; i < RecordCount; i++)
        UniqueIcon icon(LoadSiteIcon(SiteUrl(i).c_str()));
    figure.Phase("module: 25 LoadSiteIcon").Add(lookups.ElapsedMicroseconds());
    lookups.Restart();
    for (int i = 0; i < RecordCount; i++)
        QueryTitleWithNewObject(SiteUrl(i).c_str());
    figure.Phase("bare: 25 x (CoCreateInstance, OleRun, QueryUrl)")
        .Add(lookups.ElapsedMicroseconds());

    // The parts of the dialog's initialisation that do not depend on the rows.
    lookups.Restart();
    ImageList_Destroy(CreateCheckImageList(clean));
    figure.Phase("module: CreateCheckImageList").Add(lookups.ElapsedMicroseconds());
    lookups.Restart();
    UniqueIcon shortcut(LoadDefaultShortcutIcon());
    figure.Phase("module: LoadDefaultShortcutIcon").Add(lookups.ElapsedMicroseconds());

    // The same dialog without records: what opening costs whatever the rows.
    DeleteTypedUrls();
    Opening empty = OpenRecordDialog(clean);
    figure.Phase("dialog without records: show to WM_INITDIALOG done")
        .Add(empty.times.initDone - empty.shown);
    SeedTypedUrls(BenchUrls());

    // The dialog: shown, filled, painted, then ended by a step at once.
    Opening opening = OpenRecordDialog(clean);
    figure.moduleUs.Add(opening.up - opening.shown);
    figure.Phase("dialog: show to WM_INITDIALOG done (created, filled)")
        .Add(opening.times.initDone - opening.shown);
    figure.Phase("dialog: WM_INITDIALOG done to shown and painted")
        .Add(opening.up - opening.times.initDone);
    figure.Phase("dialog: drawing the 25 rows (not in the figure)").Add(opening.drawUs);
    figure.Phase("dialog: step ran to closed (not in the figure)")
        .Add(opening.returned - opening.stepRan);
    // The costliest messages of the opening, so the report says where its time goes.
    std::vector<std::pair<double, std::string>> costs;
    for (const auto& [key, value] : opening.times.sent) {
        if (key.first > 1) continue;
        char name[96];
        snprintf(name, sizeof(name), "sent, depth %d: message 0x%04X x %d", key.first, key.second,
                 value.second);
        costs.emplace_back(value.first, name);
    }
    std::sort(costs.rbegin(), costs.rend());
    for (size_t i = 0; i < costs.size() && i < 6; i++)
        figure.Phase(costs[i].second).Add(costs[i].first);
    *rowsDrawn = opening.rowsDrawn;
    *rowsListed = opening.rowsListed;
}

} // namespace

void RunRecordDialogBench(BenchReport& report, bool quick) {
    int repetitions = quick ? 3 : 30;
    HRESULT com = CoInitialize(nullptr); // as on the browser's user-interface thread
    Figure& figure =
        report.Add("RecordDeleteDialog open, 25 records vs look-ups",
                   "ShowForOwner(address-bar mode) until the dialog is up, filled and painted",
                   "25 IUrlHistoryStg::QueryUrl + 25 GetUrlCacheEntryInfoW of the favicon URLs");
    {
        RecordScene scene;
        if (!scene.Ready()) report.problems.push_back("the record dialog's scene was not set up");
        ComPtr<IUrlHistoryStg> history;
        CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg,
                         history.PutVoid());
        if (!history) report.problems.push_back("no URL history object for the baseline");
        std::vector<std::wstring> iconUrls;
        for (int i = 0; i < RecordCount; i++)
            iconUrls.push_back(IconUrl(i));

        HHOOK before =
            SetWindowsHookExW(WH_CALLWNDPROC, NoteSentMessage, nullptr, GetCurrentThreadId());
        HHOOK hook =
            SetWindowsHookExW(WH_CALLWNDPROCRET, WatchSentMessages, nullptr, GetCurrentThreadId());
        int rowsDrawn = 0;
        int rowsListed = 0;
        bool cleanShown = false;
        WhenDialogShows(CleanCaption, [&](HWND clean) {
            cleanShown = true;
            // The first round makes what lives for the process (fonts, classes, the history
            // server's module); it is not counted.
            Figure warmUp;
            MeasureRound(clean, history.Get(), iconUrls, warmUp, &rowsDrawn, &rowsListed);
            for (int rep = 0; rep < repetitions && history; rep++)
                MeasureRound(clean, history.Get(), iconUrls, figure, &rowsDrawn, &rowsListed);
            PostMessageW(clean, WM_COMMAND, IDCANCEL, 0);
        });
        CleanDialog clean;
        scene.Site()->AddRef(); // ShowOverBrowser releases the reference its caller added
        clean.ShowOverBrowser(scene.Site());
        CancelDialogSteps();
        if (hook) UnhookWindowsHookEx(hook);
        if (before) UnhookWindowsHookEx(before);
        if (!cleanShown) report.problems.push_back("the clean dialog did not open");
        if (rowsListed != RecordCount)
            report.problems.push_back("the record dialog listed " + std::to_string(rowsListed) +
                                      " rows instead of 25");
        figure.note = "rows listed " + std::to_string(rowsListed) + ", rows drawn per opening " +
                      std::to_string(rowsDrawn);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}
