#include "receiver_line.h"

#include "platform/serial.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// What a signal handler needs to clean up: plain buffers, filled before any
// signal can come. A link of ours is removed (and what it replaced put
// back); a socket of ours is removed.
char signalLink[PATH_MAX];
char signalDevice[PATH_MAX];
char signalRestore[PATH_MAX];
char signalSocket[PATH_MAX];

void CleanUpAndEnd(int signal) {
    char now[PATH_MAX];
    const ssize_t length = signalLink[0] != '\0' ? ::readlink(signalLink, now, sizeof now - 1) : -1;
    if (length > 0) {
        now[length] = '\0';
        if (std::strcmp(now, signalDevice) == 0) {
            ::unlink(signalLink);
            struct stat gone {};
            if (signalRestore[0] != '\0' && ::stat(signalRestore, &gone) == 0) {
                [[maybe_unused]] const int ignored = ::symlink(signalRestore, signalLink);
            }
        }
    }
    if (signalSocket[0] != '\0') {
        ::unlink(signalSocket);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

bool CopyInto(char (&buffer)[PATH_MAX], const std::string& text) {
    if (text.size() >= sizeof buffer) {
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

void InstallCleanUp() {
    struct sigaction action {};
    action.sa_handler = CleanUpAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A pseudo-terminal of the receiver's own. The program's open and close of
// the far end show as the hang-up flag going away and coming back.
class PtyLine : public ReceiverLine {
public:
    ~PtyLine() override {
        HangUp();
        RemoveLink();
    }
    int Fd() const override { return m_master; }
    const std::string& Name() const override { return m_devicePath; }
    bool WaitForPeer(int timeoutMs) override;
    bool WaitForClose(int timeoutMs) override;
    void Drain() override;
    void HangUp() override {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }
    void CleanUpOnSignals() override {
        if (!m_linkPath.empty() && CopyInto(signalLink, m_linkPath) &&
            CopyInto(signalDevice, m_devicePath) && CopyInto(signalRestore, m_replacedTarget)) {
            InstallCleanUp();
        }
    }

    int m_master = -1;
    std::string m_devicePath;
    std::string m_linkPath;
    std::string m_replacedTarget; // what the link pointed to before, or ""

private:
    bool PortClosed() const {
        pollfd waiting{m_master, POLLIN, 0};
        ::poll(&waiting, 1, 0);
        return (waiting.revents & POLLHUP) != 0;
    }
    void RemoveLink() {
        // The link is removed only while it is still ours.
        if (m_linkPath.empty() || LinkTarget(m_linkPath) != m_devicePath) {
            return;
        }
        ::unlink(m_linkPath.c_str());
        // What the link led to is put back only while it is still there: a
        // terminal that has gone would leave a link to nothing, or to the
        // next terminal that gets its number.
        struct stat replaced {};
        if (!m_replacedTarget.empty() && ::stat(m_replacedTarget.c_str(), &replaced) == 0) {
            [[maybe_unused]] const int ignored =
                ::symlink(m_replacedTarget.c_str(), m_linkPath.c_str());
        }
    }
};

bool PtyLine::WaitForPeer(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_master >= 0) {
        if (!PortClosed()) {
            return true;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool PtyLine::WaitForClose(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_master >= 0) {
        if (PortClosed()) {
            char drain[256];
            while (::read(m_master, drain, sizeof drain) > 0) {
            }
            Drain();
            return true;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void PtyLine::Drain() {
    if (m_master < 0) {
        return;
    }
    // What this side sent in an earlier exchange and the program never read
    // would otherwise be the first thing the next exchange reads.
    ::tcflush(m_master, TCOFLUSH);
    if (PortClosed()) {
        // With the port closed, what already reached its input queue is only
        // reached from the port's own side.
        const int port = ::open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (port >= 0) {
            ::tcflush(port, TCIFLUSH);
            char discard[256];
            while (::read(port, discard, sizeof discard) > 0) {
            }
            ::close(port);
        }
    }
}

// A serial device that is there already. It cannot see the program open or
// close the far end.
class DeviceLine : public ReceiverLine {
public:
    DeviceLine(HANDLE port, std::string path) : m_port(port), m_path(std::move(path)) {}
    ~DeviceLine() override { HangUp(); }
    int Fd() const override { return SerialPortDescriptor(m_port); }
    const std::string& Name() const override { return m_path; }
    bool WaitForPeer(int) override { return m_port != nullptr; }
    bool WaitForClose(int) override {
        if (m_port != nullptr) {
            ::tcdrain(Fd());
        }
        return true;
    }
    void HangUp() override {
        CloseHandle(m_port);
        m_port = nullptr;
    }

private:
    HANDLE m_port;
    std::string m_path;
};

// A unix socket listened on: each connection is a line. The far end of an
// emulator's character device stays connected while the program opens and
// closes the guest's port.
class SocketLine : public ReceiverLine {
public:
    SocketLine(int listener, std::string path) : m_listener(listener), m_path(std::move(path)) {}
    ~SocketLine() override {
        HangUp();
        ::close(m_listener);
        ::unlink(m_path.c_str());
    }
    int Fd() const override { return m_connection; }
    const std::string& Name() const override { return m_path; }
    bool WaitForPeer(int timeoutMs) override;
    bool WaitForClose(int timeoutMs) override;
    long Put(const char* bytes, std::size_t size) override {
        // A far end that went is an error to report, not a signal that ends
        // the receiver.
        return ::send(m_connection, bytes, size, MSG_NOSIGNAL);
    }
    void HangUp() override {
        if (m_connection >= 0) {
            ::close(m_connection);
            m_connection = -1;
        }
    }
    void CleanUpOnSignals() override {
        if (CopyInto(signalSocket, m_path)) {
            InstallCleanUp();
        }
    }

private:
    int m_listener;
    int m_connection = -1;
    std::string m_path;
};

bool SocketLine::WaitForPeer(int timeoutMs) {
    if (m_connection >= 0) {
        pollfd waiting{m_connection, POLLIN, 0};
        ::poll(&waiting, 1, 0);
        if ((waiting.revents & (POLLHUP | POLLERR)) == 0) {
            return true;
        }
        HangUp(); // the far end went; the next one may connect
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, MillisecondsLeft(deadline)) <= 0) {
            return false;
        }
        m_connection = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        // A caller that connected and went again (one that only looked
        // whether anybody listens) is no far end.
        pollfd connected{m_connection, POLLRDHUP, 0};
        if (m_connection >= 0 &&
            (::poll(&connected, 1, 0) == 0 || (connected.revents & (POLLRDHUP | POLLHUP)) == 0)) {
            return true;
        }
        HangUp();
    }
}

bool SocketLine::WaitForClose(int timeoutMs) {
    // Nothing shows the program closing the port: wait until what was sent
    // has been taken from the socket.
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(timeoutMs, 2000));
    int queued = 0;
    while (m_connection >= 0 && ::ioctl(m_connection, SIOCOUTQ, &queued) == 0 && queued > 0 &&
           MillisecondsLeft(deadline) > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

long ReceiverLine::Put(const char* bytes, std::size_t size) {
    return ::write(Fd(), bytes, size);
}

std::unique_ptr<ReceiverLine> OpenPtyLine(const std::string& linkPath, const PtySetup& setup,
                                          std::string& error) {
    auto line = std::make_unique<PtyLine>();
    line->m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line->m_master < 0 || ::grantpt(line->m_master) != 0 || ::unlockpt(line->m_master) != 0) {
        error = Reason("cannot open a pseudo-terminal");
        return nullptr;
    }
    char name[128] = {};
    if (::ptsname_r(line->m_master, name, sizeof name) != 0) {
        error = Reason("cannot name the pseudo-terminal");
        return nullptr;
    }
    line->m_devicePath = name;
    // Put the far end into raw mode once, so that nothing is echoed or
    // translated before the program sets the line up itself. Closing it again
    // lets a hang-up show whether the program has the port open.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = Reason(std::string("cannot open ") + name);
        return nullptr;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    // The device is its creator's alone, or, for a receiver started with sudo
    // to put a link in /dev, the invoking user's and group's: nobody else can
    // read what is sent or inject records.
    if (setup.ownerUid >= 0) {
        if (::chown(name, static_cast<uid_t>(setup.ownerUid), static_cast<gid_t>(setup.ownerGid)) !=
            0) {
            error = Reason(std::string("cannot give ") + name + " to its user");
            return nullptr;
        }
        ::chmod(name, 0660);
    } else {
        ::chmod(name, 0600);
    }
    if (!linkPath.empty()) {
        // Only a link is ever replaced, never a real device or file, and only
        // when asked; what it pointed to is put back at the end.
        struct stat existing {};
        if (::lstat(linkPath.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode)) {
                error = linkPath + " exists and is not a link; it is left alone";
                return nullptr;
            }
            const std::string target = LinkTarget(linkPath);
            if (!setup.replaceLink) {
                error = linkPath + " is already a link to " + target +
                        "; use --force to replace it while the receiver runs";
                return nullptr;
            }
            if (::unlink(linkPath.c_str()) != 0) {
                error = Reason("cannot replace the link " + linkPath);
                return nullptr;
            }
            line->m_replacedTarget = target;
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            error = Reason("cannot make the link " + linkPath);
            if (!line->m_replacedTarget.empty()) {
                [[maybe_unused]] const int ignored =
                    ::symlink(line->m_replacedTarget.c_str(), linkPath.c_str());
            }
            return nullptr;
        }
        line->m_linkPath = linkPath;
    }
    SetNonBlocking(line->m_master);
    return line;
}

std::unique_ptr<ReceiverLine> OpenDeviceLine(const std::string& path, int baud,
                                             std::string& error) {
    // Opened as the program opens its port: the lock, the exclusive flag,
    // raw 8N1, no flow control, DTR and RTS low.
    HANDLE port = OpenSerialPort(path);
    if (port == INVALID_HANDLE_VALUE) {
        errno = LastSerialError();
        error = Reason("cannot open " + path);
        return nullptr;
    }
    DCB settings;
    settings.BaudRate = baud > 0 ? static_cast<std::uint32_t>(baud) : 9600;
    if (!SetCommState(port, settings)) {
        errno = LastSerialError();
        error =
            Reason("cannot set up " + path + " at " + std::to_string(settings.BaudRate) + " baud");
        CloseHandle(port);
        return nullptr;
    }
    ::tcflush(SerialPortDescriptor(port), TCIOFLUSH);
    return std::make_unique<DeviceLine>(port, path);
}

std::unique_ptr<ReceiverLine> ListenSocketLine(const std::string& path, std::string& error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        error = "the socket path is too long: " + path;
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        error = Reason("cannot make a socket");
        return nullptr;
    }
    // Only a socket that nobody listens on any more is replaced, never a
    // file or a live socket.
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live =
            ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        if (live) {
            error = "another program listens on " + path;
            ::close(listener);
            return nullptr;
        }
        ::unlink(path.c_str());
    }
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0) {
        error = Reason("cannot listen on " + path);
        ::close(listener);
        return nullptr;
    }
    return std::make_unique<SocketLine>(listener, path);
}
