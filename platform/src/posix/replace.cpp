#include "replace.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CString FolderOf(const CString& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == CString::npos) {
        return ".";
    }
    return slash == 0 ? CString("/") : path.substr(0, slash);
}

CString NameOf(const CString& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == CString::npos ? path : path.substr(slash + 1);
}

// In a sticky folder that anyone may write to (such as /tmp), a link is
// followed only when it belongs to the folder's owner or to the user saving:
// another user's link there could point the save at the saver's own files.
bool MayFollow(const CString& link, const struct stat& linkInfo) {
    struct stat folder {};
    if (::stat(FolderOf(link).c_str(), &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || linkInfo.st_uid == folder.st_uid || linkInfo.st_uid == ::geteuid();
}

// The file a path finally names, following symbolic links (also one whose
// target does not exist yet, which is then the file to create). 0, or the
// error that forbids following.
int FollowLinks(CString& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return 0;
        }
        if (!MayFollow(path, info)) {
            return EACCES;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0) {
            return 0;
        }
        const CString next(target, static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
    }
    return ELOOP;
}

// Temporary files are named after their target: ".NAME.saving-XXXXXX".
CString TemporaryPrefix(const CString& target) {
    const CString name = NameOf(target);
    return "." + (name.size() > 200 ? CString("save") : name) + ".saving-";
}

// A save that was killed part-way leaves its temporary file behind. Such
// leftovers for the same target, of the saving user, older than a minute
// (so never one that another save is still writing) are removed.
void RemoveLeftovers(const CString& target) {
    const CString folder = FolderOf(target);
    const CString prefix = TemporaryPrefix(target);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const time_t minuteAgo = ::time(nullptr) - 60;
    while (const dirent* entry = ::readdir(dir)) {
        const CString name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        struct stat info {};
        const CString path = folder + "/" + name;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && info.st_mtime < minuteAgo) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

int BeginReplacement(const CString& path, FileReplacement& replacement, int& error) {
    replacement.target = path;
    error = FollowLinks(replacement.target);
    if (error != 0) {
        return -1;
    }
    const CString& target = replacement.target;
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    mode_t mode = 0666 & ~CurrentUmask();
    if (exists) {
        // Only a plain file is replaced, and a read-only one never, not even
        // for a user whom the system would let write it.
        if (S_ISDIR(existing.st_mode)) {
            error = EISDIR;
            return -1;
        }
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0) {
            error = EACCES;
            return -1;
        }
        if (::access(target.c_str(), W_OK) != 0) {
            error = errno;
            return -1;
        }
        replacement.lockFd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        if (replacement.lockFd < 0) {
            replacement.lockFd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        }
        if (replacement.lockFd < 0 || ::flock(replacement.lockFd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            AbandonReplacement(replacement);
            return -1;
        }
        mode = existing.st_mode & 07777;
    }
    RemoveLeftovers(target);
    replacement.temporary = FolderOf(target) + "/" + TemporaryPrefix(target) + "XXXXXX";
    const int fd = ::mkostemp(replacement.temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        replacement.temporary.clear();
        AbandonReplacement(replacement);
        return -1;
    }
    ::fchmod(fd, mode);
    if (exists && ::geteuid() == 0) {
        [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    return fd;
}

int FinishReplacement(FileReplacement& replacement) {
    if (::rename(replacement.temporary.c_str(), replacement.target.c_str()) != 0) {
        const int error = errno;
        AbandonReplacement(replacement);
        return error;
    }
    replacement.temporary.clear();
    const int folder =
        ::open(FolderOf(replacement.target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    AbandonReplacement(replacement);
    return 0;
}

void AbandonReplacement(FileReplacement& replacement) {
    if (!replacement.temporary.empty()) {
        ::unlink(replacement.temporary.c_str());
        replacement.temporary.clear();
    }
    if (replacement.lockFd >= 0) {
        ::close(replacement.lockFd);
        replacement.lockFd = -1;
    }
}
