// A helper for the driver lane, run inside the test machine.
//   lane-probe termios PID DEVICE  the line settings of DEVICE as process PID
//                                  has them, read through a duplicate of that
//                                  process's own descriptor: opening the
//                                  device again would raise DTR and RTS
//   lane-probe open PORT           opens PORT as the utility does and closes
//                                  it again; says why when it cannot
#include "link/port_info.h"
#include "platform/serial.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The descriptor number under which process pid has device open, or -1.
int FindDescriptor(int pid, const std::string& device) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) {
        return -1;
    }
    int found = -1;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] != '.' && RealPath(folder + "/" + entry->d_name) == device) {
            found = std::atoi(entry->d_name);
        }
    }
    ::closedir(fds);
    return found;
}

int Termios(int pid, const std::string& device) {
    const int remote = FindDescriptor(pid, RealPath(device));
    if (remote < 0) {
        std::printf("process %d does not have %s open\n", pid, device.c_str());
        return 1;
    }
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const int fd = pidfd < 0 ? -1 : static_cast<int>(::syscall(SYS_pidfd_getfd, pidfd, remote, 0));
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
        std::printf("cannot read the settings: %s\n", std::strerror(errno));
        return 1;
    }
    const auto flag = [](bool on, const char* name) { return std::string(on ? "" : "-") + name; };
    const speed_t speed = ::cfgetospeed(&tio);
    std::string words = speed == B9600 ? "9600" : "speed-" + std::to_string(speed);
    words += ::cfgetispeed(&tio) == speed ? "" : " ispeed-differs";
    const tcflag_t size = tio.c_cflag & CSIZE;
    words += size == CS8 ? " cs8" : size == CS7 ? " cs7" : " cs5-6";
    for (const auto& [on, name] : std::initializer_list<std::pair<bool, const char*>>{
             {(tio.c_cflag & PARENB) != 0, "parenb"},
             {(tio.c_cflag & CSTOPB) != 0, "cstopb"},
             {(tio.c_cflag & CLOCAL) != 0, "clocal"},
             {(tio.c_cflag & CREAD) != 0, "cread"},
             {(tio.c_cflag & CRTSCTS) != 0, "crtscts"},
             {(tio.c_iflag & IXON) != 0, "ixon"},
             {(tio.c_iflag & IXOFF) != 0, "ixoff"},
             {(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | BRKINT | PARMRK)) != 0,
              "iflag-translation"},
             {(tio.c_oflag & OPOST) != 0, "opost"},
             {(tio.c_lflag & ICANON) != 0, "icanon"},
             {(tio.c_lflag & (ECHO | ECHONL)) != 0, "echo"},
             {(tio.c_lflag & ISIG) != 0, "isig"},
             {(tio.c_lflag & IEXTEN) != 0, "iexten"},
         }) {
        words += " " + flag(on, name);
    }
    words += " min " + std::to_string(tio.c_cc[VMIN]) + " time " + std::to_string(tio.c_cc[VTIME]);
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        words += " " + flag((serial.flags & ASYNC_LOW_LATENCY) != 0, "low-latency");
    }
    std::printf("%s\n", words.c_str());
    return 0;
}

int Open(const std::string& port) {
    HANDLE handle = OpenSerialPort(port);
    if (handle == INVALID_HANDLE_VALUE) {
        const int error = LastSerialError();
        std::printf(
            "refused: %s\n",
            ExplainPortFailure(port, error, LastSerialLockHolder(), GetSerialFolders()).c_str());
        return 3;
    }
    CloseHandle(handle);
    std::printf("opened %s\n", port.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "termios") == 0) {
        return Termios(std::atoi(argv[2]), argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "open") == 0) {
        return Open(argv[2]);
    }
    std::fprintf(stderr, "usage: lane-probe termios PID DEVICE | open PORT\n");
    return 2;
}
