// The module's resources as the built DLL carries them: the three dialog templates control by
// control, the icon, the string table, the manifest and the version resource.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "env/SystemQueries.h"
#include "res/DialogTemplate.h"
#include "res/resource.h"

namespace {

const WORD ChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const DWORD Child = WS_CHILD | WS_VISIBLE;
const DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

struct ExpectedControl {
    int id;
    const wchar_t* className;
    DWORD style;
    const wchar_t* text;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    const char* name;
    int id;
    const wchar_t* caption;
    short cx, cy;
    const ExpectedControl* controls;
    size_t count;
};

const ExpectedControl CleanControls[] = {
    {2, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"关闭", 249, 201, 50, 15},
    {1145, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"立即清理选中的项目", 156, 201, 88, 15},
    {1192, L"Static", Child | SS_LEFT | WS_GROUP,
     L"Vela工具栏能够帮助您清理上网时留下的各种痕迹，保护您的上网隐私。", 40, 18, 249, 8},
    {-1, L"Button", Child | BS_GROUPBOX, L"可清理的项目", 7, 46, 291, 123},
    {-1, L"Static", Child | SS_ETCHEDHORZ, L"", 7, 193, 291, 1},
    {1179, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"IE地址栏记录", 26, 63, 64, 10},
    // Each link follows its box in the tab order.
    {1189, L"Static", Child | SS_LEFT | SS_NOTIFY | WS_GROUP | WS_TABSTOP, L"删除单条记录", 93, 64,
     49, 8},
    {1162, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"浏览历史记录", 163, 63, 64, 10},
    {1181, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"工具栏搜索记录", 163, 84, 72, 10},
    {1190, L"Static", Child | SS_LEFT | SS_NOTIFY | WS_GROUP | WS_TABSTOP, L"删除单条记录", 238, 85,
     49, 8},
    {1182, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"IE临时文件", 163, 105, 56, 10},
    {1183, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"IE“自动填写”的表单资料", 26, 84, 112,
     10},
    {1184, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"网页中自动保存的密码", 26, 105, 96,
     10},
    {1185, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"Cookies", 26, 126, 44, 10},
    {1191, L"Button", Child | BS_AUTOCHECKBOX | WS_TABSTOP, L"关闭浏览器时自动清理所选项目", 26,
     176, 128, 10},
    {1199, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"全选", 26, 145, 46, 15},
    {1200, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"反选", 75, 145, 46, 15},
    {1201, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"默认推荐", 124, 145, 46, 15},
};

const ExpectedControl ProgressControls[] = {
    {2, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"取消", 219, 23, 50, 14},
    {1194, L"msctls_progress32", Child, L"Progress1", 7, 25, 205, 11},
    {1195, L"Static", Child | SS_LEFT | WS_GROUP, L"Static", 7, 7, 199, 11},
};

const ExpectedControl RecordDeleteControls[] = {
    {1196, L"SysListView32",
     Child | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
         LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER,
     L"List1", 8, 7, 288, 197},
    {1202, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"全选", 8, 210, 40, 15},
    {1203, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"反选", 53, 210, 40, 15},
    {-1, L"Static", Child | SS_ETCHEDHORZ, L"", 8, 229, 288, 1},
    {1145, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"确定删除", 171, 234, 69, 15},
    {2, L"Button", Child | BS_PUSHBUTTON | WS_TABSTOP, L"关闭", 246, 234, 50, 15},
};

const ExpectedDialog Dialogs[] = {
    {"Clean", IDD_CLEAN, L"清理上网痕迹", 306, 225, CleanControls, ARRAYSIZE(CleanControls)},
    {"Progress", IDD_PROGRESS, L"Dialog", 276, 50, ProgressControls, ARRAYSIZE(ProgressControls)},
    {"RecordDelete", IDD_RECORD_DELETE, L"Dialog", 306, 256, RecordDeleteControls,
     ARRAYSIZE(RecordDeleteControls)},
};

// The resource bytes of one type, name and language, or null.
const void* ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, WORD language,
                          DWORD* size) {
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    *size = SizeofResource(module, found);
    return loaded ? LockResource(loaded) : nullptr;
}

// The built DLL, loaded as a data file once for the whole suite: its own resources, not the
// copies linked into the test program.
class ModuleResources : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        module_ =
            LoadLibraryExW(BinPath(L"VelaClear.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }

protected:
    void SetUp() override {
        ASSERT_NE(nullptr, module_) << "cannot load VelaClear.dll, error " << GetLastError();
    }

    static HMODULE module_;
};

HMODULE ModuleResources::module_ = nullptr;

class DialogTemplates : public ModuleResources,
                        public ::testing::WithParamInterface<ExpectedDialog> {
protected:
    // The Chinese (PRC) template of the dialog, parsed.
    void LoadTemplate(DialogTemplate* dialog) {
        DWORD size = 0;
        const void* bytes =
            ResourceBytes(module_, RT_DIALOG, MAKEINTRESOURCEW(GetParam().id), ChinesePrc, &size);
        ASSERT_NE(nullptr, bytes) << "no Chinese (PRC) dialog " << GetParam().id;
        std::string error;
        ASSERT_TRUE(ParseDialogTemplate(bytes, size, dialog, &error)) << error;
    }
};

TEST_P(DialogTemplates, FrameMatchesItsTable) {
    DialogTemplate dialog;
    ASSERT_NO_FATAL_FAILURE(LoadTemplate(&dialog));
    const ExpectedDialog& expected = GetParam();
    EXPECT_EQ(DialogStyle, dialog.style) << std::hex << "style 0x" << dialog.style;
    EXPECT_EQ(0u, dialog.exStyle) << std::hex << "extended style 0x" << dialog.exStyle;
    EXPECT_EQ(expected.cx, dialog.cx);
    EXPECT_EQ(expected.cy, dialog.cy);
    EXPECT_EQ(Narrow(expected.caption), Narrow(dialog.caption));
    EXPECT_EQ("", Narrow(dialog.menu));
    EXPECT_EQ("", Narrow(dialog.windowClass));
    ASSERT_TRUE(dialog.hasFont);
    EXPECT_EQ(9, dialog.pointSize);
    EXPECT_EQ("宋体", Narrow(dialog.fontName));
}

// Controls in template order, which is also the tab order.
TEST_P(DialogTemplates, ControlsMatchTheirTable) {
    DialogTemplate dialog;
    ASSERT_NO_FATAL_FAILURE(LoadTemplate(&dialog));
    const ExpectedDialog& expected = GetParam();
    ASSERT_EQ(expected.count, dialog.controls.size());
    for (size_t i = 0; i < expected.count; i++) {
        const ExpectedControl& want = expected.controls[i];
        const DialogControl& got = dialog.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(want.id));
        EXPECT_EQ(want.id, got.id);
        // Class names are case-insensitive; the resource compiler writes them in upper case.
        EXPECT_EQ(0, lstrcmpiW(want.className, got.className.c_str())) << Narrow(got.className);
        bool predefined =
            !lstrcmpiW(want.className, L"Button") || !lstrcmpiW(want.className, L"Static");
        EXPECT_TRUE(!predefined || got.classAtom) << "predefined class given by name";
        EXPECT_EQ(want.style, got.style) << std::hex << "style 0x" << got.style;
        EXPECT_EQ(0u, got.exStyle) << std::hex << "extended style 0x" << got.exStyle;
        EXPECT_EQ(Narrow(want.text), Narrow(got.text));
        EXPECT_EQ(0, got.textResource);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
        EXPECT_EQ(0, got.extraBytes);
    }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The dialog manager builds the window from the template and the texts read back as written.
TEST_P(DialogTemplates, CreatedDialogShowsTheTexts) {
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    DWORD size = 0;
    const void* bytes =
        ResourceBytes(module_, RT_DIALOG, MAKEINTRESOURCEW(GetParam().id), ChinesePrc, &size);
    ASSERT_NE(nullptr, bytes);
    HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             static_cast<const DLGTEMPLATE*>(bytes), nullptr,
                                             QuietDialogProc, 0);
    ASSERT_NE(nullptr, window) << "error " << GetLastError();

    WCHAR text[512] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_EQ(Narrow(GetParam().caption), Narrow(text));
    for (size_t i = 0; i < GetParam().count; i++) {
        const ExpectedControl& want = GetParam().controls[i];
        if (want.id == -1) continue;
        SCOPED_TRACE("id " + std::to_string(want.id));
        HWND control = GetDlgItem(window, want.id);
        ASSERT_NE(nullptr, control);
        WCHAR className[64] = {};
        GetClassNameW(control, className, ARRAYSIZE(className));
        EXPECT_EQ(0, lstrcmpiW(want.className, className)) << Narrow(className);
        text[0] = 0;
        GetWindowTextW(control, text, ARRAYSIZE(text));
        EXPECT_EQ(Narrow(want.text), Narrow(text));
    }
    DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(Module, DialogTemplates, ::testing::ValuesIn(Dialogs),
                         [](const ::testing::TestParamInfo<ExpectedDialog>& info) {
                             return std::string(info.param.name);
                         });

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved, type, count;
};
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

// Each image of icon 112 is 32-bit, and its AND mask, which Windows 2000 draws with instead
// of the alpha channel, is transparent exactly where the alpha is below half.
TEST_F(ModuleResources, IconHasBothSizesWithMatchingMasks) {
    DWORD size = 0;
    auto group = static_cast<const BYTE*>(
        ResourceBytes(module_, RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_CLEAR), ChinesePrc, &size));
    ASSERT_NE(nullptr, group) << "no Chinese (PRC) group icon " << IDI_CLEAR;
    GroupIconHeader header;
    ASSERT_GE(size, sizeof(header));
    memcpy(&header, group, sizeof(header));
    ASSERT_EQ(1, header.type);
    ASSERT_GE(size, sizeof(header) + header.count * sizeof(GroupIconEntry));

    bool seen32 = false, seen16 = false;
    for (WORD i = 0; i < header.count; i++) {
        GroupIconEntry entry;
        memcpy(&entry, group + sizeof(header) + i * sizeof(entry), sizeof(entry));
        int side = entry.width ? entry.width : 256;
        SCOPED_TRACE("image " + std::to_string(side) + "x" + std::to_string(side));
        seen32 |= side == 32;
        seen16 |= side == 16;
        EXPECT_EQ(32, entry.bitCount);

        DWORD imageSize = 0;
        auto image = static_cast<const BYTE*>(
            ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEW(entry.id), ChinesePrc, &imageSize));
        ASSERT_NE(nullptr, image) << "icon image " << entry.id << " missing";
        BITMAPINFOHEADER info;
        ASSERT_GE(imageSize, sizeof(info));
        memcpy(&info, image, sizeof(info));
        ASSERT_EQ(side, info.biWidth);
        ASSERT_EQ(2 * side, info.biHeight);
        ASSERT_EQ(32, info.biBitCount);
        size_t maskStride = (side + 31) / 32 * 4;
        size_t pixels = static_cast<size_t>(side) * side;
        ASSERT_GE(imageSize, info.biSize + pixels * 4 + maskStride * side);
        const BYTE* colour = image + info.biSize;
        const BYTE* mask = colour + pixels * 4;

        int opaque = 0, mismatches = 0;
        for (int y = 0; y < side; y++) {
            for (int x = 0; x < side; x++) {
                BYTE alpha = colour[(y * side + x) * 4 + 3];
                bool transparent = (mask[y * maskStride + x / 8] & (0x80 >> (x % 8))) != 0;
                opaque += !transparent;
                mismatches += transparent != (alpha < 128);
            }
        }
        EXPECT_EQ(0, mismatches);
        EXPECT_GT(opaque, static_cast<int>(pixels) / 8) << "too little drawn";
        EXPECT_LT(opaque, static_cast<int>(pixels) * 7 / 8) << "no transparent surround";
    }
    EXPECT_TRUE(seen32);
    EXPECT_TRUE(seen16);
}

SIZE IconSize(HICON icon) {
    SIZE size = {};
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bitmap = {};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap)) {
        size.cx = bitmap.bmWidth;
        size.cy = bitmap.bmHeight;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

TEST_F(ModuleResources, IconLoadsAtBothSizes) {
    HICON large = LoadIconW(module_, MAKEINTRESOURCEW(IDI_CLEAR));
    ASSERT_NE(nullptr, large) << "error " << GetLastError();
    SIZE size = IconSize(large);
    EXPECT_EQ(32, size.cx);
    EXPECT_EQ(32, size.cy);

    HICON small =
        static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(IDI_CLEAR), IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(nullptr, small) << "error " << GetLastError();
    size = IconSize(small);
    EXPECT_EQ(16, size.cx);
    EXPECT_EQ(16, size.cy);
    DestroyIcon(small);
}

TEST_F(ModuleResources, StringsOneToThreeReadClear) {
    // Strings 1 to 15 share the table's block 1.
    DWORD size = 0;
    EXPECT_NE(nullptr, ResourceBytes(module_, RT_STRING, MAKEINTRESOURCEW(1), ChinesePrc, &size))
        << "no Chinese (PRC) string block";
    for (UINT id : {IDS_BUTTON_TEXT1, IDS_BUTTON_TEXT2, IDS_BUTTON_TEXT3}) {
        WCHAR text[64] = {};
        int length = LoadStringW(module_, id, text, ARRAYSIZE(text));
        EXPECT_EQ(5, length) << "string " << id;
        EXPECT_EQ("Clear", Narrow(text)) << "string " << id;
    }
}

// The manifest under the id that the loader reads for a DLL's own activation context, asking
// for version 6 of the common controls.
TEST_F(ModuleResources, ManifestAsksForCommonControls6) {
    DWORD size = 0;
    auto bytes = static_cast<const char*>(
        ResourceBytes(module_, RT_MANIFEST, MAKEINTRESOURCEW(2), ChinesePrc, &size));
    ASSERT_NE(nullptr, bytes) << "no manifest resource 2";
    std::string manifest(bytes, size);

    size_t dependency = manifest.find("<dependentAssembly>");
    ASSERT_NE(std::string::npos, dependency) << manifest;
    size_t identity = manifest.find("<assemblyIdentity", dependency);
    ASSERT_NE(std::string::npos, identity) << manifest;
    size_t end = manifest.find("/>", identity);
    ASSERT_NE(std::string::npos, end) << manifest;
    std::string element = manifest.substr(identity, end - identity);
    EXPECT_NE(std::string::npos, element.find("name=\"Microsoft.Windows.Common-Controls\""))
        << element;
    EXPECT_NE(std::string::npos, element.find("version=\"6.0.0.0\"")) << element;
    EXPECT_NE(std::string::npos, element.find("processorArchitecture=\"x86\"")) << element;
    EXPECT_NE(std::string::npos, element.find("publicKeyToken=\"6595b64144ccf1df\"")) << element;
}

// The version resource that installers compare on upgrade and the file's properties show: the
// project's version in numbers and in text, product and company in Chinese (PRC) only.
TEST_F(ModuleResources, VersionResourceCarriesTheProjectVersion) {
    DWORD size = 0;
    EXPECT_NE(nullptr, ResourceBytes(module_, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                     ChinesePrc, &size))
        << "no Chinese (PRC) version resource";
    WORD expected[4] = {};
    ASSERT_EQ(4, swscanf(VELA_VERSION, L"%hu.%hu.%hu.%hu", &expected[0], &expected[1], &expected[2],
                         &expected[3]))
        << Narrow(VELA_VERSION);

    std::wstring path = BinPath(L"VelaClear.dll");
    DWORD handle = 0;
    DWORD bytes = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, bytes) << "error " << GetLastError();
    std::vector<BYTE> block(bytes);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, bytes, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature) << std::hex << fixed->dwSignature;
    DWORD high = MAKELONG(expected[1], expected[0]);
    DWORD low = MAKELONG(expected[3], expected[2]);
    EXPECT_EQ(high, fixed->dwFileVersionMS) << std::hex << "0x" << fixed->dwFileVersionMS;
    EXPECT_EQ(low, fixed->dwFileVersionLS) << std::hex << "0x" << fixed->dwFileVersionLS;
    EXPECT_EQ(high, fixed->dwProductVersionMS) << std::hex << "0x" << fixed->dwProductVersionMS;
    EXPECT_EQ(low, fixed->dwProductVersionLS) << std::hex << "0x" << fixed->dwProductVersionLS;
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask) << std::hex << fixed->dwFileFlags;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
    ASSERT_EQ(sizeof(Translation), length) << "one translation only";
    EXPECT_EQ(ChinesePrc, translations[0].language) << std::hex << translations[0].language;
    EXPECT_EQ(1200, translations[0].codePage);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {
        {L"CompanyName", L"Corvane"},
        {L"ProductName", L"Vela工具栏"},
        {L"FileDescription", L"Vela工具栏清理按钮"},
        {L"OriginalFilename", L"VelaClear.dll"},
        {L"FileVersion", VELA_VERSION},
        {L"ProductVersion", VELA_VERSION},
    };
    for (const auto& entry : strings) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + entry.name;
        WCHAR* text = nullptr;
        EXPECT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << Narrow(entry.name);
        EXPECT_EQ(Narrow(entry.value), Narrow(text ? text : L"")) << Narrow(entry.name);
    }

    // The module's own version query reads the same numbers.
    WCHAR text[64] = {};
    ASSERT_EQ(1, GetFileVersionString(path.c_str(), text, 63));
    EXPECT_EQ(Narrow(VELA_VERSION), Narrow(text));
}

} // namespace
