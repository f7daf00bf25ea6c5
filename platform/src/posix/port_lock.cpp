#include "port_lock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The process id a lock file names, or 0.
int ReadOwner(int fd) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) {
        return 0;
    }
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 && pid < 0x400000 ? static_cast<int>(pid) : 0;
}

bool IsAlive(int pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// The process whose flock is on the open file, as the kernel lists its locks
// ("1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"), or 0. The id in the
// file may be stale: a lock file that another user left can be flocked but
// not rewritten.
int FlockHolder(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return 0;
    }
    return FlockOwner(info.st_dev, info.st_ino, "/proc/locks");
}

bool SameFile(int fd, const std::string& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

int FlockOwner(dev_t device, ino_t inode, const std::string& locksFile) {
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", ::major(device), ::minor(device),
                  static_cast<unsigned long>(inode));
    std::ifstream locks(locksFile);
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, mode, pid, named;
        if (fields >> number >> kind >> advisory >> mode >> pid >> named && kind == "FLOCK" &&
            named == file) {
            return std::atoi(pid.c_str());
        }
    }
    return 0;
}

std::unique_ptr<PortLock> PortLock::Acquire(const std::string& path, int& error, int& holder) {
    error = 0;
    holder = 0;
    // The folder is shared by every user: a link planted there is never
    // followed, and only a plain file counts as a lock.
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    for (int attempt = 0; attempt < 8; ++attempt) {
        bool writable = true;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            // Another user's lock file can still be flocked and read.
            writable = false;
            fd = ::open(path.c_str(), O_RDONLY | kFlags);
        }
        if (fd < 0) {
            if (errno == ELOOP) {
                error = EBUSY;
                return nullptr;
            }
            // No lock folder this user can use.
            return std::unique_ptr<PortLock>(new PortLock(-1, path, false));
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            error = EBUSY;
            return nullptr;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int owner = FlockHolder(fd);
            const int named = ReadOwner(fd);
            ::close(fd);
            error = EBUSY;
            holder = owner > 0 ? owner : IsAlive(named) ? named : 0;
            return nullptr;
        }
        // The file may have been removed by its last owner between our open
        // and our flock: then the lock is on a file nobody else sees.
        if (!SameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        // A program that follows the convention without flocking the file
        // still names itself in it.
        const int owner = ReadOwner(fd);
        if (owner != ::getpid() && IsAlive(owner)) {
            ::close(fd);
            error = EBUSY;
            holder = owner;
            return nullptr;
        }
        if (writable) {
            char text[16];
            const int length =
                std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            if (::ftruncate(fd, 0) != 0 ||
                ::pwrite(fd, text, static_cast<std::size_t>(length), 0) != length) {
                writable = false;
            }
            ::fchmod(fd, 0644);
        }
        return std::unique_ptr<PortLock>(new PortLock(fd, path, writable));
    }
    error = EBUSY;
    return nullptr;
}

int PortLock::Owner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return 0;
    }
    struct stat info {};
    int owner = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const int flocked = FlockHolder(fd);
        const int named = ReadOwner(fd);
        owner = flocked > 0 ? flocked : IsAlive(named) ? named : 0;
    }
    ::close(fd);
    return owner;
}

PortLock::~PortLock() {
    if (m_fd < 0) {
        return;
    }
    // Removed while it is still flocked and still the file at the path, so
    // that no later owner's file is taken away.
    if (m_owned && SameFile(m_fd, m_path) && ReadOwner(m_fd) == ::getpid()) {
        ::unlink(m_path.c_str());
    }
    ::close(m_fd);
}
