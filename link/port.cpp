#include "BackupDlg.h"
#include "link/timeouts.h"

#include <chrono>
#include <cstring>

namespace {
// Longer than any protocol line; the bytes of a longer line past it are read
// and dropped, so such a line can never pass for a protocol line.
constexpr std::size_t kMaxLineLength = 256;
} // namespace

CloneTimeouts& LinkTimeouts() {
    static CloneTimeouts timeouts;
    return timeouts;
}

int CBackupDlg::OpenPort() {
    CString portName;
    GetDlgItem(IDC_PORT)->GetWindowText(portName);
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

LineResult CBackupDlg::ReadLine(CString& line, int timeoutMs) {
    line.clear();
    // The time allowed covers the whole line, so a receiver that keeps sending
    // without ever ending a line cannot hold the transfer either.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const WaitHook whileWaiting = [] { return CTransferScope::PumpWhileWaiting(); };
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        std::uint8_t byte = 0;
        switch (ReadFile(m_hPort, byte, left > 0 ? static_cast<int>(left) : 0, whileWaiting)) {
        case ReadResult::Ok:
            break;
        case ReadResult::TimedOut:
            return LineResult::TimedOut;
        case ReadResult::Cancelled:
            return LineResult::Cancelled;
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

void CBackupDlg::SendText(const char* text) {
    WriteFile(m_hPort, text, std::strlen(text));
}

void CBackupDlg::ClosePort() {
    CloseHandle(m_hPort);
    m_hPort = nullptr;
}
