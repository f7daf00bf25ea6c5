#pragma once

#include <string>

// Appends value in upper-case hexadecimal, zero-padded to at least the given
// number of digits, as "%0*X" would, without the cost of a formatted print.
inline void AppendHex(std::string& out, unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char buffer[8];
    int used = 0;
    do {
        buffer[used++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 && used < 8);
    for (int pad = used; pad < digits; ++pad) {
        out.push_back('0');
    }
    while (used > 0) {
        out.push_back(buffer[--used]);
    }
}
