// Text between the framework's code page and the system's UTF-16.
#include "text.h"

#include "../system.h"
#include "platform/codepage.h"

namespace {

bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80             ? 1
                                   : (lead & 0xE0) == 0xC0 ? 2
                                   : (lead & 0xF0) == 0xE0 ? 3
                                   : (lead & 0xF8) == 0xF0 ? 4
                                                           : 0;
        if (length == 0 || i + length > text.size() || (length == 2 && lead < 0xC2)) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace

std::wstring WideOfAnsi(const CString& text) {
    return win::Wide(AnsiToUtf8(text));
}

CString AnsiOfWide(const std::wstring& text) {
    return Utf8ToAnsi(win::Utf8(text));
}

std::wstring WideOfDisplayText(const CString& text) {
    return IsUtf8(text) ? win::Wide(text) : WideOfAnsi(text);
}
