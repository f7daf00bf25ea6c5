// Port names and device paths on Linux: which device "COMn" stands for, what
// the kernel says of a device, and the name of its lock file.
#include "platform/serial.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

std::vector<std::string> PortNameCandidates(const std::string& portName,
                                            const std::string& folder) {
    if (portName.size() < 4 || portName.compare(0, 3, "COM") != 0) {
        return {};
    }
    int number = 0;
    for (std::size_t i = 3; i < portName.size(); ++i) {
        if (portName[i] < '0' || portName[i] > '9' || number > 999) {
            return {};
        }
        number = number * 10 + (portName[i] - '0');
    }
    if (number < 1) {
        return {};
    }
    const std::string index = std::to_string(number - 1);
    return {folder + "/" + portName, folder + "/ttyUSB" + index, folder + "/ttyACM" + index,
            folder + "/ttyS" + index};
}

namespace {

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The consoles the kernel writes to, by device name ("ttyS0 tty0").
bool IsConsole(const std::string& name, const std::string& sysfs) {
    std::ifstream active(sysfs + "/class/tty/console/active");
    std::string entry;
    while (active >> entry) {
        if (entry == name) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

DeviceKind ExamineDevice(const std::string& path, const SerialFolders& folders) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return DeviceKind::Missing;
    }
    const std::string name = BaseName(RealPath(path));
    // The serial core gives each of its ports a type; 0 means that no UART
    // answered at that port's address.
    std::ifstream type(folders.sysfs + "/class/tty/" + name + "/type");
    int uart = -1;
    if (type >> uart && uart == 0) {
        return DeviceKind::NoUart;
    }
    return IsConsole(name, folders.sysfs) ? DeviceKind::Console : DeviceKind::Port;
}

std::string ResolvePortName(const std::string& portName, const SerialFolders& folders) {
    if (portName.find('/') != std::string::npos) {
        return portName;
    }
    for (const std::string& path : PortNameCandidates(portName, folders.devices)) {
        const DeviceKind kind = ExamineDevice(path, folders);
        if (kind == DeviceKind::Port || kind == DeviceKind::Console) {
            return path;
        }
    }
    return {};
}

std::string PortLockName(const std::string& devicePath) {
    const std::string real = RealPath(devicePath);
    std::string name = real.rfind("/dev/", 0) == 0 ? real.substr(5) : BaseName(real);
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + name;
}
