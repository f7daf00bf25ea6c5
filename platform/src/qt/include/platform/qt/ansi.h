// Conversion between the framework's 8-bit Windows-1252 text and the
// toolkit's Unicode strings.
#pragma once

#include <QString>
#include <string>

// Every byte maps to one character; the five bytes Windows-1252 leaves
// undefined map to the C1 control characters of the same value.
QString AnsiToQString(const std::string& text);

// Characters outside Windows-1252 become '?'. The text ends at its first zero.
std::string QStringToAnsi(const QString& text);

// For message boxes, whose texts may carry file paths in the file system's
// UTF-8: text that is valid UTF-8 is read as UTF-8, anything else as Windows-1252.
QString DisplayTextToQString(const std::string& text);
