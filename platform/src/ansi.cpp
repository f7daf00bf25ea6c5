#include "platform/ansi.h"

#include <QList>

namespace {

// Characters of the bytes 0x80 to 0x9F.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t CharOf(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : static_cast<char16_t>(byte);
}

int ByteOf(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
        return ch;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == ch) {
            return 0x80 + i;
        }
    }
    return -1;
}

} // namespace

QString AnsiToQString(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        result.append(QChar(CharOf(static_cast<unsigned char>(c))));
    }
    return result;
}

std::string QStringToAnsi(const QString& text) {
    std::string result;
    result.reserve(static_cast<std::size_t>(text.size()));
    const QList<uint> codes = text.toUcs4();
    for (const uint code : codes) {
        if (code == 0) {
            break;
        }
        const int byte = code <= 0xFFFF ? ByteOf(static_cast<char16_t>(code)) : -1;
        result.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return result;
}

QString DisplayTextToQString(const std::string& text) {
    const QString utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (!utf8.contains(QChar::ReplacementCharacter)) {
        return utf8;
    }
    return AnsiToQString(text);
}
