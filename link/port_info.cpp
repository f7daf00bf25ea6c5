#include "link/port_info.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <memory>
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

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    while (dir) {
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The USB device a serial device belongs to: the nearest folder above its
// sysfs device that carries a vendor id (one level for a CDC-ACM interface,
// two for a USB serial adapter's port).
std::string UsbDeviceFolder(const std::string& sysfsDevice) {
    std::string folder = RealPath(sysfsDevice);
    for (int up = 0; up < 3 && folder.size() > 1; ++up) {
        folder = folder.substr(0, folder.find_last_of('/'));
        if (::access((folder + "/idVendor").c_str(), F_OK) == 0) {
            return folder;
        }
    }
    return {};
}

// Services known to take serial adapters, with what to do about each.
std::string Remedy(const std::string& holderName) {
    if (holderName == "ModemManager") {
        return "; ModemManager probes new serial adapters: install the udev rule that tells it "
               "to leave yours alone, or stop it (sudo systemctl stop ModemManager)";
    }
    if (holderName == "brltty") {
        return "; brltty takes some USB serial adapters for braille displays: remove it if you "
               "do not need it (sudo apt-get remove brltty)";
    }
    return {};
}

std::string HolderName(int pid, const SerialFolders& folders) {
    const std::string name = FirstLine(folders.proc + "/" + std::to_string(pid) + "/comm");
    return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")") +
           Remedy(name);
}

// "no such device (looked for ...)", with the candidates that are there but
// have no UART behind them.
std::string NoSuchDevice(const CString& portName, const SerialFolders& folders) {
    std::string tried, phantoms;
    for (const std::string& candidate : PortNameCandidates(portName, folders.devices)) {
        tried += (tried.empty() ? "" : ", ") + candidate;
        if (ExamineDevice(candidate, folders) == DeviceKind::NoUart) {
            phantoms += "; no UART behind " + candidate;
        }
    }
    return "no such device" + (tried.empty() ? "" : " (looked for " + tried + ")") + phantoms;
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

// "/dev/COM1 -> /dev/ttyUSB0" for a name that is a link.
std::string PathAndTarget(const std::string& path, const std::string& real) {
    return real == path ? path : path + " -> " + real;
}

} // namespace

DeviceSurvey SurveyDevice(const std::string& path, const SerialFolders& folders) {
    DeviceSurvey survey;
    survey.path = path;
    survey.real = RealPath(path);
    survey.kind = ExamineDevice(path, folders);
    const std::string name = BaseName(survey.real);
    const std::string byIdFolder = folders.devices + "/serial/by-id";
    for (const std::string& entry : FolderEntries(byIdFolder)) {
        if (RealPath(byIdFolder + "/" + entry) == survey.real) {
            survey.byId.push_back(byIdFolder + "/" + entry);
        }
    }
    const std::string device = folders.sysfs + "/class/tty/" + name + "/device";
    if (::access(device.c_str(), F_OK) == 0) {
        survey.driver = BaseName(RealPath(device + "/driver"));
        if (survey.driver == "driver") {
            survey.driver.clear(); // no driver link
        }
        const std::string usb = UsbDeviceFolder(device);
        if (!usb.empty()) {
            survey.usbId = FirstLine(usb + "/idVendor") + ":" + FirstLine(usb + "/idProduct");
            survey.manufacturer = FirstLine(usb + "/manufacturer");
            survey.product = FirstLine(usb + "/product");
        }
    }
    survey.mayOpen = ::access(survey.real.c_str(), R_OK | W_OK) == 0;
    if (!survey.mayOpen) {
        survey.accessProblem = errno == EACCES || errno == EPERM ? PermissionAdvice(survey.real)
                                                                 : std::strerror(errno);
    }
    survey.holders = FindPortHolders(path, folders, &survey.unseen);
    survey.lockOwner = PortLockOwner(path, folders);
    if (!survey.holders.empty()) {
        survey.busy = "busy: held by " + HolderName(survey.holders.front().pid, folders);
    } else if (survey.lockOwner > 0 && survey.lockOwner != ::getpid()) {
        survey.busy = "busy: held by " + HolderName(survey.lockOwner, folders);
    }
    return survey;
}

std::vector<std::string> SerialDevicePaths(const SerialFolders& folders) {
    struct Numbered {
        std::string kind;
        long number;
        std::string path;
    };
    std::vector<Numbered> found;
    for (const std::string& entry : FolderEntries(folders.devices)) {
        for (const char* kind : {"ttyUSB", "ttyACM", "ttyS"}) {
            const std::size_t length = std::strlen(kind);
            if (entry.compare(0, length, kind) != 0 || entry.size() == length ||
                entry.find_first_not_of("0123456789", length) != std::string::npos) {
                continue;
            }
            const std::string path = folders.devices + "/" + entry;
            if (ExamineDevice(path, folders) != DeviceKind::NoUart) {
                found.push_back({kind, std::strtol(entry.c_str() + length, nullptr, 10), path});
            }
        }
    }
    const auto rank = [](const std::string& kind) {
        return kind == "ttyUSB" ? 0 : kind == "ttyACM" ? 1 : 2;
    };
    std::sort(found.begin(), found.end(), [&](const Numbered& a, const Numbered& b) {
        return rank(a.kind) != rank(b.kind) ? rank(a.kind) < rank(b.kind) : a.number < b.number;
    });
    std::vector<std::string> paths;
    for (const Numbered& entry : found) {
        paths.push_back(entry.path);
    }
    return paths;
}

std::string ResolveForUser(const CString& portName, const SerialFolders& folders,
                           std::string& problem) {
    const std::string path = ResolvePortName(portName, folders);
    problem.clear();
    if (path.empty() || ExamineDevice(path, folders) == DeviceKind::Missing) {
        problem = NoSuchDevice(portName, folders);
        return {};
    }
    return path;
}

CString ExplainPortFailure(const CString& portName, int error, int holder,
                           const SerialFolders& folders) {
    std::string problem;
    const std::string path = ResolveForUser(portName, folders, problem);
    if (path.empty() || error == ENOENT) {
        return portName + ": " + (problem.empty() ? NoSuchDevice(portName, folders) : problem);
    }
    const DeviceKind kind = ExamineDevice(path, folders);
    const std::string real = RealPath(path);
    std::string text = portName == path ? PathAndTarget(path, real)
                                        : portName + " leads to " + PathAndTarget(path, real);
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
        return text + ": busy: held by " +
               (holder > 0 ? HolderName(holder, folders) : "another program");
    case ENOTTY:
        return text + ": not a serial port";
    default:
        return text + ": " + std::strerror(error);
    }
}

CString DescribePort(const CString& portName, const SerialFolders& folders) {
    std::string problem;
    const std::string path = ResolveForUser(portName, folders, problem);
    if (path.empty()) {
        return portName + ": " + problem;
    }
    const DeviceSurvey survey = SurveyDevice(path, folders);
    CString text = portName + ": " + PathAndTarget(path, survey.real);
    if (!survey.product.empty()) {
        text += " (" + survey.product + ")";
    }
    switch (survey.kind) {
    case DeviceKind::NoUart:
        return text + "\nno UART behind " + path;
    case DeviceKind::Console:
        return text + "\n" + kConsole;
    case DeviceKind::Missing:
    case DeviceKind::Port:
        break;
    }
    if (!survey.mayOpen) {
        text.append("\n").append(survey.accessProblem);
    }
    if (!survey.busy.empty()) {
        text.append("\n").append(survey.busy);
    }
    return text;
}
