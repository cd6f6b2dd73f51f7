// An image list of site icons (solid colours, or any) given to a browser frame's address bar
// (CBEM_SETIMAGELIST) for the lifetime of the object, and entries that name their image.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

class AddressBarImages {
public:
    // Image i of the list has colors[i].
    AddressBarImages(HWND addressBar, const std::vector<COLORREF>& colors);
    // Gives the address bar this list of 16 x 16 images, which the object then owns.
    AddressBarImages(HWND addressBar, HIMAGELIST list);
    // Takes the list back from the address bar and destroys it.
    ~AddressBarImages();
    AddressBarImages(const AddressBarImages&) = delete;
    AddressBarImages& operator=(const AddressBarImages&) = delete;

    HIMAGELIST List() const { return list_; }
    int Count() const { return count_; }

private:
    HWND addressBar_;
    HIMAGELIST list_;
    int count_;
};

struct AddressBarEntry {
    std::wstring text;
    int image;
};

// Appends entries with CBEM_INSERTITEMW, each with its image (also as selected image).
void AddImageEntries(HWND addressBar, const std::vector<AddressBarEntry>& entries);
