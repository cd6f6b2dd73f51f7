#include "res/DialogTemplate.h"

#include <cstring>

namespace {

// A bounds-checked cursor over the template bytes; the first failure sticks.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool Failed() const { return !failure_.empty(); }
    const std::string& Failure() const { return failure_; }

    WORD Word(const char* what) {
        WORD value = 0;
        Read(&value, sizeof(value), what);
        return value;
    }
    DWORD Dword(const char* what) {
        DWORD value = 0;
        Read(&value, sizeof(value), what);
        return value;
    }
    BYTE Byte(const char* what) {
        BYTE value = 0;
        Read(&value, sizeof(value), what);
        return value;
    }
    short Short(const char* what) { return static_cast<short>(Word(what)); }

    // A zero-terminated UTF-16 string.
    std::wstring String(const char* what) {
        std::wstring text;
        for (;;) {
            WORD unit = Word(what);
            if (Failed() || unit == 0) return text;
            text.push_back(static_cast<wchar_t>(unit));
        }
    }

    // sz_Or_Ord: 0x0000 for none, 0xFFFF and an ordinal, or a string.
    std::wstring StringOrOrdinal(const char* what, WORD* ordinal) {
        *ordinal = 0;
        WORD first = Word(what);
        if (Failed() || first == 0) return {};
        if (first == 0xFFFF) {
            *ordinal = Word(what);
            return {};
        }
        std::wstring text(1, static_cast<wchar_t>(first));
        return text + String(what);
    }

    void Skip(size_t count, const char* what) {
        if (Failed()) return;
        if (offset_ > size_ || count > size_ - offset_) {
            Fail(what);
            return;
        }
        offset_ += count;
    }

    // Items start on a DWORD boundary from the start of the template.
    void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

private:
    void Read(void* target, size_t count, const char* what) {
        if (Failed()) return;
        if (offset_ > size_ || count > size_ - offset_) {
            Fail(what);
            return;
        }
        memcpy(target, data_ + offset_, count);
        offset_ += count;
    }
    void Fail(const char* what) {
        failure_ = std::string("template ends inside ") + what + " at byte " +
                   std::to_string(offset_) + " of " + std::to_string(size_);
    }

    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    std::string failure_;
};

std::wstring PredefinedClassName(WORD atom) {
    switch (atom) {
    case 0x0080:
        return L"Button";
    case 0x0081:
        return L"Edit";
    case 0x0082:
        return L"Static";
    case 0x0083:
        return L"ListBox";
    case 0x0084:
        return L"ScrollBar";
    case 0x0085:
        return L"ComboBox";
    }
    return L"#" + std::to_wstring(atom);
}

std::wstring OrdinalText(const std::wstring& text, WORD ordinal) {
    return ordinal ? L"#" + std::to_wstring(ordinal) : text;
}

DialogControl ReadControl(TemplateReader& in, bool extended) {
    DialogControl control;
    in.AlignDword();
    if (extended) {
        control.helpId = in.Dword("item help id");
        control.exStyle = in.Dword("item extended style");
        control.style = in.Dword("item style");
    } else {
        control.style = in.Dword("item style");
        control.exStyle = in.Dword("item extended style");
    }
    control.x = in.Short("item x");
    control.y = in.Short("item y");
    control.cx = in.Short("item width");
    control.cy = in.Short("item height");
    if (extended)
        control.id = static_cast<int>(in.Dword("item id"));
    else
        control.id = static_cast<short>(in.Word("item id"));
    control.className = in.StringOrOrdinal("item class", &control.classAtom);
    if (control.classAtom) control.className = PredefinedClassName(control.classAtom);
    control.text = in.StringOrOrdinal("item title", &control.textResource);
    control.extraBytes = in.Word("item creation data size");
    in.Skip(control.extraBytes, "item creation data");
    return control;
}

} // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* result,
                         std::string* error) {
    *result = DialogTemplate();
    TemplateReader in(static_cast<const BYTE*>(data), size);
    DialogTemplate& dialog = *result;

    WORD version = in.Word("header");
    WORD signature = in.Word("header");
    dialog.extended = version == 1 && signature == 0xFFFF;
    WORD count = 0;
    if (dialog.extended) {
        dialog.helpId = in.Dword("help id");
        dialog.exStyle = in.Dword("extended style");
        dialog.style = in.Dword("style");
    } else {
        dialog.style = MAKELONG(version, signature);
        dialog.exStyle = in.Dword("extended style");
    }
    count = in.Word("item count");
    dialog.x = in.Short("x");
    dialog.y = in.Short("y");
    dialog.cx = in.Short("width");
    dialog.cy = in.Short("height");
    WORD ordinal = 0;
    dialog.menu = in.StringOrOrdinal("menu", &ordinal);
    dialog.menu = OrdinalText(dialog.menu, ordinal);
    dialog.windowClass = in.StringOrOrdinal("window class", &ordinal);
    dialog.windowClass = OrdinalText(dialog.windowClass, ordinal);
    dialog.caption = in.String("caption");
    // DS_SETFONT, or DS_SHELLFONT (which includes it), announces the font fields.
    dialog.hasFont = (dialog.style & DS_SETFONT) != 0;
    if (dialog.hasFont) {
        dialog.pointSize = in.Word("font size");
        if (dialog.extended) {
            dialog.weight = in.Word("font weight");
            dialog.italic = in.Byte("font italic flag");
            dialog.charset = in.Byte("font character set");
        }
        dialog.fontName = in.String("font name");
    }
    for (WORD i = 0; i < count && !in.Failed(); i++)
        dialog.controls.push_back(ReadControl(in, dialog.extended));

    if (in.Failed()) {
        *error = in.Failure();
        return false;
    }
    return true;
}
