#include "tools/VelaHost/DemoPage.h"

#include <algorithm>

#include "env/Handles.h"
#include "testbed/WindowClass.h"

const WCHAR DemoPageUrl[] = L"http://www.example.com/";
const WCHAR DemoPageTitle[] = L"Example Domain";

namespace {

const WCHAR PageClass[] = L"VelaHost_DemoPage";
const COLORREF Ink = RGB(34, 34, 34);
const COLORREF LinkColor = RGB(0, 0, 204);
const int ColumnWidth = 560;
const int Margin = 24;

struct Block {
    const WCHAR* text;
    int height; // of the font, in pixels
    int weight;
    bool link;
};

const Block Blocks[] = {
    {L"Example Domain", 28, FW_BOLD, false},
    {L"This page belongs to the VelaClear demo. The browser around it has been used: its "
     L"address bar, its history, temporary files and cookies, the form data and passwords it "
     L"saved, and the search box of the Vela toolbar hold traces of the sites visited.",
     14, FW_NORMAL, false},
    {L"Press \"Clear\" on the Vela toolbar above to clean them.", 14, FW_NORMAL, false},
    {L"More information...", 14, FW_NORMAL, true},
};

// A column in the middle of the page, one block under the other, as a plain HTML page
// with a heading, two paragraphs and a link is laid out.
void PaintPage(HWND window, HDC dc) {
    RECT client = {};
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    int width = std::min(ColumnWidth, static_cast<int>(client.right) - 2 * Margin);
    int left = (client.right - width) / 2;
    int top = 2 * Margin;
    SetBkMode(dc, TRANSPARENT);
    for (const Block& block : Blocks) {
        UniqueFont font(CreateFontW(-block.height, 0, 0, 0, block.weight, FALSE, block.link, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        SelectedObject selected(dc, font.Get());
        SetTextColor(dc, block.link ? LinkColor : Ink);
        RECT area = {left, top, left + width, client.bottom};
        top += DrawTextW(dc, block.text, -1, &area, DT_WORDBREAK | DT_NOPREFIX);
        top += block.height; // the gap after a block is a line of its own size
    }
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintPage(window, dc);
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1; // the paint covers every pixel
    if (message == WM_SIZE) InvalidateRect(window, nullptr, FALSE);
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace

HWND CreateDemoPage(HWND parent) {
    EnsureWindowClass(PageClass, PageProc, nullptr);
    return CreateWindowExW(WS_EX_CLIENTEDGE, PageClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}
