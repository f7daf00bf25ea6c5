// The lock file of a serial device, as the serial-port convention has it: a
// file "LCK..<device>" in a shared lock folder that holds the owner's process
// id. Every user and every program that follows the convention sees it, so it
// is taken before the device is opened. The file is also flocked while it is
// held, so that a lock whose owner died, however it died, is free again.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

// The process whose flock is on the file of that device and inode, as the
// kernel lists every process's locks in locksFile (readable by all users), or 0.
int FlockOwner(dev_t device, ino_t inode, const std::string& locksFile);

class PortLock {
public:
    // Takes the lock file at path ("/run/lock/LCK..ttyUSB0"). Null when
    // another live process holds it: error is then EBUSY and holder that
    // process's id (0 when it is not known). A lock folder that is missing or
    // closed to this user gives a lock that holds nothing: the device's own
    // flock and exclusive flag still keep other openers out.
    static std::unique_ptr<PortLock> Acquire(const std::string& path, int& error, int& holder);
    // The live process that holds the lock file at path, or 0: nothing is
    // taken or changed to find out.
    static int Owner(const std::string& path);
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

private:
    PortLock(int fd, std::string path, bool owned)
        : m_fd(fd), m_path(std::move(path)), m_owned(owned) {}
    int m_fd;
    std::string m_path;
    bool m_owned; // the file holds this process's id, and is removed at the end
};
