#include "link/port_info.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

} // namespace

CString DescribePort(const CString& portName, const std::string& deviceFolder,
                     const std::string& sysfsRoot) {
    const std::string path = ResolvePortName(portName, deviceFolder);
    if (path.empty()) {
        std::string tried;
        for (const std::string& candidate : PortNameCandidates(portName, deviceFolder)) {
            tried += (tried.empty() ? "" : ", ") + candidate;
        }
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
            text += "\npermission denied: add your user to the dialout group";
        } else {
            text += std::string("\n") + std::strerror(errno);
        }
    }
    return text;
}
