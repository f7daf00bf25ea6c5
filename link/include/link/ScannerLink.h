// The scanner link: the memory image, the serial port and the clone protocol
// in both roles, with no window. It reports what a transfer does through a
// LinkReport: the window implements one, and so does the command-line tool.
#pragma once

#include "core/image.h"
#include "platform/serial.h"
#include "platform/types.h"

#include <chrono>
#include <cstdint>

using LinkClock = std::chrono::steady_clock;

// How a wait for a line from the receiver ended.
enum class LineResult {
    Ok,
    TimedOut,
    ReadFailed,
    Cancelled,
};

// Why a transfer failed, beside the status text that says it.
enum class TransferFailure {
    NoResponse,  // the receiver did not answer in time
    WrongModel,  // the answer to the model query was not the receiver's
    InvalidData, // a record line that is not one
    TooMuchData, // more records than the memory holds
    Rejected,    // the receiver refused a record
    WriteFailed, // the port took no more bytes
    ReadFailed,  // the port failed or went away
    Cancelled,   // the user asked to stop
};

// What the link asks of whoever runs it.
class LinkReport {
public:
    virtual ~LinkReport() = default;
    // The port OpenPort opens: "COM1".."COM4" or a device path.
    virtual CString PortName() = 0;
    // Replaces the status text.
    virtual void ShowStatus(const CString& text) = 0;
    // Replaces the status text with one that names the block a transfer is
    // at: one of these comes for every block.
    virtual void ShowBlockStatus(const CString& text) { ShowStatus(text); }
    // Advances the progress by one block.
    virtual void StepProgress() = 0;
    // Makes what was shown or stepped visible now. The link calls it after
    // each write, before each wait and when a transfer ends, so that a status
    // text is painted once, after the write it announces.
    virtual void ShowNow() {}
    // Asked while the link waits for the receiver, at least every 50 ms and
    // at most every 15 ms; false when the user cancelled.
    virtual bool KeepWaiting() = 0;
    // A download has reached its end line and the image holds what came.
    virtual void DownloadComplete() = 0;
    // A transfer failed, for the reason given; its status text came before.
    virtual void TransferFailed(TransferFailure) {}
};

class CScannerLink {
public:
    static constexpr int kImageSize = ::kImageSize;

    explicit CScannerLink(LinkReport& report) : m_report(report) {}
    virtual ~CScannerLink();
    CScannerLink(const CScannerLink&) = delete;
    CScannerLink& operator=(const CScannerLink&) = delete;

    int OpenPort();
    LineResult ReadLine(CString& line, LinkClock::time_point deadline);
    bool SendText(const char* text);
    int Download();
    int Upload();
    void FormatRecord(int offset, CString& record);
    void DecodeRecord(const CString& line, int offset, unsigned char (&image)[kImageSize]);

    std::int32_t m_imageLength = 0;
    HANDLE m_hPort = nullptr;
    unsigned char m_image[kImageSize] = {};

private:
    void ClosePort();
    // Ends a transfer through its failure path: the text on the status line,
    // the reason to the report, the port closed, 0 for the caller.
    int FailTransfer(const CString& status, TransferFailure why);
    int FailRead(LineResult result);
    // Reads the next line that is not empty, within one deadline.
    LineResult ReadReply(CString& line, LinkClock::time_point deadline);

    LinkReport& m_report;
    LinkClock::time_point m_lastCheck{};
};

// A deadline the given number of milliseconds from now.
inline LinkClock::time_point DeadlineIn(int milliseconds) {
    return LinkClock::now() + std::chrono::milliseconds(milliseconds);
}
