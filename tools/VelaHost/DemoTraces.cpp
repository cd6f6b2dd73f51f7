#include "tools/VelaHost/DemoTraces.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>
#include <cstdio>

#include "env/Handles.h"
#include "testbed/AddressBarImages.h"
#include "testbed/SiteIconCache.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const WCHAR TypedUrlsKey[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";
const WCHAR FormDataKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage1";
const WCHAR PasswordsKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage2";

struct Site {
    const WCHAR* url;
    const WCHAR* title;
    COLORREF iconColor;
};

const Site Sites[] = {
    {L"http://news.example.cn/", L"新闻首页", RGB(200, 40, 40)},
    {L"http://www.example.com/", L"Example Domain", RGB(40, 120, 200)},
    {L"https://mail.example.org:8443/inbox", L"收件箱 - 邮箱", RGB(40, 160, 80)},
    {L"http://video.example.net/play?id=42", L"视频播放", RGB(220, 150, 20)},
    {L"http://shop.example.cn/cart", L"购物车", RGB(150, 60, 190)},
    {L"http://bbs.example.com/thread/7", L"论坛 - 今日热帖", RGB(90, 90, 90)},
};

// The site icon the browser would have cached for a page: "scheme://host/favicon.ico".
std::wstring SiteIconUrl(const WCHAR* url) {
    WCHAR host[256] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    if (!InternetCrackUrlW(url, 0, 0, &parts)) return std::wstring();
    const WCHAR* scheme = parts.nScheme == INTERNET_SCHEME_HTTPS ? L"https" : L"http";
    return std::wstring(scheme) + L"://" + host + L"/favicon.ico";
}

bool SetValue(const WCHAR* key, const WCHAR* name, DWORD type, const void* data, DWORD size) {
    return SHSetValueW(HKEY_CURRENT_USER, key, name, type, data, size) == ERROR_SUCCESS;
}

bool SetString(const WCHAR* key, const WCHAR* name, const std::wstring& text) {
    return SetValue(key, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// AutoComplete keeps each entry as a binary blob under a hash of the field or page it
// belongs to; the demo only needs values that are there.
bool SeedBlobs(const WCHAR* key, const WCHAR* prefix, int count) {
    bool ok = true;
    for (int i = 0; i < count; i++) {
        std::wstring name = prefix + std::to_wstring(1000 + i);
        BYTE blob[32];
        for (int b = 0; b < 32; b++)
            blob[b] = static_cast<BYTE>(i * 31 + b);
        ok &= SetValue(key, name.c_str(), REG_BINARY, blob, sizeof(blob));
    }
    return ok;
}

// The toolbar's per-user data folder before Windows Vista, where the demo runs.
std::wstring VisitHistoryFile() {
    WCHAR path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE)) return std::wstring();
    PathAppendW(path, L"CORVANE\\VelaToolbar\\visitHistory");
    SHCreateDirectoryExW(nullptr, path, nullptr);
    PathAppendW(path, L"visitHistory.ini");
    return path;
}

int CountValues(const WCHAR* key) {
    UniqueRegKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.Put()) != ERROR_SUCCESS) return 0;
    DWORD values = 0;
    RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    return static_cast<int>(values);
}

int CountVisitHistory() {
    std::wstring file = VisitHistoryFile();
    WCHAR section[4096] = {};
    GetPrivateProfileSectionW(L"frequentlyVisit", section, 4096, file.c_str());
    int count = 0;
    for (const WCHAR* line = section; *line; line += lstrlenW(line) + 1)
        count++;
    return count;
}

} // namespace

std::vector<std::wstring> DemoSearchRecords() {
    return {L"天气预报", L"火车票查询", L"win32 list view owner draw", L"北京 美食", L"汇率"};
}

bool SeedDemoTraces(ReferenceHost& host, UrlHistoryStandIn& history,
                    std::unique_ptr<AddressBarImages>* images) {
    bool ok = true;

    // The address bar shows each site with its icon; image 0 is the browser's page icon.
    std::vector<COLORREF> colors = {RGB(160, 160, 160)};
    std::vector<AddressBarEntry> entries;
    int number = 1;
    for (const Site& site : Sites) {
        ok &= SetString(TypedUrlsKey, (L"url" + std::to_wstring(number++)).c_str(), site.url);
        entries.push_back({site.url, static_cast<int>(colors.size())});
        colors.push_back(site.iconColor);
        history.SetTitle(site.url, site.title);
        ok &= SeedSiteIcon(SiteIconUrl(site.url).c_str(), site.iconColor);
    }
    HWND addressBar = host.Browser().AddressBar();
    images->reset(new AddressBarImages(addressBar, colors));
    AddImageEntries(addressBar, entries);
    history.SetTitle(L"http://docs.example.com/guide", L"Guide");
    history.SetTitle(L"http://www.example.com/about", L"About us");

    for (int i = 0; i < 12; i++) {
        std::wstring page = L"http://static.example.com/page" + std::to_wstring(i) + L".html";
        ok &= SeedCacheEntry(page.c_str());
    }
    const WCHAR* cookies[] = {L"Cookie:user@example.com/", L"Cookie:user@news.example.cn/",
                              L"Cookie:user@shop.example.cn/", L"Cookie:user@mail.example.org/"};
    for (const WCHAR* cookie : cookies)
        ok &= SeedCookie(cookie);

    ok &= SeedBlobs(FormDataKey, L"form", 5);
    ok &= SeedBlobs(PasswordsKey, L"site", 3);

    std::wstring visits = VisitHistoryFile();
    number = 1;
    for (const Site& site : Sites) {
        std::wstring key = std::to_wstring(number++);
        ok &= WritePrivateProfileStringW(L"frequentlyVisit", key.c_str(), site.url,
                                         visits.c_str()) != 0;
    }
    return ok;
}

TraceCounts CountTraces(ReferenceHost& host, const UrlHistoryStandIn& history) {
    TraceCounts counts;
    counts.typedUrls = CountValues(TypedUrlsKey);
    counts.addressBar =
        static_cast<int>(SendMessageW(host.Browser().AddressBar(), CB_GETCOUNT, 0, 0));
    counts.history = history.UrlCount();
    counts.visitHistory = CountVisitHistory();
    counts.formData = CountValues(FormDataKey);
    counts.searchRecords = static_cast<int>(host.SearchBox().Records().size());
    counts.passwords = CountValues(PasswordsKey);
    for (const CacheEntry& entry : ListCacheEntries()) {
        if (entry.type & COOKIE_CACHE_ENTRY)
            counts.cookies++;
        else if (!(entry.type & URLHISTORY_CACHE_ENTRY))
            counts.tempFiles++;
    }
    return counts;
}

bool IsEmpty(const TraceCounts& c) {
    return c.typedUrls + c.addressBar + c.history + c.visitHistory + c.formData + c.searchRecords +
               c.passwords + c.tempFiles + c.cookies ==
           0;
}

void PrintTraceTable(const TraceCounts& before, const TraceCounts& after) {
    struct Row {
        const char* store;
        int before;
        int after;
    };
    const Row rows[] = {
        {"Typed URLs (registry TypedURLs)", before.typedUrls, after.typedUrls},
        {"Address bar drop-down", before.addressBar, after.addressBar},
        {"History (URL history)", before.history, after.history},
        {"Visit history (visitHistory.ini)", before.visitHistory, after.visitHistory},
        {"Form data (IntelliForms Storage1)", before.formData, after.formData},
        {"Search-box records", before.searchRecords, after.searchRecords},
        {"Saved passwords (IntelliForms Storage2)", before.passwords, after.passwords},
        {"Temporary files (URL cache)", before.tempFiles, after.tempFiles},
        {"Cookies (URL cache)", before.cookies, after.cookies},
    };
    printf("%-42s %8s %8s\n", "Store", "before", "after");
    printf("%-42s %8s %8s\n", "-----", "------", "-----");
    for (const Row& row : rows)
        printf("%-42s %8d %8d\n", row.store, row.before, row.after);
    fflush(stdout);
}
