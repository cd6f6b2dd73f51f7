#include "tools/bench/UrlCacheBench.h"

#include <windows.h>
#include <wininet.h>
#include <cstdio>
#include <memory>
#include <string>

#include "cleaners/UrlCacheCleaner.h"
#include "testbed/UrlCacheSeed.h"

// The platform's own bulk purge. WinINet exports it, but the SDK headers of this toolchain do not
// declare it.
extern "C" BOOL WINAPI FreeUrlCacheSpaceW(LPCWSTR cachePath, DWORD size, DWORD filter);

namespace {

// One cookie for every CookieEvery entries; the rest are ordinary pages with a cached file.
constexpr int CookieEvery = 4;
// Larger than any record the seeded entries make: the bare loop never has to grow it.
constexpr DWORD BareBufferBytes = 64 * 1024;
// The seeded cache may not take longer than this to build before repetitions are cut.
constexpr double SeedBudgetUs = 150e6;

enum Contender { TemporaryFiles, Cookies, BareLoop, FreeSpace, ContenderCount };

const char* const ContenderNames[ContenderCount] = {"CleanTemporaryFiles", "CleanCookies",
                                                    "bare loop", "FreeUrlCacheSpaceW"};

int CookieCount(int size) {
    return (size + CookieEvery - 1) / CookieEvery;
}

// Seeds size entries; returns how many the cache took.
int SeedCache(int size) {
    int seeded = 0;
    for (int i = 0; i < size; i++) {
        WCHAR name[80];
        bool ok;
        if (i % CookieEvery == 0) {
            swprintf(name, 80, L"Cookie:user@c%d.example/", i);
            ok = SeedCookie(name);
        } else {
            swprintf(name, 80, L"http://s%d.example/p%d.htm", i % 97, i);
            ok = SeedCacheEntry(name);
        }
        if (ok) seeded++;
    }
    return seeded;
}

// The loop an application writes against the documented API: one buffer that holds any entry,
// every entry enumerated and deleted. With deleteEntries false it only enumerates.
int BareUrlCacheLoop(bool deleteEntries) {
    std::unique_ptr<BYTE[]> block(new BYTE[BareBufferBytes]);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(block.get());
    DWORD size = BareBufferBytes;
    HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry, &size);
    if (!find) return 0;
    int visited = 0;
    do {
        visited++;
        if (deleteEntries) DeleteUrlCacheEntryW(entry->lpszSourceUrlName);
        size = BareBufferBytes;
    } while (FindNextUrlCacheEntryW(find, entry, &size));
    FindCloseUrlCache(find);
    return visited;
}

void RunContender(Contender contender) {
    switch (contender) {
    case TemporaryFiles:
        CleanTemporaryFiles();
        break;
    case Cookies:
        CleanCookies();
        break;
    case BareLoop:
        BareUrlCacheLoop(true);
        break;
    case FreeSpace:
        FreeUrlCacheSpaceW(nullptr, 100, 0);
        break;
    default:
        break;
    }
}

struct SizeResult {
    Samples us[ContenderCount];
    Samples deleted[ContenderCount];
    Samples seedUs;
    Samples moduleEnumerationUs; // CleanUrlCache with a mode that deletes nothing
    Samples bareEnumerationUs;
    int seeded = 0;
};

} // namespace

void RunUrlCacheBench(BenchReport& report, bool quick) {
    std::vector<int> sizes = quick ? std::vector<int>{300} : std::vector<int>{1000, 5000, 20000};
    for (int size : sizes) {
        int repetitions = quick ? 2 : 5;
        SizeResult result;
        for (int rep = 0; rep < repetitions; rep++) {
            // Each contender starts on a freshly seeded cache; the order turns every repetition
            // so that no contender always runs on the cache another one just emptied.
            for (int turn = 0; turn < ContenderCount; turn++) {
                auto contender = static_cast<Contender>((turn + rep) % ContenderCount);
                ClearUrlCache();
                Stopwatch seeding;
                result.seeded = SeedCache(size);
                result.seedUs.Add(seeding.ElapsedMicroseconds());
                int before = static_cast<int>(ListCacheEntries().size());
                if (turn == 0) {
                    Stopwatch enumeration;
                    CleanUrlCache(2);
                    result.moduleEnumerationUs.Add(enumeration.ElapsedMicroseconds());
                    enumeration.Restart();
                    BareUrlCacheLoop(false);
                    result.bareEnumerationUs.Add(enumeration.ElapsedMicroseconds());
                }
                Stopwatch timer;
                RunContender(contender);
                result.us[contender].Add(timer.ElapsedMicroseconds());
                result.deleted[contender].Add(before - static_cast<int>(ListCacheEntries().size()));
            }
            printf("url cache %d entries: repetition %d of %d done (seeding %.1f s)\n", size,
                   rep + 1, repetitions, result.seedUs.Values().back() / 1e6);
            fflush(stdout);
            // A size whose seeding is slow keeps fewer repetitions, but at least three.
            double spent = 0;
            for (double us : result.seedUs.Values())
                spent += us;
            if (rep + 1 >= 3 && spent > SeedBudgetUs) break;
        }
        ClearUrlCache();

        if (result.seeded != size)
            report.problems.push_back("the cache took " + std::to_string(result.seeded) + " of " +
                                      std::to_string(size) + " seeded entries");
        std::string sizeText = std::to_string(size);
        for (Contender module : {TemporaryFiles, Cookies}) {
            for (Contender baseline : {BareLoop, FreeSpace}) {
                Figure& figure =
                    report.Add(std::string(ContenderNames[module]) + "/" + sizeText + " vs " +
                                   ContenderNames[baseline],
                               std::string(ContenderNames[module]) + " on " + sizeText +
                                   " entries (1 in " + std::to_string(CookieEvery) + " a cookie)",
                               ContenderNames[baseline]);
                figure.moduleUs = result.us[module];
                figure.baselineUs = result.us[baseline];
                figure.Phase("module: enumerate only, no deletion") = result.moduleEnumerationUs;
                figure.Phase("bare: enumerate only, no deletion") = result.bareEnumerationUs;
                figure.Phase("seeding the cache (not timed in the figure)") = result.seedUs;
                char note[200];
                snprintf(note, sizeof(note),
                         "entries deleted: module %.0f, %s %.0f (of %d, %d cookies)",
                         result.deleted[module].Median(), ContenderNames[baseline],
                         result.deleted[baseline].Median(), result.seeded, CookieCount(size));
                figure.note = note;
            }
        }
    }
}
