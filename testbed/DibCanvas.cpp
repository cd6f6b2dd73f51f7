#include "testbed/DibCanvas.h"

DibCanvas::DibCanvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc_ || !bitmap_) return;
    previous_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<DWORD*>(bits);
}

DibCanvas::~DibCanvas() {
    if (previous_) SelectObject(dc_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

void DibCanvas::Fill(COLORREF color) {
    if (!bits_) return;
    DWORD value = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    GdiFlush();
    for (int i = 0; i < width_ * height_; i++)
        bits_[i] = value;
}

COLORREF DibCanvas::Pixel(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    GdiFlush();
    DWORD value = bits_[y * width_ + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

int DibCanvas::CountColor(COLORREF color, int left, int top, int right, int bottom) const {
    int count = 0;
    for (int y = top; y < bottom; y++) {
        for (int x = left; x < right; x++) {
            if (Pixel(x, y) == color) count++;
        }
    }
    return count;
}

bool DibCanvas::SameBlock(int x, int y, const DibCanvas& other, int otherX, int otherY,
                          int size) const {
    for (int dy = 0; dy < size; dy++) {
        for (int dx = 0; dx < size; dx++) {
            COLORREF mine = Pixel(x + dx, y + dy);
            if (mine == CLR_INVALID || mine != other.Pixel(otherX + dx, otherY + dy)) return false;
        }
    }
    return true;
}

std::string DescribeColor(COLORREF color) {
    if (color == CLR_INVALID) return "no pixel";
    return "RGB(" + std::to_string(GetRValue(color)) + ", " + std::to_string(GetGValue(color)) +
           ", " + std::to_string(GetBValue(color)) + ")";
}
