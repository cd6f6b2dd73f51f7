#include "tools/VelaHost/Screenshot.h"

#include "env/Handles.h"

namespace {

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

} // namespace

bool SaveWindowPicture(HWND window, const WCHAR* path) {
    RECT rect = {};
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

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
        if (BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY)) {
            GdiFlush();
            saved = WriteBmp(path, header, bits);
        }
    }
    return saved;
}
