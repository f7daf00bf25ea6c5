// Record lines of the clone protocol: "CLN " + offset + " " + 32 hex digits
// + "~" + checksum, 46 characters without the line's carriage return.
#pragma once

#include "platform/types.h"

#include <string_view>

constexpr std::size_t kRecordLineLength = 46;
constexpr std::size_t kRecordChecksumStart = 42;

// The sum of the character codes of the 41 characters before the "~".
unsigned RecordChecksum(std::string_view line);

// The record line for the 16 bytes at data, which belong at the given offset.
CString FormatRecordLine(int offset, const unsigned char* data);

// Whether a received line is a well-formed record line: the length, "CLN " at
// 0, a space at 8, hex digits of either case at 9 to 40, "~" at 41 and a
// checksum at 42 to 45 that matches. The address field is not judged.
bool IsValidRecordLine(std::string_view line);

// The value of a hex digit of either case.
int HexDigitValue(char digit);
