#include "link/port_info.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

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

std::string TriedPaths(const CString& portName, const std::string& deviceFolder) {
    std::string tried;
    for (const std::string& candidate : PortNameCandidates(portName, deviceFolder)) {
        tried += (tried.empty() ? "" : ", ") + candidate;
    }
    return tried;
}

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

CString ExplainPortFailure(const CString& portName, int error, const std::string& deviceFolder) {
    const std::string path = ResolvePortName(portName, deviceFolder);
    if (path.empty() || error == ENOENT) {
        const std::string tried = TriedPaths(portName, deviceFolder);
        return portName + ": no such device" + (tried.empty() ? "" : " (looked for " + tried + ")");
    }
    std::string text = portName == path ? path : portName + " leads to " + path;
    const std::string real = RealPath(path);
    if (real != path) {
        text += " -> " + real;
    }
    switch (error) {
    case EACCES:
    case EPERM:
        return text + ": " + PermissionAdvice(real);
    case EBUSY:
    case EWOULDBLOCK:
        return text + ": busy: held by another program";
    case ENOTTY:
        return text + ": not a serial port";
    default:
        return text + ": " + std::strerror(error);
    }
}

CString DescribePort(const CString& portName, const std::string& deviceFolder,
                     const std::string& sysfsRoot) {
    const std::string path = ResolvePortName(portName, deviceFolder);
    if (path.empty()) {
        const std::string tried = TriedPaths(portName, deviceFolder);
        return portName + ": no such device" + (tried.empty() ? "" : " (looked for " + tried + ")");
    }
    const std::string real = RealPath(path);
    CString text = portName + ": " + path;
    if (real != path) {
        text += " -> " + real;
    }
    const std::string product = UsbProduct(sysfsRoot, real.substr(real.find_last_of('/') + 1));
    if (!product.empty()) {
        text += " (" + product + ")";
    }
    if (::access(real.c_str(), R_OK | W_OK) != 0) {
        if (errno == EACCES || errno == EPERM) {
            text += "\n" + PermissionAdvice(real);
        } else {
            text += std::string("\n") + std::strerror(errno);
        }
    }
    return text;
}
