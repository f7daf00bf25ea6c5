#include "core/listing.h"

#include "core/hex.h"

CString FormatListingRow(int offset, const unsigned char* data) {
    CString row;
    row.reserve(53);
    AppendHex(row, static_cast<unsigned>(offset), 4);
    row.push_back('\t');
    for (int i = 0; i < 16; ++i) {
        AppendHex(row, data[i], 2);
        row.push_back(' ');
    }
    return row;
}
