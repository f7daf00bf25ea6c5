// Who has a serial device open: the descriptors the kernel lists for each
// process, and the device's lock file. The far end of a pseudo-terminal is
// no competitor for its bytes: it is what the port talks to.
#include "platform/port_survey.h"

#include "port_lock.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

std::string CommandName(const std::string& processFolder) {
    std::ifstream in(processFolder + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

bool IsProcessId(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (const char* c = name; *c != '\0'; ++c) {
        if (std::isdigit(static_cast<unsigned char>(*c)) == 0) {
            return false;
        }
    }
    return true;
}

// A device as the kernel tells it apart: a device node by its numbers and the
// file system it is on (a pseudo-terminal of another devpts instance has the
// same name and numbers but another file system), anything else by its inode.
struct DeviceId {
    dev_t fileSystem = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool node = false;

    bool operator==(const DeviceId& other) const {
        return fileSystem == other.fileSystem && node == other.node &&
               (node ? device == other.device : inode == other.inode);
    }
};

bool IdOf(const std::string& path, DeviceId& id) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    id.fileSystem = info.st_dev;
    id.node = S_ISCHR(info.st_mode);
    id.device = info.st_rdev;
    id.inode = info.st_ino;
    return true;
}

// The index of a pseudo-terminal's slave device (/dev/pts/N), or -1.
long PtyIndex(const DeviceId& id) {
    const unsigned major = ::major(id.device);
    if (!id.node || major < 136 || major > 143) {
        return -1;
    }
    return static_cast<long>((major - 136) << 20) + static_cast<long>(::minor(id.device));
}

// Whether the descriptor is the master of the pseudo-terminal index: a
// master of /dev/ptmx or /dev/pts/ptmx names its terminal in its fdinfo.
bool IsMasterOf(const std::string& processFolder, const char* fd, const DeviceId& opened,
                long index) {
    if (index < 0 || !opened.node || ::major(opened.device) != 5 || ::minor(opened.device) != 2) {
        return false;
    }
    std::ifstream info(processFolder + "/fdinfo/" + fd);
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("tty-index:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) == index;
        }
    }
    return false;
}

// Whether the process competes for the target's bytes: it has the device
// open, and is not the far end of a pseudo-terminal (the holder of its
// master, which writes what the port reads). False with readable false when
// its descriptors cannot be listed.
bool Competes(const std::string& processFolder, const std::string& targetPath,
              const DeviceId& target, bool& readable) {
    const std::string fds = processFolder + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(fds.c_str()), ::closedir);
    readable = dir != nullptr;
    if (!dir) {
        return false;
    }
    const long index = PtyIndex(target);
    bool holdsDevice = false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string fd = fds + "/" + entry->d_name;
        char link[4096];
        const ssize_t length = ::readlink(fd.c_str(), link, sizeof link - 1);
        if (length <= 0) {
            continue;
        }
        const std::string named(link, static_cast<std::size_t>(length));
        // Only what may be the device, or a master, is looked at more closely.
        if (named != targetPath && named.rfind("/dev/", 0) != 0) {
            continue;
        }
        DeviceId opened;
        if (!IdOf(fd, opened)) {
            continue;
        }
        if (IsMasterOf(processFolder, entry->d_name, opened, index)) {
            return false;
        }
        holdsDevice = holdsDevice || opened == target;
    }
    return holdsDevice;
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const SerialFolders& folders,
                                        int* unseen) {
    std::vector<PortHolder> holders;
    int hidden = 0;
    const std::string targetPath = RealPath(devicePath);
    DeviceId target;
    if (!IdOf(targetPath, target)) {
        if (unseen != nullptr) {
            *unseen = 0;
        }
        return holders;
    }
    const std::string self = std::to_string(::getpid());
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir(folders.proc.c_str()), ::closedir);
    while (proc) {
        const dirent* entry = ::readdir(proc.get());
        if (entry == nullptr) {
            break;
        }
        if (!IsProcessId(entry->d_name) || entry->d_name == self) {
            continue;
        }
        const std::string folder = folders.proc + "/" + entry->d_name;
        bool readable = false;
        if (Competes(folder, targetPath, target, readable)) {
            holders.push_back({std::atoi(entry->d_name), CommandName(folder)});
        } else if (!readable) {
            // Also a process that ended while the list was read; it holds nothing.
            struct stat info {};
            hidden += ::stat(folder.c_str(), &info) == 0 ? 1 : 0;
        }
    }
    // Another user's process is hidden from this one, but the flock it holds
    // on the device is not: the kernel lists every lock for everyone.
    const int flocked = FlockOwner(target.fileSystem, target.inode, folders.proc + "/locks");
    if (flocked > 0 && std::to_string(flocked) != self &&
        std::none_of(holders.begin(), holders.end(),
                     [&](const PortHolder& holder) { return holder.pid == flocked; })) {
        holders.push_back({flocked, CommandName(folders.proc + "/" + std::to_string(flocked))});
    }
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    if (unseen != nullptr) {
        *unseen = hidden;
    }
    return holders;
}

int PortLockOwner(const std::string& devicePath, const SerialFolders& folders) {
    return PortLock::Owner(folders.locks + "/" + PortLockName(devicePath));
}

std::string ProcessName(int pid, const SerialFolders& folders) {
    std::string name = CommandName(folders.proc + "/" + std::to_string(pid));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) {
        name.pop_back();
    }
    return name;
}

bool SeesEveryProcess() {
    return ::geteuid() == 0;
}

int ThisProcessId() {
    return ::getpid();
}

const SerialSystemTraits& SerialTraits() {
    static const SerialSystemTraits traits{false, true, true, true};
    return traits;
}
