// The framework's 8-bit text is Windows-1252: every byte is one character.
// These map it to and from Unicode, with no toolkit.
#pragma once

#include <string>
#include <string_view>

// The character of a byte; the five bytes Windows-1252 leaves undefined map
// to the C1 control characters of the same value.
char32_t AnsiCharOf(unsigned char byte);

// The byte of a character, or -1 when Windows-1252 has none for it.
int AnsiByteOf(char32_t ch);

// UTF-8 text (a terminal's, a command line's) as Windows-1252; characters
// outside it, and bytes that are not UTF-8, become '?'.
std::string Utf8ToAnsi(std::string_view text);

// Windows-1252 text as UTF-8.
std::string AnsiToUtf8(std::string_view text);
