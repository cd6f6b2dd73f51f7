#include "records/CheckImages.h"

#include "env/Handles.h"
#include "host/Module.h"
#include "ui/ActivationContext.h"

namespace {

// The button class's check box part and its states in the visual style's tables.
constexpr int CheckBoxPart = 3;
constexpr int CheckBoxUncheckedNormal = 1;
constexpr int CheckBoxCheckedNormal = 5;
constexpr int CheckBoxCheckedHot = 6;
constexpr int CheckBoxMixedNormal = 9;

constexpr int ThemedSize = 16;
constexpr int ClassicSize = 14;

// In image list order.
const int ThemedStates[] = {CheckBoxCheckedHot, CheckBoxUncheckedNormal, CheckBoxCheckedNormal,
                            CheckBoxMixedNormal};
const UINT ClassicStates[] = {DFCS_BUTTONCHECK, DFCS_BUTTONCHECK, DFCS_BUTTONCHECK | DFCS_CHECKED,
                              DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE};

using OpenThemeDataFn = HANDLE(WINAPI*)(HWND window, LPCWSTR classList);
using CloseThemeDataFn = HRESULT(WINAPI*)(HANDLE theme);
using DrawThemeBackgroundFn = HRESULT(WINAPI*)(HANDLE theme, HDC dc, int part, int state,
                                               const RECT* rect, const RECT* clip);
using IsThemeActiveFn = BOOL(WINAPI*)();

template <typename Function> Function LookUp(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The library is loaded under the module's activation context, so that the version that goes
// with common controls 6 is the one found.
HMODULE LoadUxTheme() {
    ActivationContext context(ModuleInstance());
    return LoadLibraryW(L"UxTheme.dll");
}

// Draws one image into a fresh bitmap compatible with the window's device context and adds it
// to the list.
template <typename Draw>
void AddImage(HIMAGELIST list, HDC windowDc, HDC memoryDc, int size, Draw draw) {
    UniqueBitmap bitmap(CreateCompatibleBitmap(windowDc, size, size));
    if (!bitmap) return;
    {
        SelectedObject selected(memoryDc, bitmap.Get());
        RECT rect = {0, 0, size, size};
        draw(rect);
    }
    ImageList_Add(list, bitmap.Get(), nullptr);
}

} // namespace

HIMAGELIST CreateCheckImageList(HWND window) {
    WindowDc windowDc(window);
    HDC memoryDc = CreateCompatibleDC(windowDc.Get());
    UniqueModule uxTheme(LoadUxTheme());

    auto openThemeData = LookUp<OpenThemeDataFn>(uxTheme.Get(), "OpenThemeData");
    auto closeThemeData = LookUp<CloseThemeDataFn>(uxTheme.Get(), "CloseThemeData");
    auto drawThemeBackground = LookUp<DrawThemeBackgroundFn>(uxTheme.Get(), "DrawThemeBackground");

    HIMAGELIST list = nullptr;
    HANDLE theme = openThemeData ? openThemeData(window, L"Button") : nullptr;
    // As large as the system draws its check boxes: the sizes above at 96 DPI, and beyond it
    // in step with the system's small icons.
    int size = RecordPixels(theme ? ThemedSize : ClassicSize);
    if (theme) {
        list = ImageList_Create(size, size, ILC_COLOR32, 4, 1);
        for (int state : ThemedStates) {
            AddImage(list, windowDc.Get(), memoryDc, size, [&](const RECT& rect) {
                if (drawThemeBackground)
                    drawThemeBackground(theme, memoryDc, CheckBoxPart, state, &rect, nullptr);
            });
        }
        if (closeThemeData) closeThemeData(theme);
    } else {
        list = ImageList_Create(size, size, ILC_COLOR32, 4, 1);
        for (UINT state : ClassicStates) {
            AddImage(list, windowDc.Get(), memoryDc, size, [&](const RECT& rect) {
                RECT frame = rect;
                DrawFrameControl(memoryDc, &frame, DFC_BUTTON, state);
            });
        }
    }
    if (memoryDc) DeleteDC(memoryDc);
    return list;
}

int RecordPixels(int pixels) {
    return pixels * GetSystemMetrics(SM_CXSMICON) / 16;
}

BOOL IsThemeActiveSafe() {
    // Loaded on first use and kept, found or not, for the life of the process.
    static const HMODULE uxTheme = LoadUxTheme();
    auto isThemeActive = LookUp<IsThemeActiveFn>(uxTheme, "IsThemeActive");
    return isThemeActive ? isThemeActive() : 0;
}
