// The default icon of Internet shortcuts (HKLM\SOFTWARE\Classes\InternetShortcut\DefaultIcon)
// set to a chosen icon location for the lifetime of the object; the value found before is
// written back by the destructor, or the key removed when it did not exist.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

class ShortcutIconSetting {
public:
    // location as the value holds it: "file,index"; null removes the value.
    explicit ShortcutIconSetting(const wchar_t* location);
    ~ShortcutIconSetting();
    ShortcutIconSetting(const ShortcutIconSetting&) = delete;
    ShortcutIconSetting& operator=(const ShortcutIconSetting&) = delete;

    bool Applied() const { return applied_; }

private:
    bool applied_ = false;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_SZ;
    std::vector<BYTE> data_;
};
