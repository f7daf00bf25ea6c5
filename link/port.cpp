// The serial port link: opening the port with the receiver's line settings,
// reading one line, writing a text, closing.
#include "link/ScannerLink.h"
#include "link/timeouts.h"

#include <cstring>

namespace {
// Longer than any protocol line; the bytes of a longer line past it are read
// and dropped, so such a line can never pass for a protocol line.
constexpr std::size_t kMaxLineLength = 256;
// How often a wait asks whether to go on: often enough to keep a window
// painted and to notice a cancel request at once, seldom enough to cost
// nothing while bytes arrive.
constexpr auto kCheckInterval = std::chrono::milliseconds(15);
} // namespace

CloneTimeouts& LinkTimeouts() {
    static CloneTimeouts timeouts;
    return timeouts;
}

CScannerLink::~CScannerLink() {
    if (m_hPort != nullptr && m_hPort != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hPort);
    }
}

int CScannerLink::OpenPort() {
    const CString portName = m_report.PortName();
    m_hPort = OpenSerialPort(portName);
    if (m_hPort == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DCB dcb;
    if (!GetCommState(m_hPort, dcb)) {
        ClosePort();
        return 0;
    }
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    if (!SetCommState(m_hPort, dcb)) {
        ClosePort();
        return 0;
    }
    return 1;
}

LineResult CScannerLink::ReadLine(CString& line, LinkClock::time_point deadline) {
    line.clear();
    m_report.ShowNow();
    for (;;) {
        // The deadline and a cancel request are looked at between bytes too,
        // so that a receiver that sends without end cannot hold the transfer.
        const auto now = LinkClock::now();
        if (now >= deadline) {
            return LineResult::TimedOut;
        }
        if (now - m_lastCheck >= kCheckInterval) {
            m_lastCheck = now;
            if (!m_report.KeepWaiting()) {
                return LineResult::Cancelled;
            }
        }
        const auto until = std::min(deadline, m_lastCheck + kCheckInterval);
        const auto sliceMs = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        std::uint8_t byte = 0;
        switch (ReadFile(m_hPort, byte, static_cast<int>(sliceMs))) {
        case ReadResult::Ok:
            break;
        case ReadResult::TimedOut:
            continue;
        case ReadResult::Failed:
            return LineResult::ReadFailed;
        }
        if (byte < 0x20) {
            return LineResult::Ok;
        }
        if (line.size() < kMaxLineLength) {
            line.push_back(static_cast<char>(byte));
        }
    }
}

bool CScannerLink::SendText(const char* text) {
    const bool written = WriteFile(m_hPort, text, std::strlen(text));
    m_report.ShowNow();
    return written;
}

void CScannerLink::ClosePort() {
    CloseHandle(m_hPort);
    m_hPort = nullptr;
    m_report.ShowNow();
}
