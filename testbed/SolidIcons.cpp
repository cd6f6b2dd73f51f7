#include "testbed/SolidIcons.h"

#include <commctrl.h>

#include "testbed/DibCanvas.h"

namespace {

void Append(std::vector<BYTE>& bytes, const void* data, size_t size) {
    const BYTE* first = static_cast<const BYTE*>(data);
    bytes.insert(bytes.end(), first, first + size);
}

template <typename T> void AppendValue(std::vector<BYTE>& bytes, T value) {
    Append(bytes, &value, sizeof(value));
}

} // namespace

HICON CreateSolidIcon(int size, COLORREF color) {
    HDC screen = GetDC(nullptr);
    HBITMAP image = CreateCompatibleBitmap(screen, size, size);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, image);
    HBRUSH brush = CreateSolidBrush(color);
    RECT rect = {0, 0, size, size};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    // An all-zero mask: every pixel opaque.
    std::vector<BYTE> maskBits(((size + 15) / 16) * 2 * size, 0);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, maskBits.data());
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmColor = image;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(image);
    DeleteObject(mask);
    return icon;
}

namespace {

const DWORD IconDirBytes = 6 + 16; // ICONDIR with one ICONDIRENTRY

} // namespace

std::vector<BYTE> IconFileBytes(int size, const std::vector<COLORREF>& pixels) {
    DWORD maskStride = ((size + 31) / 32) * 4;
    DWORD imageBytes =
        sizeof(BITMAPINFOHEADER) + size * size * 4 + maskStride * static_cast<DWORD>(size);
    std::vector<BYTE> bytes;
    // ICONDIR
    AppendValue<WORD>(bytes, 0);
    AppendValue<WORD>(bytes, 1);
    AppendValue<WORD>(bytes, 1);
    // ICONDIRENTRY
    AppendValue<BYTE>(bytes, static_cast<BYTE>(size));
    AppendValue<BYTE>(bytes, static_cast<BYTE>(size));
    AppendValue<BYTE>(bytes, 0);
    AppendValue<BYTE>(bytes, 0);
    AppendValue<WORD>(bytes, 1);
    AppendValue<WORD>(bytes, 32);
    AppendValue<DWORD>(bytes, imageBytes);
    AppendValue<DWORD>(bytes, IconDirBytes);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = size;
    header.biHeight = size * 2; // colour image and mask
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    AppendValue(bytes, header);
    // The image is stored bottom-up.
    for (int y = size - 1; y >= 0; y--) {
        for (int x = 0; x < size; x++) {
            COLORREF color = pixels[y * size + x];
            AppendValue<DWORD>(bytes, 0xFF000000 | (GetRValue(color) << 16) |
                                          (GetGValue(color) << 8) | GetBValue(color));
        }
    }
    bytes.insert(bytes.end(), maskStride * size, 0);
    return bytes;
}

std::vector<BYTE> SolidIconFileBytes(int size, COLORREF color) {
    return IconFileBytes(size, std::vector<COLORREF>(size * size, color));
}

bool WriteIconFile(const std::wstring& path, const std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

bool WriteSolidIconFile(const std::wstring& path, int size, COLORREF color) {
    return WriteIconFile(path, SolidIconFileBytes(size, color));
}

HICON CreateIconFromFileBytes(const std::vector<BYTE>& bytes) {
    if (bytes.size() <= IconDirBytes) return nullptr;
    std::vector<BYTE> image(bytes.begin() + IconDirBytes, bytes.end());
    return CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                    0x00030000, 0, 0, LR_DEFAULTCOLOR);
}

HIMAGELIST CreateSolidImageList(const std::vector<COLORREF>& colors) {
    HIMAGELIST list =
        ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, static_cast<int>(colors.size()), 1);
    for (COLORREF color : colors) {
        HICON icon = CreateSolidIcon(16, color);
        ImageList_ReplaceIcon(list, -1, icon);
        DestroyIcon(icon);
    }
    return list;
}

COLORREF ImageCenterColor(HIMAGELIST list, int index) {
    int width = 0;
    int height = 0;
    if (!list || !ImageList_GetIconSize(list, &width, &height)) return CLR_INVALID;
    DibCanvas canvas(width, height);
    canvas.Fill(RGB(255, 255, 255));
    if (!ImageList_Draw(list, index, canvas.Dc(), 0, 0, ILD_NORMAL)) return CLR_INVALID;
    return canvas.Pixel(width / 2, height / 2);
}
