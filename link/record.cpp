#include "link/record.h"

#include "core/hex.h"

unsigned RecordChecksum(std::string_view line) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 41 && i < line.size(); ++i) {
        sum += static_cast<unsigned char>(line[i]);
    }
    return sum;
}

int HexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    return -1;
}

CString FormatRecordLine(int offset, const unsigned char* data) {
    CString record = "CLN ";
    record.reserve(kRecordLineLength);
    AppendHex(record, static_cast<unsigned>(offset), 4);
    record.push_back(' ');
    for (int i = 0; i < 16; ++i) {
        AppendHex(record, data[i], 2);
    }
    const unsigned sum = RecordChecksum(record);
    record.push_back('~');
    AppendHex(record, sum, 4);
    return record;
}

bool IsValidRecordLine(std::string_view line) {
    if (line.size() != kRecordLineLength || line.substr(0, 4) != "CLN " || line[8] != ' ' ||
        line[41] != '~') {
        return false;
    }
    for (std::size_t i = 9; i <= 40; ++i) {
        if (HexDigitValue(line[i]) < 0) {
            return false;
        }
    }
    unsigned stated = 0;
    for (std::size_t i = kRecordChecksumStart; i < kRecordLineLength; ++i) {
        const int value = HexDigitValue(line[i]);
        if (value < 0) {
            return false;
        }
        stated = stated * 16 + static_cast<unsigned>(value);
    }
    return stated == RecordChecksum(line);
}
