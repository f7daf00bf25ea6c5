// The port's lock file on real pseudo-terminals: taken before the device is
// opened, seen by every user, named after the device, taken over from a dead
// owner and refused, with the owner's process id, while the owner lives.
#include "link/port_info.h"
#include "temp_folder.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 65533; // a second ordinary user, with no account

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PidText(int pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", pid);
    return text;
}

class PortLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        device = ::ptsname(master);
        // A shared lock folder, as /run/lock is: anyone may add, only the
        // owner of a file may remove it.
        fs::permissions(locks.path, fs::perms::all | fs::perms::sticky_bit);
        SerialFolders folders;
        folders.locks = locks.path.string();
        SetSerialFolders(folders);
        lockFile = locks.path / PortLockName(device);
    }
    void TearDown() override {
        SetSerialFolders({});
        ::close(master);
    }

    // Runs body in a child process, as nobody when asked and this is root.
    // The child reports its result through a pipe, then waits to be killed
    // when it was told to hold on; returns the child's pid and its result.
    std::pair<pid_t, int> InChild(bool asNobody, bool holdOn, const std::function<int()>& body) {
        return InChildAs(asNobody ? kNobody : 0, holdOn, body);
    }
    std::pair<pid_t, int> InChildAs(uid_t user, bool holdOn, const std::function<int()>& body) {
        int report[2];
        EXPECT_EQ(::pipe(report), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (user != 0 && ::geteuid() == 0 && (::setgid(user) != 0 || ::setuid(user) != 0)) {
                ::_exit(90);
            }
            const char result = static_cast<char>(body());
            ::close(report[0]);
            [[maybe_unused]] const ssize_t put = ::write(report[1], &result, 1);
            while (holdOn) {
                ::pause();
            }
            ::_exit(0);
        }
        ::close(report[1]);
        char result = -1;
        [[maybe_unused]] const ssize_t got = ::read(report[0], &result, 1);
        ::close(report[0]);
        if (!holdOn) {
            ::waitpid(child, nullptr, 0);
        }
        return {child, result};
    }
    // Kills a child that holds the port. A serial driver forgets the
    // exclusive flag when its last user closes the device; a pseudo-terminal
    // whose other end stays open keeps it, so it is cleared here as the
    // driver would.
    void Kill(pid_t child) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::ioctl(slave, TIOCNXCL);
        ::close(slave);
    }

    int master = -1;
    std::string device;
    Folder locks;
    fs::path lockFile;
};

} // namespace

TEST_F(PortLockTest, ASecondOpenerIsRefusedBeforeItReachesTheDevice) {
    EXPECT_EQ(PortLockName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(PortLockName(device), "LCK.." + device.substr(5).replace(3, 1, "_"));
    HANDLE first = OpenSerialPort(device);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadFile(lockFile), PidText(::getpid())) << "the owner names itself";

    EXPECT_EQ(OpenSerialPort(device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    EXPECT_EQ(LastSerialLockHolder(), ::getpid());
    EXPECT_NE(ExplainPortFailure(device, EBUSY, ::getpid(), GetSerialFolders())
                  .find(": busy: held by process " + std::to_string(::getpid()) + " ("),
              std::string::npos);

    // The device is root's and not open to nobody: a refusal by the open
    // itself would be "permission denied", the lock's is "busy".
    const auto [child, error] = InChild(true, false, [&] {
        return OpenSerialPort(device) == INVALID_HANDLE_VALUE ? LastSerialError() : 0;
    });
    EXPECT_EQ(error, EBUSY) << "another user sees the lock too";

    CloseHandle(first);
    EXPECT_FALSE(fs::exists(lockFile)) << "the owner removes its lock";
    HANDLE again = OpenSerialPort(device);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(PortLockTest, ALockWhoseOwnerDiedIsTakenOver) {
    ::chmod(device.c_str(), 0666);
    // A lock of the convention whose owner is gone.
    const pid_t gone = InChild(false, false, [] { return 0; }).first;
    std::ofstream(lockFile) << PidText(gone);
    HANDLE port = OpenSerialPort(device);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << "a dead owner's lock is free";
    EXPECT_EQ(ReadFile(lockFile), PidText(::getpid()));
    CloseHandle(port);
}

TEST_F(PortLockTest, TheLockOfAnOwnerKilledWhileItHeldThePortIsFree) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can clear the exclusive flag a killed owner left on a "
                        "pseudo-terminal, as a serial driver does at its last close";
    }
    ::chmod(device.c_str(), 0666);
    // As this user and as another: the other user's lock file stays (the
    // folder is sticky), and is free all the same.
    for (const bool ownerIsNobody : {false, true}) {
        SCOPED_TRACE(ownerIsNobody ? "owner nobody" : "owner this user");
        const auto [owner, opened] = InChild(ownerIsNobody, true, [&] {
            return OpenSerialPort(device) != INVALID_HANDLE_VALUE ? 1 : 100 + LastSerialError();
        });
        if (opened != 1) {
            Kill(owner);
            FAIL() << "the owner could not open the port: " << opened;
        }
        EXPECT_EQ(OpenSerialPort(device), INVALID_HANDLE_VALUE);
        EXPECT_EQ(LastSerialLockHolder(), owner) << "refused while the owner lives";
        Kill(owner);
        const auto [next, reopened] = InChild(!ownerIsNobody, false, [&] {
            HANDLE taken = OpenSerialPort(device);
            const bool ok = taken != INVALID_HANDLE_VALUE;
            CloseHandle(taken);
            return ok ? 1 : 0;
        });
        EXPECT_EQ(reopened, 1) << "the port is free at once after its owner was killed";
    }
}

TEST_F(PortLockTest, TwoOrdinaryUsersShareThePortOneAtATime) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "becoming two other users needs root";
    }
    ::chmod(device.c_str(), 0666);
    const auto [owner, opened] = InChildAs(
        kOtherUser, true, [&] { return OpenSerialPort(device) != INVALID_HANDLE_VALUE ? 1 : 0; });
    ASSERT_EQ(opened, 1);
    const auto [second, holder] = InChildAs(kNobody, false, [&] {
        return OpenSerialPort(device) == INVALID_HANDLE_VALUE && LastSerialError() == EBUSY &&
                       LastSerialLockHolder() == owner
                   ? 1
                   : 0;
    });
    EXPECT_EQ(holder, 1) << "the second user is refused, and told who holds the port";
    Kill(owner);
}

TEST_F(PortLockTest, ALiveOwnerThatDoesNotFlockStillHoldsThePort) {
    std::ofstream(lockFile) << PidText(::getppid());
    EXPECT_EQ(OpenSerialPort(device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    EXPECT_EQ(LastSerialLockHolder(), ::getppid());
    EXPECT_EQ(ReadFile(lockFile), PidText(::getppid())) << "another's lock is left as it was";
}

TEST_F(PortLockTest, ALinkPlantedInTheLockFolderIsNotFollowed) {
    const fs::path victim = locks.path / "victim";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, lockFile);
    EXPECT_EQ(OpenSerialPort(device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    EXPECT_EQ(ReadFile(victim), "keep");
}
