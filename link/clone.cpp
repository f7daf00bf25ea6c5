// The clone protocol: Download plays the receiving unit, Upload the sending
// unit; FormatRecord and DecodeRecord turn a block into a record line and back.
#include "link/ScannerLink.h"
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

constexpr char kWriteFailed[] = "ERROR: Serial port write failed";

} // namespace

int CScannerLink::FailTransfer(const CString& status, TransferFailure why) {
    m_report.ShowStatus(status);
    m_report.TransferFailed(why);
    ClosePort();
    return 0;
}

int CScannerLink::FailRead(LineResult result) {
    switch (result) {
    case LineResult::TimedOut:
        return FailTransfer("ERROR: No response from scanner", TransferFailure::NoResponse);
    case LineResult::Cancelled:
        return FailTransfer("ERROR: Transfer cancelled", TransferFailure::Cancelled);
    case LineResult::ReadFailed:
    case LineResult::Ok:
        break;
    }
    return FailTransfer("ERROR: Serial port read failed", TransferFailure::ReadFailed);
}

LineResult CScannerLink::ReadReply(CString& line, LinkClock::time_point deadline) {
    // The line feed of a CR LF pair, or any other lone control byte, arrives
    // as an empty line: it carries nothing and is skipped, within the same
    // deadline, so that line noise can neither answer for the receiver nor
    // hold the transfer.
    LineResult got = LineResult::Ok;
    do {
        got = ReadLine(line, deadline);
    } while (got == LineResult::Ok && line.empty());
    return got;
}

int CScannerLink::Download() {
    if (m_hPort == nullptr) {
        return 0;
    }
    const CloneTimeouts& timeouts = LinkTimeouts();
    CString line;

    m_report.ShowStatus("Awaiting MDL query...");
    // What a receiver that ends its lines with CR LF left of the last
    // exchange arrives as empty lines before the query.
    if (const LineResult got = ReadReply(line, DeadlineIn(timeouts.firstLineMs));
        got != LineResult::Ok) {
        return FailRead(got);
    }
    if (line != "MDL") {
        return FailTransfer("ERROR: Incorrect response to MDL query", TransferFailure::WrongModel);
    }

    m_report.ShowStatus("Writing model information...");
    if (!SendText("BC245XLT0\r")) {
        return FailTransfer(kWriteFailed, TransferFailure::WriteFailed);
    }

    // The records are decoded into a local image, which replaces the member
    // image only once the end line has come: a download that fails on the way
    // leaves the image as it was.
    unsigned char image[kImageSize] = {};
    std::int32_t imageLength = 0;
    int offset = 0;
    for (;;) {
        m_report.ShowBlockStatus(BlockText("Awaiting data for block ", offset));
        if (const LineResult got = ReadReply(line, DeadlineIn(timeouts.lineMs));
            got != LineResult::Ok) {
            return FailRead(got);
        }
        if (line == "END") {
            break;
        }
        if (!IsValidRecordLine(line)) {
            return FailTransfer("ERROR: Invalid data from scanner", TransferFailure::InvalidData);
        }
        if (offset + kBlockSize > kImageSize) {
            return FailTransfer("ERROR: Too much data from scanner", TransferFailure::TooMuchData);
        }
        DecodeRecord(line, offset, image);
        if (!SendText("OK\r")) {
            return FailTransfer(kWriteFailed, TransferFailure::WriteFailed);
        }
        imageLength += kBlockSize;
        m_report.StepProgress();
        offset += kBlockSize;
    }

    std::memcpy(m_image, image, static_cast<std::size_t>(imageLength));
    m_imageLength = imageLength;
    m_report.ShowStatus("Download complete.");
    m_report.DownloadComplete();
    ClosePort();
    return 1;
}

int CScannerLink::Upload() {
    if (m_hPort == nullptr) {
        return 0;
    }
    const CloneTimeouts& timeouts = LinkTimeouts();
    CString line;

    m_report.ShowStatus("Sending MDL query...");
    if (!SendText("MDL\r")) {
        return FailTransfer(kWriteFailed, TransferFailure::WriteFailed);
    }
    if (const LineResult got = ReadLine(line, DeadlineIn(timeouts.lineMs)); got != LineResult::Ok) {
        return FailRead(got);
    }
    if (line != "BC245XLT0") {
        return FailTransfer("ERROR: Incorrect response to MDL query", TransferFailure::WrongModel);
    }

    for (int offset = 0; offset < m_imageLength && offset + kBlockSize <= kImageSize;
         offset += kBlockSize) {
        m_report.ShowBlockStatus(BlockText("Writing data for block ", offset));
        CString record;
        FormatRecord(offset, record);
        record += '\r';
        if (!SendText(record.c_str())) {
            return FailTransfer(kWriteFailed, TransferFailure::WriteFailed);
        }
        if (const LineResult got = ReadReply(line, DeadlineIn(timeouts.lineMs));
            got != LineResult::Ok) {
            return FailRead(got);
        }
        if (line == "NG") {
            m_report.ShowStatus("ERROR: Data rejected by scanner");
            m_report.TransferFailed(TransferFailure::Rejected);
            SendText("END\r");
            ClosePort();
            return 0;
        }
        m_report.StepProgress();
    }

    if (!SendText("END\r")) {
        return FailTransfer(kWriteFailed, TransferFailure::WriteFailed);
    }
    m_report.ShowStatus("Upload complete.");
    ClosePort();
    return 1;
}

void CScannerLink::FormatRecord(int offset, CString& record) {
    record = FormatRecordLine(offset, m_image + offset);
}

void CScannerLink::DecodeRecord(const CString& line, int offset,
                                unsigned char (&image)[kImageSize]) {
    if (line.size() < 41 || offset < 0 || offset + kBlockSize > kImageSize) {
        return;
    }
    for (int i = 0; i < kBlockSize; ++i) {
        const int high = HexDigitValue(line[static_cast<std::size_t>(9 + 2 * i)]);
        const int low = HexDigitValue(line[static_cast<std::size_t>(10 + 2 * i)]);
        image[offset + i] = static_cast<unsigned char>((16 * high + low) & 0xFF);
    }
}
