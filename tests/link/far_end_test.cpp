// Who competes for a pseudo-terminal's bytes: the holder of its master is the
// far end the port talks to, never a competitor, even when it keeps the
// slave open too; a process that holds only the slave is one; and a slave of
// the same name in another devpts instance is another device.
#include "holder_process.h"
#include "platform/port_survey.h"
#include "platform/serial.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pseudo-terminal of this process: its master, and its slave's path.
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            slave = ::ptsname(master);
        }
    }
    ~Pty() {
        if (master >= 0) {
            ::close(master);
        }
    }
    int Index() const { return std::atoi(slave.c_str() + slave.find_last_of('/') + 1); }
    int master = -1;
    std::string slave;
};

std::vector<int> HolderIds(const std::string& device) {
    std::vector<int> pids;
    for (const PortHolder& holder : FindPortHolders(device, GetSerialFolders())) {
        pids.push_back(holder.pid);
    }
    return pids;
}

TEST(FarEnd, AReceiverThatKeepsItsOwnSlaveOpenIsTheFarEnd) {
    // As many receivers on a pseudo-terminal do: the master and the slave.
    std::string slave;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    HolderProcess receiver([&] {
        Pty pty;
        const int held = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
        const std::string name = pty.slave + "\n";
        const bool told =
            ::write(fds[1], name.data(), name.size()) == static_cast<ssize_t>(name.size());
        pty.master = ::dup(pty.master); // kept open past the object's end
        return held >= 0 && told;
    });
    ::close(fds[1]);
    char buffer[64] = {};
    ASSERT_GT(::read(fds[0], buffer, sizeof buffer - 1), 0);
    ::close(fds[0]);
    slave = std::string(buffer).substr(0, std::string(buffer).find('\n'));
    ASSERT_TRUE(receiver.Ready());
    EXPECT_TRUE(HolderIds(slave).empty()) << "the far end is no competitor";
    const HANDLE port = OpenSerialPort(slave);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "error " << LastSerialError();
    CloseHandle(port);
}

TEST(FarEnd, AProcessThatHoldsOnlyTheSlaveCompetes) {
    Pty pty; // this process holds the master: the far end is here
    ASSERT_FALSE(pty.slave.empty());
    // A forked child inherits the master: it lets go of it first.
    HolderProcess other([&] {
        ::close(pty.master);
        return ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY) >= 0;
    });
    ASSERT_TRUE(other.Ready());
    EXPECT_EQ(HolderIds(pty.slave), std::vector<int>{other.Pid()});
    EXPECT_EQ(OpenSerialPort(pty.slave), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    EXPECT_EQ(LastSerialLockHolder(), other.Pid());

    // The master of another terminal makes no far end of this one.
    HolderProcess mixed([&] {
        ::close(pty.master);
        Pty another;
        another.master = ::dup(another.master);
        return ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY) >= 0;
    });
    ASSERT_TRUE(mixed.Ready());
    const std::vector<int> holders = HolderIds(pty.slave);
    EXPECT_EQ(holders.size(), 2u);
}

TEST(FarEnd, ASlaveOfTheSameNameInAnotherDevptsInstanceIsAnotherDevice) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a devpts instance of its own needs root";
    }
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    const int index = pty.Index();
    // A container's view: its own /dev/pts, where the same number is
    // another terminal, held open there.
    HolderProcess contained([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666") != 0) {
            return false;
        }
        for (int i = 0; i <= index; ++i) {
            if (::open("/dev/pts/ptmx", O_RDWR | O_NOCTTY) < 0) {
                return false;
            }
        }
        const std::string same = "/dev/pts/" + std::to_string(index);
        const int master = ::open("/dev/pts/ptmx", O_RDWR | O_NOCTTY);
        (void)master;
        int lock = 0;
        for (int fd = 3; fd < 64; ++fd) {
            ::ioctl(fd, TIOCSPTLCK, &lock);
        }
        return ::open(same.c_str(), O_RDWR | O_NOCTTY) >= 0;
    });
    if (!contained.Ready()) {
        GTEST_SKIP() << "no mount namespace of its own here";
    }
    EXPECT_TRUE(HolderIds(pty.slave).empty()) << "same name, another device";
    const HANDLE port = OpenSerialPort(pty.slave);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "error " << LastSerialError();
    CloseHandle(port);
}

} // namespace

namespace {

// Another user's process is hidden from an ordinary user, but its flock on
// the device is not: the port is named busy with its holder, by the survey
// and by an open alike.
TEST(FarEnd, AHolderHiddenFromAnotherUserIsFoundByItsLock) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a holder of another user needs root";
    }
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    ASSERT_EQ(::chmod(pty.slave.c_str(), 0666), 0);
    HolderProcess root([&] {
        ::close(pty.master);
        const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
        return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    });
    ASSERT_TRUE(root.Ready());
    int seen[2];
    ASSERT_EQ(::pipe(seen), 0);
    const pid_t look = ::fork();
    if (look == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(98);
        }
        const std::vector<int> holders = HolderIds(pty.slave);
        const HANDLE port = OpenSerialPort(pty.slave);
        const int said[3] = {holders.size() == 1 ? holders[0] : -1,
                             port == INVALID_HANDLE_VALUE ? LastSerialError() : 0,
                             LastSerialLockHolder()};
        const bool written = ::write(seen[1], said, sizeof said) == sizeof said;
        ::_exit(written ? 0 : 1);
    }
    ::close(seen[1]);
    int said[3] = {};
    ASSERT_EQ(::read(seen[0], said, sizeof said), static_cast<ssize_t>(sizeof said));
    ::close(seen[0]);
    ::waitpid(look, nullptr, 0);
    EXPECT_EQ(said[0], root.Pid()) << "the survey names the hidden holder";
    EXPECT_EQ(said[1], EBUSY) << "the open is refused";
    EXPECT_EQ(said[2], root.Pid()) << "and names it too";
}

} // namespace
