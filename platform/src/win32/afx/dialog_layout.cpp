// The in-memory dialog template: a header, the font, then one item a control,
// each on a four-byte boundary, all strings UTF-16 and NUL-ended.
#include "dialog_layout.h"

#include "text.h"

#include <cstring>
#include <string>

namespace {

class Words {
public:
    void Word(std::uint32_t value) { m_words.push_back(static_cast<std::uint16_t>(value)); }
    void Double(std::uint32_t value) {
        Word(value & 0xFFFF);
        Word(value >> 16);
    }
    void Text(const std::wstring& text) {
        for (wchar_t ch : text) {
            Word(static_cast<std::uint16_t>(ch));
        }
        Word(0);
    }
    void AlignToDouble() {
        if (m_words.size() % 2 != 0) {
            Word(0);
        }
    }
    std::vector<std::uint16_t> Take() { return std::move(m_words); }

private:
    std::vector<std::uint16_t> m_words;
};

// The system's own atom for a predefined class; 0 for a class named by text.
std::uint16_t ClassAtom(const char* windowClass) {
    static const struct {
        const char* name;
        std::uint16_t atom;
    } kAtoms[] = {{WC_BUTTON, 0x80},
                  {WC_EDIT, 0x81},
                  {WC_STATIC, 0x82},
                  {WC_LISTBOX, 0x83},
                  {WC_COMBOBOX, 0x85}};
    for (const auto& entry : kAtoms) {
        if (std::strcmp(entry.name, windowClass) == 0) {
            return entry.atom;
        }
    }
    return 0;
}

} // namespace

std::vector<std::uint16_t> BuildDialogLayout(const DialogTemplate& layout) {
    Words words;
    words.Word(1);      // dlgVer
    words.Word(0xFFFF); // signature: the extended form
    words.Double(0);    // helpID
    words.Double(layout.exStyle);
    const bool font = (layout.style & DS_SETFONT) != 0;
    words.Double(font ? layout.style | kShellFontStyle : layout.style);
    words.Word(static_cast<std::uint32_t>(layout.controls.size()));
    words.Word(0); // x
    words.Word(0); // y
    words.Word(static_cast<std::uint32_t>(layout.cx));
    words.Word(static_cast<std::uint32_t>(layout.cy));
    words.Word(0); // no menu
    words.Word(0); // the standard dialog class
    words.Text(WideOfAnsi(layout.caption != nullptr ? layout.caption : ""));
    if (font) {
        words.Word(static_cast<std::uint32_t>(layout.pointSize));
        words.Word(400);    // normal weight
        words.Word(0x0100); // not italic; the default character set
        words.Text(WideOfAnsi(kDialogFace));
    }
    for (const ControlTemplate& control : layout.controls) {
        words.AlignToDouble();
        words.Double(0); // helpID
        words.Double(0); // exStyle
        words.Double(control.style);
        words.Word(static_cast<std::uint32_t>(control.x));
        words.Word(static_cast<std::uint32_t>(control.y));
        words.Word(static_cast<std::uint32_t>(control.cx));
        words.Word(static_cast<std::uint32_t>(control.cy));
        words.Double(static_cast<std::uint32_t>(control.id));
        if (const std::uint16_t atom = ClassAtom(control.windowClass)) {
            words.Word(0xFFFF);
            words.Word(atom);
        } else {
            words.Text(WideOfAnsi(control.windowClass));
        }
        const bool icon = std::strcmp(control.windowClass, WC_STATIC) == 0 &&
                          (control.style & SS_TYPEMASK) == SS_ICON;
        words.Text(icon || control.text == nullptr ? std::wstring() : WideOfAnsi(control.text));
        words.Word(0); // no creation data
    }
    return words.Take();
}
