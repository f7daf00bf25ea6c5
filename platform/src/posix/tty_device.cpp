// A terminal device as a serial port on Linux: termios line settings, reads
// that wait with poll, and exclusive use through the port's lock file, flock
// and TIOCEXCL.
#include "platform/serial.h"

#include "platform/port_survey.h"
#include "port_lock.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A terminal device opened by this program.
class TtyDevice : public SerialDevice {
public:
    TtyDevice(int fd, std::unique_ptr<PortLock> lock) : m_fd(fd), m_lock(std::move(lock)) {
        AskForLowLatency();
    }
    ~TtyDevice() override;
    bool GetState(DCB& dcb) override;
    bool SetState(const DCB& dcb) override;
    ReadResult Read(std::uint8_t& byte, int timeoutMs) override;
    bool Write(const void* data, std::size_t size) override;
    std::intptr_t NativeHandle() const override { return m_fd; }

private:
    // A USB adapter holds what it receives for its latency timer (16 ms on
    // an FTDI chip) before it sends it on, which every record and every "OK"
    // of a transfer would wait for: in low-latency mode the driver sets the
    // timer to 1 ms. Any user may ask for it on a port of theirs; a driver
    // that does not have it refuses, which is no error.
    void AskForLowLatency();
    void PutBackFlags();

    int m_fd;
    std::unique_ptr<PortLock> m_lock; // released after the device is closed
    int m_earlierFlags = -1;          // the driver's flags before low latency was asked for
    bool m_waited = false;            // the last read had to wait for its byte
    // A poll that returns sooner than this found its byte already there.
    static constexpr int kBurstMicros = 100;
};

bool Fail(int error) {
    return SetLastSerialError(error);
}

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr BaudEntry kBaudRates[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

// Modem-control calls fail with ENOTTY on a pseudo-terminal: it has no modem
// lines, which is not an error.
bool ModemLinesOk(int result) {
    return result == 0 || errno == ENOTTY || errno == EINVAL;
}

// 0 when the path names a terminal device, else the error that says why not:
// ENOTTY for a file, a folder, a FIFO or a device that no terminal driver of
// the kernel's list serves (/dev/null). A list that cannot be read decides
// nothing.
int NotATerminal(const std::string& path, const SerialFolders& folders) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno;
    }
    if (!S_ISCHR(info.st_mode)) {
        return ENOTTY;
    }
    std::ifstream drivers(folders.proc + "/tty/drivers");
    if (!drivers) {
        return 0;
    }
    // "usbserial  /dev/ttyUSB  188 0-511 serial": a driver's majors and minors.
    std::string line;
    while (std::getline(drivers, line)) {
        std::istringstream fields(line);
        std::string name, node, majors, minors;
        if (!(fields >> name >> node >> majors >> minors)) {
            continue;
        }
        unsigned lowMajor = 0, highMajor = 0, lowMinor = 0, highMinor = 0;
        const bool majorRange = std::sscanf(majors.c_str(), "%u-%u", &lowMajor, &highMajor) == 2;
        if (!majorRange) {
            highMajor = lowMajor = static_cast<unsigned>(std::strtoul(majors.c_str(), nullptr, 10));
        }
        if (std::sscanf(minors.c_str(), "%u-%u", &lowMinor, &highMinor) != 2) {
            highMinor = lowMinor = static_cast<unsigned>(std::strtoul(minors.c_str(), nullptr, 10));
        }
        const unsigned major = ::major(info.st_rdev);
        const unsigned minor = ::minor(info.st_rdev);
        // A range of majors (the pseudo-terminals' 136-143) takes every minor.
        if (major >= lowMajor && major <= highMajor &&
            (majorRange || (minor >= lowMinor && minor <= highMinor))) {
            return 0;
        }
    }
    return ENOTTY;
}

} // namespace

HANDLE OpenSerialPort(const std::string& portName) {
    SetLastSerialLockHolder(0);
    SetLastSerialHiddenProcesses(0);
    const SerialFolders& folders = GetSerialFolders();
    const std::string path = ResolvePortName(portName, folders);
    switch (path.empty() ? DeviceKind::Missing : ExamineDevice(path, folders)) {
    case DeviceKind::Missing:
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    case DeviceKind::NoUart:
        Fail(ENODEV);
        return INVALID_HANDLE_VALUE;
    case DeviceKind::Console:
        Fail(EBUSY);
        return INVALID_HANDLE_VALUE;
    case DeviceKind::Port:
        break;
    }
    // Only a terminal is a port: anything else is refused before it is locked,
    // searched for or opened.
    if (const int notPort = NotATerminal(path, folders); notPort != 0) {
        Fail(notPort);
        return INVALID_HANDLE_VALUE;
    }
    int lockError = 0;
    int holder = 0;
    std::unique_ptr<PortLock> lock =
        PortLock::Acquire(folders.locks + "/" + PortLockName(path), lockError, holder);
    if (!lock) {
        SetLastSerialLockHolder(holder);
        Fail(lockError);
        return INVALID_HANDLE_VALUE;
    }
    // Another program that has the device open without a lock would take the
    // receiver's bytes. Looked for once the lock is held, just before the
    // open; after it, the exclusive flag keeps out other openers but root.
    int hidden = 0;
    const std::vector<PortHolder> holders = FindPortHolders(path, folders, &hidden);
    SetLastSerialHiddenProcesses(hidden);
    if (!holders.empty()) {
        SetLastSerialLockHolder(holders.front().pid);
        Fail(EBUSY);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISCHR(info.st_mode) || ::isatty(fd) == 0) {
        error = ENOTTY;
    }
    if (error != 0) {
        Fail(error);
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Fail(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    ::ioctl(fd, TIOCEXCL); // keeps out openers that do not take the lock; root bypasses it
    return new TtyDevice(fd, std::move(lock));
}

void TtyDevice::AskForLowLatency() {
    serial_struct serial{};
    if (::ioctl(m_fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return;
    }
    const int earlier = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(m_fd, TIOCSSERIAL, &serial) == 0) {
        m_earlierFlags = earlier;
    }
}

// The port is left as it was found.
void TtyDevice::PutBackFlags() {
    serial_struct serial{};
    if (m_earlierFlags >= 0 && ::ioctl(m_fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags = m_earlierFlags;
        ::ioctl(m_fd, TIOCSSERIAL, &serial);
    }
}

TtyDevice::~TtyDevice() {
    PutBackFlags();
    // The exclusive flag outlives this descriptor on a device whose other end
    // stays open; cleared here, the next user can open the port again.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd); // also releases the flock
}

bool TtyDevice::GetState(DCB& dcb) {
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        return Fail(errno);
    }
    dcb = DCB{};
    const speed_t speed = ::cfgetospeed(&tio);
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.code == speed) {
            dcb.BaudRate = entry.rate;
        }
    }
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    dcb.Parity = (tio.c_cflag & PARENB) == 0   ? NOPARITY
                 : (tio.c_cflag & PARODD) != 0 ? ODDPARITY
                                               : EVENPARITY;
    dcb.StopBits = (tio.c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    dcb.fRtsControl = dcb.fOutxCtsFlow != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    int lines = 0;
    const int modem = ::ioctl(m_fd, TIOCMGET, &lines);
    if (!ModemLinesOk(modem)) {
        return Fail(errno);
    }
    if (modem == 0) {
        dcb.fDtrControl = (lines & TIOCM_DTR) != 0 ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        if (dcb.fOutxCtsFlow == 0) {
            dcb.fRtsControl = (lines & TIOCM_RTS) != 0 ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        }
    }
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    dcb.EofChar = static_cast<char>(tio.c_cc[VEOF]);
    return true;
}

bool TtyDevice::SetState(const DCB& dcb) {
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        return Fail(errno);
    }
    speed_t speed = 0;
    bool known = false;
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.rate == dcb.BaudRate) {
            speed = entry.code;
            known = true;
        }
    }
    if (!known || dcb.ByteSize < 5 || dcb.ByteSize > 8) {
        return Fail(EINVAL);
    }
    // Binary line: every received byte is delivered as it came, zero bytes
    // included, with no echo, no line editing and no character translation.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb.ByteSize - 5];
    if (dcb.Parity == ODDPARITY) {
        tio.c_cflag |= PARENB | PARODD;
    } else if (dcb.Parity == EVENPARITY) {
        tio.c_cflag |= PARENB;
    }
    if (dcb.StopBits == TWOSTOPBITS) {
        tio.c_cflag |= CSTOPB;
    }
    if (dcb.fParity != 0) {
        tio.c_iflag |= INPCK;
    }
    if (dcb.fOutxCtsFlow != 0) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (dcb.fOutX != 0) {
        tio.c_iflag |= IXON;
    }
    if (dcb.fInX != 0) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        return Fail(errno);
    }
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    if (!ModemLinesOk(
            ::ioctl(m_fd, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr))) {
        return Fail(errno);
    }
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE &&
        !ModemLinesOk(
            ::ioctl(m_fd, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts))) {
        return Fail(errno);
    }
    return true;
}

ReadResult TtyDevice::Read(std::uint8_t& byte, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    // Worked out only when the byte is not there at once.
    Clock::time_point deadline{};
    // At the line rate the next byte is seldom there yet when the last one
    // had to be waited for: then the wait comes first, and the read after it
    // finds the byte. Bytes that come in bursts are read at once.
    bool pollFirst = m_waited;
    bool polled = false;
    for (;;) {
        if (!pollFirst) {
            const ssize_t got = ::read(m_fd, &byte, 1);
            if (got == 1) {
                return ReadResult::Ok;
            }
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                // End of file, EIO or ENXIO: the device is gone.
                Fail(got == 0 ? ENXIO : errno);
                return ReadResult::Failed;
            }
        }
        pollFirst = false;
        const auto now = Clock::now();
        if (!polled) {
            deadline = now + std::chrono::milliseconds(timeoutMs);
        }
        // Rounded up: a wait cut to whole milliseconds must not turn into
        // a busy loop in its last millisecond.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (polled && left <= 0) {
            m_waited = true;
            Fail(ETIMEDOUT);
            return ReadResult::TimedOut;
        }
        pollfd waiting{m_fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long long>(left, 0)));
        polled = true;
        // A poll that found the byte already there did not wait for it.
        m_waited = Clock::now() - now > std::chrono::microseconds(kBurstMicros);
        if (ready < 0 && errno != EINTR) {
            Fail(errno);
            return ReadResult::Failed;
        }
        if (ready > 0 && (waiting.revents & (POLLERR | POLLNVAL)) != 0) {
            Fail(EIO);
            return ReadResult::Failed;
        }
        // POLLHUP with POLLIN still lets the remaining bytes be read; the next
        // read reports the hang-up itself.
    }
}

bool TtyDevice::Write(const void* data, std::size_t size) {
    constexpr int kStallMs = 2000;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t put = ::write(m_fd, bytes, size);
        if (put > 0) {
            bytes += put;
            size -= static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return Fail(errno);
        }
        pollfd waiting{m_fd, POLLOUT, 0};
        if (::poll(&waiting, 1, kStallMs) <= 0 || (waiting.revents & (POLLERR | POLLHUP)) != 0) {
            return Fail(EIO);
        }
    }
    return true;
}
