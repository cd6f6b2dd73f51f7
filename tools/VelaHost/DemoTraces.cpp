#include "tools/VelaHost/DemoTraces.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>
#include <cstdio>

#include "env/Handles.h"
#include "testbed/AddressBarImages.h"
#include "testbed/DibCanvas.h"
#include "testbed/SiteIconCache.h"
#include "testbed/SolidIcons.h"
#include "testbed/UrlCacheSeed.h"
#include "testbed/UrlHistoryStandIn.h"

namespace {

const WCHAR TypedUrlsKey[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";
const WCHAR FormDataKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage1";
const WCHAR PasswordsKey[] = L"Software\\Microsoft\\Internet Explorer\\IntelliForms\\Storage2";

struct Site {
    const WCHAR* url;
    const WCHAR* title;
    WCHAR letter; // its icon: this letter in white on the site's colour
    COLORREF color;
};

const Site Sites[] = {
    {L"http://www.example.com/", L"Example Domain", L'E', RGB(40, 110, 190)},
    {L"http://news.example.cn/", L"新闻首页", L'N', RGB(200, 40, 40)},
    {L"https://mail.example.org:8443/inbox", L"收件箱 - 邮箱", L'M', RGB(30, 150, 80)},
    {L"http://video.example.net/play?id=42", L"视频播放", L'V', RGB(230, 130, 20)},
    {L"http://shop.example.cn/cart", L"购物车", L'S', RGB(140, 60, 180)},
    {L"http://bbs.example.com/thread/7", L"论坛 - 今日热帖", L'B', RGB(80, 80, 80)},
};

// A site's icon as an .ico file, drawn as sites of the time drew theirs: a bold letter on the
// site's colour. A space gives the browser's icon for pages without one, a blank grey square.
std::vector<BYTE> SiteIconFile(WCHAR letter, COLORREF color) {
    const int Size = 16;
    DibCanvas canvas(Size, Size);
    canvas.Fill(color);
    UniqueFont font(CreateFontW(-13, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH, L"Tahoma"));
    {
        SelectedObject selected(canvas.Dc(), font.Get());
        SetBkMode(canvas.Dc(), TRANSPARENT);
        SetTextColor(canvas.Dc(), RGB(255, 255, 255));
        RECT all = {0, 0, Size, Size};
        DrawTextW(canvas.Dc(), &letter, 1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    std::vector<COLORREF> pixels;
    for (int y = 0; y < Size; y++) {
        for (int x = 0; x < Size; x++)
            pixels.push_back(canvas.Pixel(x, y));
    }
    return IconFileBytes(Size, pixels);
}

// Appends the icon of an .ico file to an image list.
void AddImage(HIMAGELIST list, const std::vector<BYTE>& iconFile) {
    UniqueIcon icon(CreateIconFromFileBytes(iconFile));
    ImageList_AddIcon(list, icon.Get());
}

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

bool SeedDemoTraces(HWND addressBar, UrlHistoryStandIn& history,
                    std::unique_ptr<AddressBarImages>* images) {
    bool ok = true;

    // The address bar shows each site with its icon, which the cache holds too; image 0 is the
    // browser's icon for pages without one.
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 1);
    AddImage(list, SiteIconFile(L' ', RGB(160, 160, 160)));
    std::vector<AddressBarEntry> entries;
    int number = 1;
    for (const Site& site : Sites) {
        ok &= SetString(TypedUrlsKey, (L"url" + std::to_wstring(number)).c_str(), site.url);
        entries.push_back({site.url, number++});
        history.SetTitle(site.url, site.title);
        std::vector<BYTE> icon = SiteIconFile(site.letter, site.color);
        AddImage(list, icon);
        ok &= SeedSiteIcon(SiteIconUrl(site.url).c_str(), icon);
    }
    images->reset(new AddressBarImages(addressBar, list));
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

TraceCounts CountTraces(HWND addressBar, const ReferenceHost& host,
                        const UrlHistoryStandIn& history) {
    TraceCounts counts;
    counts.typedUrls = CountValues(TypedUrlsKey);
    counts.addressBar = static_cast<int>(SendMessageW(addressBar, CB_GETCOUNT, 0, 0));
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
