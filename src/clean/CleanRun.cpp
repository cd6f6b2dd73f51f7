// The clean run: the interactive worker walking the checked categories under the progress
// dialog, and the automatic run of the stored selection when the browser closes.
#include "clean/CleanDialog.h"

#include <shlwapi.h>
#include <utility>

#include "clean/CleanSettings.h"
#include "cleaners/AddressBars.h"
#include "cleaners/BrowserDataCleaners.h"
#include "cleaners/SearchBox.h"
#include "cleaners/UrlCacheCleaner.h"
#include "env/SystemQueries.h"
#include "host/Module.h"

namespace {

// One run at a time for the user, across every browser process. Never waited on: while a
// handle is open the mutex exists, and a run that finds it existing gives up.
const WCHAR CleanMutexName[] = L"CleanMutex_{0A01E936-1B31-4785-BC02-EB6B5FDA6AC5}";

struct CleanStep {
    DWORD bit;
    const WCHAR* message;
    bool pause;
};

// In the order of the category table.
const CleanStep CleanSteps[] = {
    {0x01, L"正在清理IE地址栏记录...", true},
    {0x02, L"正在清理浏览历史记录...", true},
    {0x04, L"正在清理自动填写的表单资料...", true},
    {0x08, L"正在清理工具栏搜索记录...", true},
    {0x10, L"正在清理网页中保存的密码...", true},
    {0x20, L"正在清理IE临时文件...", false},
    {0x40, L"正在清理Cookie...", true},
};
static_assert(sizeof(CleanSteps) / sizeof(CleanSteps[0]) == CategoryCount);

int CheckBoxOf(DWORD bit) {
    for (const CleanCategory& category : CategoryTable) {
        if (category.bit == bit) return category.checkBoxId;
    }
    return 0;
}

} // namespace

void CleanDialog::StartClean() {
    bool any = false;
    for (const CleanCategory& category : CategoryTable) {
        if (IsDlgButtonChecked(window, category.checkBoxId) == BST_CHECKED) {
            any = true;
            break;
        }
    }
    if (!any) return;

    // A worker left from a cancelled run still holds the mutex and would end this run's
    // progress dialog when it finishes: let it finish first.
    WaitForWorker();

    InterlockedExchange(&cancelRequested_, 0);
    progress_.BeginRun();

    // The worker keeps the module loaded for its whole life, so a host that unloads the
    // module meanwhile never leaves the thread running unmapped code: no reference, no run.
    HANDLE thread = nullptr;
    if (AddModuleReference(&workerModule_))
        thread = CreateThread(nullptr, 0, CleanWorker, this, 0, nullptr);
    if (!thread) {
        ReleaseModuleReference(workerModule_);
        workerModule_ = nullptr;
        return;
    }
    worker_.Reset(thread);
    progress_.ShowProgress(window);
}

void CleanDialog::WaitForWorker() {
    HANDLE thread = worker_.Get();
    if (!thread) return;
    // The worker sends messages to windows of this thread (check boxes, the status line,
    // address bars): keep answering them while waiting, or both threads would stop.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    worker_.Reset();
}

DWORD WINAPI CleanWorker(void* parameter) {
    auto* dialog = static_cast<CleanDialog*>(parameter);
    if (!dialog) return 0;
    HMODULE module = std::exchange(dialog->workerModule_, nullptr);
    {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, CleanMutexName);
        if (!mutex) {
            dialog->progress_.EndProgress();
        } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            dialog->progress_.EndProgress();
        } else {
            dialog->RunCleanSteps();
            CloseHandle(mutex);
        }
    }
    ExitThreadReleasingModule(module, 0);
    return 0;
}

int CleanDialog::RunCleanSteps() {
    for (const CleanStep& step : CleanSteps) {
        if (IsDlgButtonChecked(window, CheckBoxOf(step.bit)) != BST_CHECKED) continue;
        progress_.SetStatusText(step.message);
        if (step.pause) Sleep(200);
        if (cancelRequested_) {
            progress_.EndProgress();
            return 0;
        }
        RunCleaner(step.bit);
    }
    progress_.EndProgress();
    return 0;
}

void CleanDialog::RunCleaner(DWORD bit) {
    switch (bit) {
    case 0x01:
        CleanAddressBar();
        break;
    case 0x02:
        CleanHistory();
        break;
    case 0x04:
        CleanFormData();
        break;
    case 0x08:
        ClearSearchRecords(site_.Get());
        break;
    case 0x10:
        CleanSavedPasswords();
        break;
    case 0x20:
        CleanTemporaryFiles();
        break;
    case 0x40:
        CleanCookies();
        break;
    default:
        break;
    }
}

void CleanDialog::RunAutoClean() {
    // Owned, so that the mutex goes with this run whatever way it ends: a handle left open
    // would keep every later clean of the user from running.
    UniqueHandleValue mutex(CreateMutexW(nullptr, FALSE, CleanMutexName));
    if (!mutex) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) CleanSavedSelection();
}

void CleanDialog::CleanSavedSelection() {
    const WCHAR* toolbarTypedUrls = LoadedIeMajorVersion >= 7 ? L"IE7TypedURLs" : L"TypedURLs";
    SelectionMask selection = 0;
    if (!ReadStoredSelection(&selection)) selection = 0;

    if (selection & 0x01) {
        CleanAddressBar();
        WCHAR key[MAX_PATH] = {};
        wnsprintfW(key, MAX_PATH - 1, L"%s\\%s", L"Software\\Corvane\\Ostle", toolbarTypedUrls);
        SHDeleteKeyW(HKEY_CURRENT_USER, key);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, HotKeysKey);
    }
    if (selection & 0x02) CleanHistory();
    if (selection & 0x04) CleanFormData();
    // The automatic run has no host connection, so the search records stay.
    if ((selection & 0x08) && site_) ClearSearchRecords(site_.Get());
    if (selection & 0x10) CleanSavedPasswords();
    if (selection & 0x20) CleanTemporaryFiles();
    if (selection & 0x40) CleanCookies();
}
