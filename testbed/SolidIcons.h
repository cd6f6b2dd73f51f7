// Icons of one opaque colour, in memory and as .ico files, so that a test can tell by a pixel
// which icon ended up where; and .ico files of any opaque picture.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

// A size x size icon of color; the caller destroys it.
HICON CreateSolidIcon(int size, COLORREF color);
// The bytes of an .ico file holding one opaque 32-bit size x size image: pixels row by row
// from the top.
std::vector<BYTE> IconFileBytes(int size, const std::vector<COLORREF>& pixels);
// The same, every pixel of color.
std::vector<BYTE> SolidIconFileBytes(int size, COLORREF color);
bool WriteIconFile(const std::wstring& path, const std::vector<BYTE>& bytes);
bool WriteSolidIconFile(const std::wstring& path, int size, COLORREF color);
// The icon of an .ico file with one image, as IconFileBytes makes them; the caller destroys it.
HICON CreateIconFromFileBytes(const std::vector<BYTE>& bytes);

// An image list of 16 x 16 images, one solid icon per colour in order; the caller destroys it.
HIMAGELIST CreateSolidImageList(const std::vector<COLORREF>& colors);
// The colour at the centre of image index of list drawn over white; CLR_INVALID when the
// image cannot be drawn.
COLORREF ImageCenterColor(HIMAGELIST list, int index);
