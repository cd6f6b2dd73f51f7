// A 32-bit top-down DIB section selected into a memory device context, for drawing code that
// is handed a device context and pixels read back exactly.
#pragma once

#include <windows.h>
#include <string>

class DibCanvas {
public:
    DibCanvas(int width, int height);
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsReady() const { return bits_ != nullptr; }

    void Fill(COLORREF color);
    // RGB of one pixel; CLR_INVALID outside the canvas.
    COLORREF Pixel(int x, int y) const;
    // Pixels of exactly this colour inside [left, right) x [top, bottom).
    int CountColor(COLORREF color, int left, int top, int right, int bottom) const;
    // Whether the size x size block at (x, y) equals the one at (otherX, otherY) of other.
    bool SameBlock(int x, int y, const DibCanvas& other, int otherX, int otherY, int size) const;

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};

// "RGB(1, 2, 3)", for failure messages.
std::string DescribeColor(COLORREF color);
