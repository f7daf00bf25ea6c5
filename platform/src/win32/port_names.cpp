// Port names on Windows: the name is the port. "COM1" to "COM256" are looked
// up among the system's devices; a name with a backslash is a device path.
#include "platform/serial.h"

#include "system.h"

namespace {

// The number of a "COMn" name, or 0.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') {
        return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number <= 256 ? number : 0;
}

bool IsDevicePath(const std::string& name) {
    return name.find('\\') != std::string::npos || name.find('/') != std::string::npos;
}

} // namespace

std::vector<std::string> PortNameCandidates(const std::string& portName, const std::string&) {
    if (ComNumber(portName) == 0) {
        return {};
    }
    return {portName};
}

std::string RealPath(const std::string& path) {
    return path;
}

DeviceKind ExamineDevice(const std::string& path, const SerialFolders&) {
    if (IsDevicePath(path)) {
        return DeviceKind::Port;
    }
    return ComNumber(path) != 0 && win::DosDeviceExists(path) ? DeviceKind::Port
                                                              : DeviceKind::Missing;
}

std::string ResolvePortName(const std::string& portName, const SerialFolders& folders) {
    if (IsDevicePath(portName)) {
        return portName;
    }
    for (const std::string& path : PortNameCandidates(portName, folders.devices)) {
        if (ExamineDevice(path, folders) == DeviceKind::Port) {
            return path;
        }
    }
    return {};
}

std::string PortLockName(const std::string& devicePath) {
    std::string name = devicePath;
    for (char& c : name) {
        if (c == '\\' || c == '/') {
            c = '_';
        }
    }
    return "bc245xlt-port-" + name;
}
