#include "tools/bench/TypedUrlBench.h"

#include <windows.h>
#include <shlwapi.h>
#include <string>
#include <vector>

#include "cleaners/TypedUrlStore.h"
#include "env/Handles.h"
#include "env/ToolbarLocations.h"
#include "testbed/TypedUrlSeed.h"

namespace {

constexpr int RecordCount = 25;

std::vector<std::wstring> BenchUrls() {
    std::vector<std::wstring> urls;
    for (int i = 0; i < RecordCount; i++)
        urls.push_back(L"http://www.site" + std::to_wstring(i) + L".example/some/page/" +
                       std::to_wstring(i) + L".html?query=value");
    return urls;
}

std::wstring DeletedUrlsPath() {
    WCHAR toolbarKey[256] = {};
    GetToolbarKeyPath(toolbarKey, 256, nullptr);
    return std::wstring(toolbarKey) + L"\\DeletedUrls";
}

// The store as a fresh process has it: the browser's list full, no deleted list yet.
void ResetStoreState(const std::vector<std::wstring>& urls) {
    SeedTypedUrls(urls);
    SHDeleteKeyW(HKEY_CURRENT_USER, DeletedUrlsPath().c_str());
}

std::wstring ValueName(int i) {
    return L"url" + std::to_wstring(i + 1);
}

// What an application does to store 25 URLs: one key, 25 RegSetValueExW.
void WriteValues(const std::vector<std::wstring>& urls) {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, TypedUrlsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < RecordCount; i++) {
        DWORD size = static_cast<DWORD>((urls[i].size() + 1) * sizeof(WCHAR));
        RegSetValueExW(key.Get(), ValueName(i).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(urls[i].c_str()), size);
    }
}

void QueryValues() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TypedUrlsKey, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    for (int i = 0; i < RecordCount; i++) {
        WCHAR data[2084] = {};
        DWORD size = TypedUrlMaxDataBytes;
        RegQueryValueExW(key.Get(), ValueName(i).c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data), &size);
    }
}

void DeleteValues() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TypedUrlsKey, 0, KEY_SET_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    for (int i = 0; i < RecordCount; i++)
        RegDeleteValueW(key.Get(), ValueName(i).c_str());
}

bool BatchDone(bool newSystem, const std::vector<std::wstring>& urls) {
    if (newSystem) return NumberedValues(DeletedUrlsPath().c_str(), L"") == urls;
    return TypedUrls().empty();
}

} // namespace

void RunTypedUrlBench(BenchReport& report, bool quick) {
    int repetitions = quick ? 5 : 100;
    std::vector<std::wstring> urls = BenchUrls();
    for (BOOL newSystem : {FALSE, TRUE}) {
        Figure& figure = report.Add(
            newSystem ? "TypedUrlStore batch of 25, NT 6 path vs 25 sets"
                      : "TypedUrlStore batch of 25, pre-NT 6 path vs 25 sets",
            newSystem ? "BeginDeletion, 25 MarkDeleted, CommitDeletion (writes DeletedUrls)"
                      : "BeginDeletion, 25 MarkDeleted, CommitDeletion (rewrites TypedURLs)",
            "RegCreateKeyExW + 25 RegSetValueExW");
        int wrong = 0;
        for (int rep = 0; rep < repetitions; rep++) {
            ResetStoreState(urls);
            TypedUrlStore store(newSystem);
            Stopwatch timer;
            store.BeginDeletion();
            for (const std::wstring& url : urls)
                store.MarkDeleted(url.c_str());
            double marked = timer.ElapsedMicroseconds();
            store.CommitDeletion();
            double committed = timer.ElapsedMicroseconds();
            figure.moduleUs.Add(committed);
            figure.Phase("module: BeginDeletion + 25 MarkDeleted").Add(marked);
            figure.Phase("module: CommitDeletion").Add(committed - marked);
            if (!BatchDone(newSystem, urls)) wrong++;

            ResetStoreState(urls);
            timer.Restart();
            WriteValues(urls);
            figure.baselineUs.Add(timer.ElapsedMicroseconds());

            // The other platform calls a commit is made of, on the same full list.
            timer.Restart();
            QueryValues();
            figure.Phase("bare: RegOpenKeyExW + 25 RegQueryValueExW")
                .Add(timer.ElapsedMicroseconds());
            timer.Restart();
            DeleteValues();
            figure.Phase("bare: RegOpenKeyExW + 25 RegDeleteValueW")
                .Add(timer.ElapsedMicroseconds());
        }
        if (wrong)
            report.problems.push_back(std::to_string(wrong) + " batches left the store in another "
                                                              "state than expected");
    }
    DeleteTypedUrls();
    SHDeleteKeyW(HKEY_CURRENT_USER, DeletedUrlsPath().c_str());
}
