#include "BackupDlg.h"
#include "link/record.h"
#include "link/timeouts.h"

#include <cstdio>
#include <cstring>

namespace {

CString BlockText(const char* prefix, int offset) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%04x...", prefix, static_cast<unsigned>(offset));
    return text;
}

} // namespace

int CBackupDlg::FailTransfer(const CString& status) {
    ShowStatus(status);
    ClosePort();
    return 0;
}

int CBackupDlg::FailRead(LineResult result) {
    switch (result) {
    case LineResult::TimedOut:
        return FailTransfer("ERROR: No response from scanner");
    case LineResult::Cancelled:
        return FailTransfer("ERROR: Transfer cancelled");
    case LineResult::ReadFailed:
    case LineResult::Ok:
        break;
    }
    return FailTransfer("ERROR: Serial port read failed");
}

int CBackupDlg::Download() {
    if (m_hPort == nullptr) {
        return 0;
    }
    CTransferScope transfer;
    const CloneTimeouts& timeouts = LinkTimeouts();
    CString line;

    ShowStatus("Awaiting MDL query...");
    if (const LineResult got = ReadLine(line, timeouts.firstLineMs); got != LineResult::Ok) {
        return FailRead(got);
    }
    if (line != "MDL") {
        return FailTransfer("ERROR: Incorrect response to MDL query");
    }

    ShowStatus("Writing model information...");
    SendText("BC245XLT0\r");

    // A download that fails from here on gives back the image it replaced, so
    // that a later save or upload never takes a half-received image for it.
    const std::int32_t previousLength = m_imageLength;
    unsigned char previousImage[kImageSize];
    std::memcpy(previousImage, m_image, sizeof previousImage);
    const auto restore = [&] {
        m_imageLength = previousLength;
        std::memcpy(m_image, previousImage, sizeof previousImage);
    };

    m_imageLength = 0;
    int offset = 0;
    for (;;) {
        ShowStatus(BlockText("Awaiting data for block ", offset));
        // The line feed of a CR LF pair arrives as an empty line: skip it.
        do {
            if (const LineResult got = ReadLine(line, timeouts.lineMs); got != LineResult::Ok) {
                restore();
                return FailRead(got);
            }
        } while (line.empty());
        if (line == "END") {
            break;
        }
        if (!IsValidRecordLine(line)) {
            restore();
            return FailTransfer("ERROR: Invalid data from scanner");
        }
        if (offset + 16 > kImageSize) {
            restore();
            return FailTransfer("ERROR: Too much data from scanner");
        }
        DecodeRecord(line, offset);
        SendText("OK\r");
        m_imageLength += 16;
        StepProgress();
        offset += 16;
    }

    ShowStatus("Download complete.");
    GetDlgItem(IDC_SAVE)->EnableWindow(TRUE);
    RefreshListing();
    ClosePort();
    return 1;
}

int CBackupDlg::Upload() {
    if (m_hPort == nullptr) {
        return 0;
    }
    CTransferScope transfer;
    const CloneTimeouts& timeouts = LinkTimeouts();
    CString line;

    ShowStatus("Sending MDL query...");
    SendText("MDL\r");
    if (const LineResult got = ReadLine(line, timeouts.lineMs); got != LineResult::Ok) {
        return FailRead(got);
    }
    if (line != "BC245XLT0") {
        return FailTransfer("ERROR: Incorrect response to MDL query");
    }

    for (int offset = 0; offset < m_imageLength && offset + 16 <= kImageSize; offset += 16) {
        ShowStatus(BlockText("Writing data for block ", offset));
        CString record;
        FormatRecord(offset, record);
        record += '\r';
        SendText(record.c_str());
        if (const LineResult got = ReadLine(line, timeouts.lineMs); got != LineResult::Ok) {
            return FailRead(got);
        }
        if (line == "NG") {
            ShowStatus("ERROR: Data rejected by scanner");
            SendText("END\r");
            ClosePort();
            return 0;
        }
        StepProgress();
    }

    SendText("END\r");
    ShowStatus("Upload complete.");
    ClosePort();
    return 1;
}

void CBackupDlg::FormatRecord(int offset, CString& record) {
    record = FormatRecordLine(offset, m_image + offset);
}

void CBackupDlg::DecodeRecord(const CString& line, int offset) {
    if (line.size() < 41 || offset < 0 || offset + 16 > kImageSize) {
        return;
    }
    for (int i = 0; i < 16; ++i) {
        const int high = HexDigitValue(line[static_cast<std::size_t>(9 + 2 * i)]);
        const int low = HexDigitValue(line[static_cast<std::size_t>(10 + 2 * i)]);
        m_image[offset + i] = static_cast<unsigned char>((16 * high + low) & 0xFF);
    }
}
