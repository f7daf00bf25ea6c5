// The serial devices of a Linux machine as sysfs, the device folder and the
// process list show them.
#include "platform/port_survey.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <pwd.h>
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

// The device's owner and group, and whether that group may read and write it.
void GroupOf(const std::string& path, DeviceFacts& facts) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return;
    }
    if (const group* found = ::getgrgid(info.st_gid)) {
        facts.group = found->gr_name;
    } else {
        facts.group = std::to_string(info.st_gid);
    }
    facts.groupMayOpen = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (const passwd* owner = ::getpwuid(info.st_uid)) {
        facts.owner = owner->pw_name;
    } else {
        facts.owner = std::to_string(info.st_uid);
    }
}

} // namespace

DeviceFacts SurveyDeviceFacts(const std::string& path, const SerialFolders& folders) {
    DeviceFacts facts;
    facts.path = path;
    facts.real = RealPath(path);
    facts.kind = ExamineDevice(path, folders);
    const std::string name = BaseName(facts.real);
    const std::string byIdFolder = folders.devices + "/serial/by-id";
    for (const std::string& entry : FolderEntries(byIdFolder)) {
        if (RealPath(byIdFolder + "/" + entry) == facts.real) {
            facts.byId.push_back(byIdFolder + "/" + entry);
        }
    }
    const std::string device = folders.sysfs + "/class/tty/" + name + "/device";
    if (::access(device.c_str(), F_OK) == 0) {
        facts.driver = BaseName(RealPath(device + "/driver"));
        if (facts.driver == "driver") {
            facts.driver.clear(); // no driver link
        }
        // An FTDI adapter's driver shows the chip's latency timer.
        const std::string latency = FirstLine(device + "/latency_timer");
        if (!latency.empty()) {
            facts.latencyTimer = std::atoi(latency.c_str());
        }
        const std::string usb = UsbDeviceFolder(device);
        if (!usb.empty()) {
            facts.usbId = FirstLine(usb + "/idVendor") + ":" + FirstLine(usb + "/idProduct");
            facts.manufacturer = FirstLine(usb + "/manufacturer");
            facts.product = FirstLine(usb + "/product");
        }
    }
    facts.mayOpen = ::access(facts.real.c_str(), R_OK | W_OK) == 0;
    if (!facts.mayOpen) {
        facts.accessError = errno;
    }
    GroupOf(facts.real, facts);
    facts.holders = FindPortHolders(path, folders, &facts.unseen);
    facts.lockOwner = PortLockOwner(path, folders);
    return facts;
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
