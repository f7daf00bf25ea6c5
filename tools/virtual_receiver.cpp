#include "virtual_receiver.h"

#include "link/record.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

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
                                                         std::string& error) {
    std::unique_ptr<VirtualReceiver> receiver(new VirtualReceiver);
    receiver->m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (receiver->m_master < 0 || ::grantpt(receiver->m_master) != 0 ||
        ::unlockpt(receiver->m_master) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    char name[128] = {};
    if (::ptsname_r(receiver->m_master, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    receiver->m_devicePath = name;
    // Put the far end into raw mode once, so that nothing is echoed or
    // translated before the program sets the line up itself. Closing it again
    // lets a hang-up show whether the program has the port open.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return nullptr;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    // Made as root (to put a link in /dev), the device would be root's alone;
    // let the user who runs the program open it.
    ::chmod(name, 0666);
    if (!linkPath.empty()) {
        // Only an earlier link is replaced, never a real device or file.
        struct stat existing {};
        if (::lstat(linkPath.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode)) {
                error = linkPath + " exists and is not a link; it is left alone";
                return nullptr;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            error = "cannot make the link " + linkPath + ": " + std::strerror(errno);
            return nullptr;
        }
        receiver->m_linkPath = linkPath;
    }
    ::fcntl(receiver->m_master, F_SETFL, ::fcntl(receiver->m_master, F_GETFL) | O_NONBLOCK);
    return receiver;
}

VirtualReceiver::~VirtualReceiver() {
    HangUp();
    if (!m_linkPath.empty()) {
        ::unlink(m_linkPath.c_str());
    }
}

void VirtualReceiver::HangUp() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool VirtualReceiver::Fail(const std::string& problem) {
    m_problem = problem;
    return false;
}

bool VirtualReceiver::WaitForClient(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_master >= 0) {
        pollfd waiting{m_master, POLLIN, 0};
        ::poll(&waiting, 1, 0);
        if ((waiting.revents & POLLHUP) == 0) {
            return true;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return Fail("nobody opened the port");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Fail("hung up");
}

bool VirtualReceiver::WaitForClose(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_master >= 0) {
        pollfd waiting{m_master, POLLIN, 0};
        ::poll(&waiting, 1, 0);
        if ((waiting.revents & POLLHUP) != 0) {
            char drain[256];
            while (::read(m_master, drain, sizeof drain) > 0) {
            }
            return true;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool VirtualReceiver::Send(const std::string& line, bool crlf) {
    return SendRaw(line + (crlf ? "\r\n" : "\r"));
}

VirtualReceiver::Input VirtualReceiver::TakeInput(int waitMs) {
    if (m_master < 0) {
        return Input::Closed;
    }
    char buffer[512];
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got > 0) {
        m_wire.append(buffer, static_cast<std::size_t>(got));
        m_pending.append(buffer, static_cast<std::size_t>(got));
        return Input::Bytes;
    }
    if (got < 0 && errno != EAGAIN && errno != EIO && errno != EINTR) {
        return Input::Failed;
    }
    pollfd waiting{m_master, POLLIN, 0};
    ::poll(&waiting, 1, waitMs);
    if ((waiting.revents & POLLHUP) != 0 && (waiting.revents & POLLIN) == 0) {
        return Input::Closed; // the program closed the port
    }
    return Input::Nothing;
}

std::string VirtualReceiver::ReadAvailable(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (TakeInput(5) == Input::Closed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } while (m_master >= 0 && MillisecondsLeft(deadline) > 0);
    std::string got;
    got.swap(m_pending);
    return got;
}

bool VirtualReceiver::SendRaw(const std::string& bytes) {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t put = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return Fail(std::string("write failed: ") + std::strerror(errno));
        } else if (MillisecondsLeft(deadline) == 0) {
            return Fail("write stalled");
        } else {
            pollfd waiting{m_master, POLLOUT, 0};
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
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return true;
        }
        if (m_master < 0) {
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
    m_pending.clear();
    m_problem.clear();
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
    m_pending.clear();
    m_problem.clear();
    m_received.clear();
    std::string line;
    if (!WaitForClient(timeoutMs) || !ReadLine(line, timeoutMs)) {
        return false;
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
