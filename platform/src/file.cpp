#include "platform/file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CString WithName(const char* text, const CString& fileName) {
    CString message = text;
    const std::size_t at = message.find("%1");
    if (at != CString::npos) {
        message.replace(at, 2, fileName.empty() ? CString("an unnamed file") : fileName);
    }
    return message;
}

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

// ---------------------------------------------------------------------------
// Errors

CFileException::Cause CFileException::CauseOf(int osError) {
    switch (osError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EISDIR:
        return badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENODEV:
    case ENXIO:
        return accessDenied;
    case EWOULDBLOCK:
    case EBUSY:
        return sharingViolation;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return diskFull;
    case EIO:
        return hardIO;
    default:
        return genericException;
    }
}

CString CFileException::GetErrorMessage() const {
    switch (m_cause) {
    case fileNotFound:
        return WithName("%1 was not found.", m_strFileName);
    case badPath:
        return WithName("%1 contains an invalid path.", m_strFileName);
    case accessDenied:
        return WithName("%1 could not be accessed.", m_strFileName);
    case sharingViolation:
        return WithName("%1 could not be accessed because of a sharing violation.", m_strFileName);
    case hardIO:
        return WithName("A hardware I/O error was reported while accessing %1.", m_strFileName);
    case diskFull:
        return "There is not enough space on the disk.";
    case endOfFile:
        return WithName("An attempt was made to access %1 past its end.", m_strFileName);
    case none:
    case genericException:
        break;
    }
    return WithName("An unknown error occurred while accessing %1.", m_strFileName);
}

CString CArchiveException::GetErrorMessage() const {
    if (m_cause == endOfFile) {
        return WithName("An attempt was made to access %1 past its end.", m_strFileName);
    }
    return WithName("An unexpected error occurred while reading %1.", m_strFileName);
}

// ---------------------------------------------------------------------------
// Files

CFile::CFile(const CString& path, UINT flags) {
    Open(path, flags);
}

CFile::~CFile() {
    Abort();
}

void CFile::Throw(int osError) const {
    throw CFileException(CFileException::CauseOf(osError), osError, m_path);
}

void CFile::Open(const CString& path, UINT flags) {
    Abort();
    m_path = path;
    if ((flags & modeCreate) == 0) {
        // Opened without waiting, so that a FIFO or a device cannot hold the
        // program; only a regular file is read.
        m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) {
            Throw(errno);
        }
        struct stat info {};
        int error = 0;
        if (::fstat(m_fd, &info) != 0) {
            error = errno;
        } else if (S_ISDIR(info.st_mode)) {
            error = EISDIR;
        } else if (!S_ISREG(info.st_mode)) {
            error = ENODEV;
        } else if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
        } else if (::fcntl(m_fd, F_SETFL, 0) != 0) {
            error = errno;
        }
        if (error != 0) {
            Abort();
            Throw(error);
        }
        return;
    }

    m_target = path;
    if (const int error = FollowLinks(m_target); error != 0) {
        Throw(error);
    }
    struct stat existing {};
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    mode_t mode = 0666 & ~CurrentUmask();
    if (exists) {
        // Only a plain file is replaced, and a read-only one never, not even
        // for a user whom the system would let write it.
        if (S_ISDIR(existing.st_mode)) {
            Throw(EISDIR);
        }
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0) {
            Throw(EACCES);
        }
        if (::access(m_target.c_str(), W_OK) != 0) {
            Throw(errno);
        }
        m_lockFd = ::open(m_target.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_lockFd < 0) {
            m_lockFd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
        }
        if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            Abort();
            Throw(error);
        }
        mode = existing.st_mode & 07777;
    }
    RemoveLeftovers(m_target);
    m_temporary = FolderOf(m_target) + "/" + TemporaryPrefix(m_target) + "XXXXXX";
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        Abort();
        Throw(error);
    }
    m_replacing = true;
    ::fchmod(m_fd, mode);
    if (exists && ::geteuid() == 0) {
        [[maybe_unused]] const int ignored = ::fchown(m_fd, existing.st_uid, existing.st_gid);
    }
}

UINT CFile::Read(void* buffer, UINT count) {
    if (m_fd < 0) {
        Throw(EBADF);
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_fd, bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            Throw(errno);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<UINT>(got);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count) {
    if (m_fd < 0) {
        Throw(EBADF);
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t put = ::write(m_fd, bytes + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            Throw(put < 0 ? errno : ENOSPC);
        }
        done += static_cast<UINT>(put);
    }
}

void CFile::Close() {
    if (m_fd < 0) {
        return;
    }
    if (!m_replacing) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    int error = 0;
    if (::fsync(m_fd) != 0) {
        error = errno;
    }
    if (::close(m_fd) != 0 && error == 0) {
        error = errno;
    }
    m_fd = -1;
    if (error == 0 && ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        Abort();
        Throw(error);
    }
    m_temporary.clear();
    m_replacing = false;
    const int folder = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    Abort();
}

void CFile::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_replacing && !m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
    }
    m_replacing = false;
    m_temporary.clear();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

// ---------------------------------------------------------------------------
// Archives

CArchive::CArchive(CFile* file, UINT mode, int bufferSize)
    : m_file(file), m_loading((mode & load) != 0),
      m_buffer(static_cast<std::size_t>(std::max(bufferSize, 16))) {}

CArchive::~CArchive() = default;

bool CArchive::Fill() {
    m_pos = 0;
    m_end = m_file->Read(m_buffer.data(), static_cast<UINT>(m_buffer.size()));
    return m_end > 0;
}

bool CArchive::NextByte(unsigned char& byte) {
    if (m_pos == m_end && !Fill()) {
        return false;
    }
    byte = m_buffer[m_pos++];
    return true;
}

bool CArchive::ReadString(CString& text, std::size_t maxLength) {
    text.clear();
    bool ended = false;
    unsigned char byte = 0;
    while (!ended && text.size() <= maxLength && NextByte(byte)) {
        if (byte == '\n') {
            ended = true;
        } else if (byte == '\r') {
            unsigned char after = 0;
            if (NextByte(after)) {
                if (after != '\n') {
                    text.push_back(static_cast<char>(after));
                }
                ended = true;
            }
            // A carriage return at the very end of the file ends the text.
            else if (text.empty()) {
                return false;
            } else {
                ended = true;
            }
        } else {
            text.push_back(static_cast<char>(byte));
        }
    }
    if (!ended && text.empty()) {
        return false;
    }
    if (const std::size_t zero = text.find('\0'); zero != CString::npos) {
        text.resize(zero);
    }
    return true;
}

void CArchive::WriteString(const char* text) {
    Write(text, static_cast<UINT>(std::strlen(text)));
}

CArchive& CArchive::operator<<(std::uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value),
        static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 24),
    };
    Write(bytes, 4);
    return *this;
}

CArchive& CArchive::operator>>(std::uint32_t& value) {
    unsigned char bytes[4];
    for (unsigned char& byte : bytes) {
        if (!NextByte(byte)) {
            throw CArchiveException(CArchiveException::endOfFile);
        }
    }
    value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return *this;
}

UINT CArchive::Read(void* buffer, UINT count) {
    auto* out = static_cast<unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        if (m_pos == m_end && !Fill()) {
            break;
        }
        const std::size_t take = std::min<std::size_t>(count - done, m_end - m_pos);
        std::memcpy(out + done, m_buffer.data() + m_pos, take);
        m_pos += take;
        done += static_cast<UINT>(take);
    }
    return done;
}

void CArchive::Write(const void* buffer, UINT count) {
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        if (m_end == m_buffer.size()) {
            Flush();
        }
        const std::size_t take = std::min<std::size_t>(count, m_buffer.size() - m_end);
        std::memcpy(m_buffer.data() + m_end, in, take);
        m_end += take;
        in += take;
        count -= static_cast<UINT>(take);
    }
}

void CArchive::Flush() {
    if (!m_loading && m_end > 0) {
        const std::size_t size = m_end;
        m_end = 0;
        m_file->Write(m_buffer.data(), static_cast<UINT>(size));
    }
}

void CArchive::Close() {
    if (!m_closed) {
        m_closed = true;
        Flush();
    }
}
