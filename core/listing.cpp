#include "core/listing.h"

#include "BackupDlg.h"
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

void CBackupDlg::RefreshListing() {
    CWnd* contents = GetDlgItem(IDC_CONTENTS);
    contents->SendMessage(LB_RESETCONTENT);
    if (m_imageLength <= 0) {
        return;
    }
    // The image never holds more than its buffer; a last block may reach past
    // the valid count but never past the buffer.
    for (int offset = 0; offset < m_imageLength && offset + 16 <= kImageSize; offset += 16) {
        const CString row = FormatListingRow(offset, m_image + offset);
        contents->SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
}
