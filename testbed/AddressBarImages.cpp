#include "testbed/AddressBarImages.h"

#include "testbed/SolidIcons.h"

AddressBarImages::AddressBarImages(HWND addressBar, const std::vector<COLORREF>& colors)
    : AddressBarImages(addressBar, CreateSolidImageList(colors)) {}

AddressBarImages::AddressBarImages(HWND addressBar, HIMAGELIST list)
    : addressBar_(addressBar), list_(list), count_(ImageList_GetImageCount(list_)) {
    SendMessageW(addressBar_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list_));
}

AddressBarImages::~AddressBarImages() {
    if (IsWindow(addressBar_)) SendMessageW(addressBar_, CBEM_SETIMAGELIST, 0, 0);
    if (list_) ImageList_Destroy(list_);
}

void AddImageEntries(HWND addressBar, const std::vector<AddressBarEntry>& entries) {
    for (const AddressBarEntry& entry : entries) {
        COMBOBOXEXITEMW item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        item.iItem = -1;
        item.pszText = const_cast<WCHAR*>(entry.text.c_str());
        item.iImage = entry.image;
        item.iSelectedImage = entry.image;
        SendMessageW(addressBar, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}
