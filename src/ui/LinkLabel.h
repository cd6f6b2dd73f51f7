// Static text controls of a dialog that behave as hyperlinks: a hand cursor over them, the
// text underlined while the pointer is on it, the click reported to the dialog (SS_NOTIFY).
// A label with a tab stop also takes the keyboard: a focus rectangle while it has the focus,
// and Enter or Space reported as a click.
#pragma once

#include <windows.h>

#include "env/Handles.h"
#include "ui/WindowSubclass.h"

// Keeps a label underlined after the pointer leaves it when present with any non-null value.
constexpr WCHAR UnderlineAlwaysProp[] = L"Underline Always";

// The properties through which a link label finds its owner and its previous procedure. The
// record list's subclass uses the same names: each window carries one set.
inline constexpr WCHAR LinkOwnerProp[] = L"{A6381A91-EF3F-44ca-97A7-39CA5650FB8E}";
inline constexpr WCHAR LinkProcProp[] = L"{B97AE1D3-AEF0-4467-877D-5D958855BDED}";

// What the dialog that owns link labels provides them: the two fonts it creates and deletes,
// and the subclass through which the labels find it again.
class LinkLabelOwner {
public:
    LinkLabelOwner(const WCHAR* ownerPropName, const WCHAR* procPropName)
        : linkSubclass(ownerPropName, procPropName) {}
    virtual ~LinkLabelOwner() = default;

    // Copies the first label's font into a normal and an underlined font, then underlines
    // and subclasses every label.
    void AttachLinkLabels(HWND dialog, const int* labelIds, int count);
    // Gives every label the normal font back, removes the subclass and deletes both fonts.
    void DetachLinkLabels(HWND dialog, const int* labelIds, int count);

    UniqueFont normalFont;
    UniqueFont underlinedFont;
    WindowSubclass linkSubclass;
};

LRESULT CALLBACK LinkLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
