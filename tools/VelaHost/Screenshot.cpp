#include "tools/VelaHost/Screenshot.h"

#include "env/Handles.h"

namespace {

const int CaptionHeight = 30;

inline void DeleteMemoryDc(HDC dc) {
    DeleteDC(dc);
}
using UniqueDc = UniqueHandle<HDC, DeleteMemoryDc>;

bool WriteBmp(const WCHAR* path, const BITMAPINFOHEADER& header, const void* bits) {
    DWORD imageBytes = header.biSizeImage;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + imageBytes;

    HANDLE out =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
              WriteFile(out, &header, sizeof(header), &written, nullptr) &&
              WriteFile(out, bits, imageBytes, &written, nullptr);
    CloseHandle(out);
    return ok;
}

// White text on a dark strip, as the captions of a slide show.
void DrawCaption(HDC dc, RECT strip, const WCHAR* caption) {
    UniqueBrush background(CreateSolidBrush(RGB(48, 48, 52)));
    FillRect(dc, &strip, background.Get());
    UniqueFont font(CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH, L"Tahoma"));
    SelectedObject selected(dc, font.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, caption, -1, &strip, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

} // namespace

bool SaveWindowPicture(HWND window, const WCHAR* path) {
    RECT rect = {};
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) return false;
    return SaveScreenPicture(rect, path, nullptr);
}

bool SaveScreenPicture(const RECT& rect, const WCHAR* path, const WCHAR* caption) {
    int width = rect.right - rect.left;
    int shown = rect.bottom - rect.top;
    if (width <= 0 || shown <= 0) return false;
    int height = caption ? shown + CaptionHeight : shown;

    BITMAPINFO info = {};
    BITMAPINFOHEADER& header = info.bmiHeader;
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height; // bottom-up, as BMP files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);

    WindowDc screen(nullptr);
    if (!screen.Get()) return false;
    UniqueDc memory(CreateCompatibleDC(screen.Get()));
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap) return false;
    bool saved = false;
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        if (BitBlt(memory.Get(), 0, 0, width, shown, screen.Get(), rect.left, rect.top, SRCCOPY)) {
            if (caption) DrawCaption(memory.Get(), {0, shown, width, height}, caption);
            GdiFlush();
            saved = WriteBmp(path, header, bits);
        }
    }
    return saved;
}
