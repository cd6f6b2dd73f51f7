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
    int deleted[ContenderCount] = {};
    Samples seedUs;
    Samples moduleEnumerationUs; // CleanUrlCache with a mode that deletes nothing
    Samples bareEnumerationUs;
    int seeded = 0;
};

// Times contender on the cache as it is; counts what it deleted when asked to. The count
// before is taken every time: the first enumeration after seeding pays once for what seeding
// left behind in the index, and no contender should be the one to pay it.
void TimeContender(Contender contender, bool count, SizeResult* result) {
    int before = static_cast<int>(ListCacheEntries().size());
    Stopwatch timer;
    RunContender(contender);
    result->us[contender].Add(timer.ElapsedMicroseconds());
    if (count) result->deleted[contender] = before - static_cast<int>(ListCacheEntries().size());
}

// The contenders share freshly seeded caches three ways: CleanCookies enumerates the cookies
// only, so it runs on what CleanTemporaryFiles left (the cookies); the bare loop and the bulk
// purge each get a cache of their own.
enum Round { ModuleRound, BareRound, FreeSpaceRound, RoundCount };

void RunRound(Round round, int size, bool first, SizeResult* result) {
    ClearUrlCache();
    Stopwatch seeding;
    result->seeded = SeedCache(size);
    result->seedUs.Add(seeding.ElapsedMicroseconds());
    switch (round) {
    case ModuleRound:
        if (first) {
            ListCacheEntries(); // as before every timing
            for (int turn = 0; turn < 2; turn++) {
                Stopwatch enumeration;
                CleanUrlCache(2);
                result->moduleEnumerationUs.Add(enumeration.ElapsedMicroseconds());
                enumeration.Restart();
                BareUrlCacheLoop(false);
                result->bareEnumerationUs.Add(enumeration.ElapsedMicroseconds());
            }
        }
        TimeContender(TemporaryFiles, first, result);
        TimeContender(Cookies, first, result);
        break;
    case BareRound:
        TimeContender(BareLoop, first, result);
        break;
    default:
        TimeContender(FreeSpace, first, result);
        break;
    }
}

} // namespace

void RunUrlCacheBench(BenchReport& report, bool quick, bool thorough) {
    // Seeding is slow under Wine and grows faster than the cache (about 11 s for 5,000 entries
    // and 50 s for 20,000, 85 s under qemu's i386 emulation, three times per repetition): the
    // 20,000-entry cache is measured only in a thorough run, and the large caches get fewer
    // repetitions.
    std::vector<int> sizes = quick      ? std::vector<int>{300}
                             : thorough ? std::vector<int>{1000, 5000, 20000}
                                        : std::vector<int>{1000, 5000};
    for (int size : sizes) {
        int repetitions = quick ? 2 : size <= 1000 ? 5 : size <= 5000 ? (thorough ? 3 : 2) : 2;
        SizeResult result;
        for (int rep = 0; rep < repetitions; rep++) {
            // The order of the rounds turns every repetition.
            for (int turn = 0; turn < RoundCount; turn++)
                RunRound(static_cast<Round>((turn + rep) % RoundCount), size, rep == 0, &result);
            printf("url cache %d entries: repetition %d of %d done (seeding %.1f s)\n", size,
                   rep + 1, repetitions, result.seedUs.Values().back() / 1e6);
            fflush(stdout);
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
                         "entries deleted: module %d, %s %d (of %d, %d cookies)",
                         result.deleted[module], ContenderNames[baseline], result.deleted[baseline],
                         result.seeded, CookieCount(size));
                figure.note = note;
            }
        }
    }
}
