#include "virtual_receiver.h"

#include "link/record.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The same record with lower-case data digits and the checksum of what is sent.
std::string LowerHexData(std::string line) {
    for (std::size_t i = 9; i <= 40 && i < line.size(); ++i) {
        if (line[i] >= 'A' && line[i] <= 'F') {
            line[i] = static_cast<char>(line[i] - 'A' + 'a');
        }
    }
    char sum[8];
    std::snprintf(sum, sizeof sum, "%04X", RecordChecksum(line));
    line.replace(kRecordChecksumStart, 4, sum);
    return line;
}

} // namespace

std::unique_ptr<VirtualReceiver> VirtualReceiver::Create(const std::string& linkPath,
                                                         std::string& error,
                                                         const ReceiverSetup& setup) {
    std::unique_ptr<ReceiverLine> line = OpenPtyLine(linkPath, setup, error);
    return line ? std::make_unique<VirtualReceiver>(std::move(line), setup.baud) : nullptr;
}

void VirtualReceiver::Drain() {
    if (m_baud > 0) {
        // Paced bytes are timed to the microsecond on the thread that sends
        // them, not to the default 50.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
    m_line->Drain();
    m_pending.clear();
    m_arrivals.clear();
    m_sendClock = {};
    m_lateness = {};
    m_pacedBytes = 0;
}

void VirtualReceiver::PaceByte() {
    // Bytes leave on an absolute clock: a late wake-up does not shift the
    // bytes after it. The clock starts with an exchange's first byte and goes
    // on from each reply's arrival; a byte that cannot leave on time is late
    // by that much, and the clock starts again from it.
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / m_baud);
    const auto now = Clock::now();
    if (m_sendClock == Clock::time_point{}) {
        m_sendClock = now;
    } else if (m_sendClock + std::chrono::milliseconds(2) < now) {
        m_lateness = std::max(m_lateness, now - m_sendClock);
        m_sendClock = now;
    }
    m_sendClock += byteTime;
    std::this_thread::sleep_until(m_sendClock);
    m_lateness = std::max(m_lateness, Clock::now() - m_sendClock);
    ++m_pacedBytes;
}

bool VirtualReceiver::Fail(const std::string& problem) {
    m_problem = problem;
    return false;
}

bool VirtualReceiver::WaitForClient(int timeoutMs) {
    return m_line->WaitForPeer(timeoutMs) || Fail("nobody opened the port");
}

bool VirtualReceiver::WaitForClose(int timeoutMs) {
    if (!m_line->WaitForClose(timeoutMs)) {
        return false;
    }
    Drain();
    return true;
}

bool VirtualReceiver::Send(const std::string& line, bool crlf) {
    return SendRaw(line + (crlf ? "\r\n" : "\r"));
}

VirtualReceiver::Input VirtualReceiver::TakeInput(int waitMs) {
    const int fd = m_line->Fd();
    if (fd < 0) {
        return Input::Closed;
    }
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        m_wire.append(buffer, static_cast<std::size_t>(got));
        m_pending.append(buffer, static_cast<std::size_t>(got));
        // At a line rate each byte arrives one byte time after the one before.
        const auto now = Clock::now();
        const auto byteTime =
            m_baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / m_baud) : Clock::duration{};
        for (ssize_t i = 0; i < got; ++i) {
            m_lastArrival = std::max(m_lastArrival, now) + byteTime;
            m_arrivals.push_back(m_lastArrival);
        }
        return Input::Bytes;
    }
    if (got == 0) {
        return Input::Closed; // the far end of a socket went
    }
    if (errno != EAGAIN && errno != EIO && errno != EINTR) {
        return Input::Failed;
    }
    pollfd waiting{fd, POLLIN, 0};
    ::poll(&waiting, 1, waitMs);
    if ((waiting.revents & POLLHUP) != 0 && (waiting.revents & POLLIN) == 0) {
        return Input::Closed; // the program closed the port, or the device is gone
    }
    return Input::Nothing;
}

std::string VirtualReceiver::ReadAvailable(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (TakeInput(5) == Input::Closed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } while (m_line->Fd() >= 0 && MillisecondsLeft(deadline) > 0);
    std::string got;
    got.swap(m_pending);
    m_arrivals.clear();
    return got;
}

bool VirtualReceiver::SendRaw(const std::string& bytes) {
    if (m_baud > 0) {
        for (const char byte : bytes) {
            PaceByte();
            if (!SendBytes(std::string(1, byte))) {
                return false;
            }
        }
        return true;
    }
    return SendBytes(bytes);
}

bool VirtualReceiver::SendBytes(const std::string& bytes) {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size() && m_line->Fd() >= 0) {
        const int fd = m_line->Fd();
        const ssize_t put = m_line->Put(bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return Fail(std::string("write failed: ") + std::strerror(errno));
        } else if (MillisecondsLeft(deadline) == 0) {
            return Fail("write stalled");
        } else {
            pollfd waiting{fd, POLLOUT, 0};
            ::poll(&waiting, 1, 10);
        }
    }
    return done == bytes.size();
}

bool VirtualReceiver::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = m_pending.find('\r');
        if (end != std::string::npos) {
            if (end < m_arrivals.size()) {
                // The answer starts when the line has arrived, however late
                // this thread wakes up to it.
                std::this_thread::sleep_until(m_arrivals[end]);
                m_sendClock = std::max(m_sendClock, m_arrivals[end]);
            }
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            m_arrivals.erase(m_arrivals.begin(),
                             m_arrivals.begin() +
                                 static_cast<std::ptrdiff_t>(std::min(end + 1, m_arrivals.size())));
            return true;
        }
        if (m_line->Fd() < 0) {
            return Fail("hung up");
        }
        switch (TakeInput(10)) {
        case Input::Bytes:
            continue;
        case Input::Failed:
            return Fail(std::string("read failed: ") + std::strerror(errno));
        case Input::Closed:
            return Fail("the program closed the port");
        case Input::Nothing:
            break;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return Fail("no line from the computer");
        }
    }
}

bool VirtualReceiver::BeforeRecord(int n, const ReceiverFaults& faults) {
    if (n == faults.silentAt) {
        return Fail("silent by request");
    }
    if (n == faults.hangUpAt) {
        HangUp();
        return Fail("hung up by request");
    }
    if (faults.paceMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.paceMs));
    }
    return true;
}

bool VirtualReceiver::RunFirst(const std::vector<std::uint8_t>& image, const ReceiverFaults& faults,
                               int timeoutMs) {
    m_wire.clear();
    m_problem.clear();
    Drain();
    if (!WaitForClient(timeoutMs)) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(faults.startDelayMs));
    if (faults.silentAtStart) {
        return Fail("silent by request");
    }
    std::string line;
    if (!Send("MDL", faults.crlf) || !ReadLine(line, timeoutMs)) {
        return false;
    }
    if (line != "BC245XLT0") {
        return Fail("model reply was '" + line + "'");
    }
    const int imageRecords = static_cast<int>(image.size() / 16);
    const int records = imageRecords + faults.extraRecords;
    for (int n = 0; n < records; ++n) {
        if (!BeforeRecord(n, faults)) {
            return false;
        }
        std::uint8_t data[16] = {};
        if (n < imageRecords) {
            std::memcpy(data, image.data() + 16 * n, 16);
        } else {
            std::memset(data, n & 0xFF, sizeof data);
        }
        std::string record = FormatRecordLine((16 * n) & 0xFFFF, data);
        if (faults.lowerCaseHex) {
            record = LowerHexData(record);
        }
        if (n == faults.badChecksumAt) {
            record[45] = record[45] == '0' ? '1' : '0';
        }
        if (n == faults.shortLineAt) {
            record.resize(30);
        }
        if (n == faults.longLineAt) {
            record.append(300 - record.size(), '0');
        }
        if (!Send(record, faults.crlf) || !ReadLine(line, timeoutMs)) {
            return false;
        }
        if (line != "OK") {
            return Fail("record " + std::to_string(n) + " answered '" + line + "'");
        }
    }
    if (faults.silentAt == records) {
        return Fail("silent by request");
    }
    return Send("END", faults.crlf);
}

bool VirtualReceiver::RunClone(const ReceiverFaults& faults, int timeoutMs) {
    m_wire.clear();
    m_problem.clear();
    m_received.clear();
    Drain();
    std::string line;
    if (!WaitForClient(timeoutMs) || !ReadLine(line, timeoutMs)) {
        return false;
    }
    // Records of an exchange the program cancelled may still wait on the
    // line; the exchange begins with the model query.
    while (line.rfind("CLN ", 0) == 0 || line == "END" || line.empty()) {
        if (!ReadLine(line, timeoutMs)) {
            return false;
        }
    }
    if (line != "MDL") {
        return Fail("model query was '" + line + "'");
    }
    if (faults.silentAtStart) {
        return Fail("silent by request");
    }
    if (!Send(faults.modelReply, faults.crlf)) {
        return false;
    }
    for (int n = 0;; ++n) {
        if (!ReadLine(line, timeoutMs)) {
            return false;
        }
        if (line == "END") {
            return true;
        }
        if (!IsValidRecordLine(line)) {
            return Fail("record " + std::to_string(n) + " is malformed: '" + line + "'");
        }
        for (int i = 0; i < 16; ++i) {
            m_received.push_back(static_cast<std::uint8_t>(
                16 * HexDigitValue(line[static_cast<std::size_t>(9 + 2 * i)]) +
                HexDigitValue(line[static_cast<std::size_t>(10 + 2 * i)])));
        }
        if (n == faults.corruptAt) {
            // Taken with "OK" like any other, but kept wrongly.
            m_received[m_received.size() - 16] ^= 0xFF;
        }
        if (!BeforeRecord(n, faults)) {
            return false;
        }
        if (!Send(n == faults.ngAt ? "NG" : "OK", faults.crlf)) {
            return false;
        }
        if (n == faults.ngAt) {
            // After "NG" the computer ends the exchange.
            return ReadLine(line, timeoutMs) && line == "END";
        }
    }
}
