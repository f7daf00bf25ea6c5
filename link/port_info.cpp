#include "link/port_info.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// A USB serial device's tty sits one or two levels below the USB device that
// carries the product string.
std::string UsbProduct(const std::string& sysfsRoot, const std::string& ttyName) {
    const std::string device = sysfsRoot + "/class/tty/" + ttyName + "/device";
    if (::access(device.c_str(), F_OK) != 0) {
        return {};
    }
    const std::string real = RealPath(device);
    for (const char* up : {"/../product", "/../../product"}) {
        const std::string product = FirstLine(real + up);
        if (!product.empty()) {
            return product;
        }
    }
    return {};
}

// "COM3: no such device (looked for ...)", with the candidates that are there
// but have no UART behind them.
std::string NoSuchDevice(const CString& portName, const SerialFolders& folders) {
    std::string tried, phantoms;
    for (const std::string& candidate : PortNameCandidates(portName, folders.devices)) {
        tried += (tried.empty() ? "" : ", ") + candidate;
        if (ExamineDevice(candidate, folders) == DeviceKind::NoUart) {
            phantoms += "; no UART behind " + candidate;
        }
    }
    return portName + ": no such device" + (tried.empty() ? "" : " (looked for " + tried + ")") +
           phantoms;
}

std::string HolderName(int pid) {
    const std::string name = FirstLine("/proc/" + std::to_string(pid) + "/comm");
    return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

constexpr char kConsole[] = "the system console; it is not used for the receiver";

std::string GroupOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    if (const group* found = ::getgrgid(info.st_gid)) {
        return found->gr_name;
    }
    return std::to_string(info.st_gid);
}

std::string PermissionAdvice(const std::string& device) {
    std::string group = GroupOf(device);
    if (group.empty() || group == "root") {
        group = "dialout";
    }
    return "permission denied: add your user to the " + group + " group (sudo usermod -aG " +
           group + " $USER), then log out and in again after joining it";
}

} // namespace

CString ExplainPortFailure(const CString& portName, int error, int holder,
                           const SerialFolders& folders) {
    const std::string path = ResolvePortName(portName, folders);
    const DeviceKind kind = path.empty() ? DeviceKind::Missing : ExamineDevice(path, folders);
    if (kind == DeviceKind::Missing || error == ENOENT) {
        return NoSuchDevice(portName, folders);
    }
    std::string text = portName == path ? path : portName + " leads to " + path;
    const std::string real = RealPath(path);
    if (real != path) {
        text += " -> " + real;
    }
    if (kind == DeviceKind::NoUart) {
        return text + ": no UART behind " + path;
    }
    if (kind == DeviceKind::Console) {
        return text + ": " + kConsole;
    }
    switch (error) {
    case EACCES:
    case EPERM:
        return text + ": " + PermissionAdvice(real);
    case EBUSY:
    case EWOULDBLOCK:
        return text + ": busy: held by " + (holder > 0 ? HolderName(holder) : "another program");
    case ENOTTY:
        return text + ": not a serial port";
    default:
        return text + ": " + std::strerror(error);
    }
}

CString DescribePort(const CString& portName, const SerialFolders& folders) {
    const std::string path = ResolvePortName(portName, folders);
    if (path.empty()) {
        return NoSuchDevice(portName, folders);
    }
    const std::string real = RealPath(path);
    CString text = portName + ": " + path;
    if (real != path) {
        text += " -> " + real;
    }
    const std::string product = UsbProduct(folders.sysfs, real.substr(real.find_last_of('/') + 1));
    if (!product.empty()) {
        text += " (" + product + ")";
    }
    switch (ExamineDevice(path, folders)) {
    case DeviceKind::NoUart:
        return text + "\nno UART behind " + path;
    case DeviceKind::Console:
        return text + "\n" + kConsole;
    case DeviceKind::Missing:
    case DeviceKind::Port:
        break;
    }
    if (::access(real.c_str(), R_OK | W_OK) != 0) {
        if (errno == EACCES || errno == EPERM) {
            text.append("\n").append(PermissionAdvice(real));
        } else {
            text.append("\n").append(std::strerror(errno));
        }
    }
    return text;
}
