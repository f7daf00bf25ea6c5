#include "platform/qt/ansi.h"

#include "platform/codepage.h"

#include <QList>

QString AnsiToQString(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        result.append(QChar(static_cast<char16_t>(AnsiCharOf(static_cast<unsigned char>(c)))));
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
        const int byte = AnsiByteOf(code);
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
