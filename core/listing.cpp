#include "core/listing.h"

#include "BackupDlg.h"

#include <cstdio>

CString FormatListingRow(int offset, const unsigned char* data) {
    char row[64];
    int used = std::snprintf(row, sizeof row, "%04X\t", static_cast<unsigned>(offset));
    for (int i = 0; i < 16; ++i) {
        used += std::snprintf(row + used, sizeof row - static_cast<std::size_t>(used), "%02X ",
                              static_cast<unsigned>(data[i]));
    }
    return CString(row, static_cast<std::size_t>(used));
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
