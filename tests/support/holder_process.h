// Another process that holds what it opened until it is ended: a competitor
// for a port, a far end, a holder of a lock.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

class HolderProcess {
public:
    // Runs setup in a child of its own and keeps the child until the end;
    // setup returns false when it could not do its part. With alone, the
    // child first lets go of every descriptor it inherited, as a program of
    // its own would not have them (a terminal's far end among them).
    template <typename Setup> explicit HolderProcess(Setup setup, bool alone = false) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            for (int fd = 3; alone && fd < 1024; ++fd) {
                if (fd != ready[1]) {
                    ::close(fd);
                }
            }
            const char said = setup() ? 'y' : 'n';
            if (::write(ready[1], &said, 1) == 1) {
                ::pause();
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        char said = 'n';
        m_ready = ::read(ready[0], &said, 1) == 1 && said == 'y';
        ::close(ready[0]);
    }
    ~HolderProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    bool Ready() const { return m_ready; }
    int Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

// A program of its own that has the device open, flocked or not.
inline bool OpenAndHold(const std::string& device, bool flocked) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    return fd >= 0 && (!flocked || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
}
