// Who has a serial device open: the descriptors the kernel lists for each
// process, and the device's lock file.
#include "platform/port_survey.h"

#include "port_lock.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
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

// Whether one of the process's descriptors leads to target; false with
// readable false when they cannot be listed.
bool HasOpen(const std::string& processFolder, const std::string& target, bool& readable) {
    const std::string fds = processFolder + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(fds.c_str()), ::closedir);
    readable = dir != nullptr;
    if (!dir) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        char link[4096];
        const ssize_t length =
            ::readlink((fds + "/" + entry->d_name).c_str(), link, sizeof link - 1);
        if (length > 0 && std::string(link, static_cast<std::size_t>(length)) == target) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const SerialFolders& folders,
                                        int* unseen) {
    std::vector<PortHolder> holders;
    int hidden = 0;
    const std::string target = RealPath(devicePath);
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
        if (HasOpen(folder, target, readable)) {
            holders.push_back({std::atoi(entry->d_name), CommandName(folder)});
        } else if (!readable) {
            // Also a process that ended while the list was read; it holds nothing.
            struct stat info {};
            hidden += ::stat(folder.c_str(), &info) == 0 ? 1 : 0;
        }
    }
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
    static const SerialSystemTraits traits{false, true, true};
    return traits;
}
