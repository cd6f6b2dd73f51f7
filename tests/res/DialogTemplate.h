// Reads a dialog template resource (DLGTEMPLATE or DLGTEMPLATEEX with their items) into plain
// values, so tests can compare what the resource compiler wrote with what the dialogs need.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct DialogControl {
    int id = 0; // -1 for the unnamed statics, whatever the template's id width
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    // The class by name; the predefined atoms 0x0080 to 0x0085 are given as "Button", "Edit",
    // "Static", "ListBox", "ScrollBar" and "ComboBox". classAtom keeps the atom (0: a name).
    std::wstring className;
    WORD classAtom = 0;
    std::wstring text;
    WORD textResource = 0; // non-zero when the title is a resource ordinal, not a string
    WORD extraBytes = 0;
};

struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu;        // empty when the dialog has none; "#n" for a menu ordinal
    std::wstring windowClass; // empty for the default dialog class; "#n" for an atom
    std::wstring caption;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0; // extended templates only
    BYTE italic = 0;
    BYTE charset = 0;
    std::wstring fontName;
    std::vector<DialogControl> controls;
};

// Parses size bytes of a template. On failure returns false and says where in *error.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* result, std::string* error);
