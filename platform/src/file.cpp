#include "platform/file.h"

#include "replace.h"

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

    int error = 0;
    m_fd = BeginReplacement(path, m_replacement, error);
    if (m_fd < 0) {
        Throw(error);
    }
    m_replacing = true;
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
    m_replacing = false;
    if (error == 0) {
        error = FinishReplacement(m_replacement);
    }
    if (error != 0) {
        Abort();
        Throw(error);
    }
}

void CFile::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_replacing = false;
    AbandonReplacement(m_replacement);
}
