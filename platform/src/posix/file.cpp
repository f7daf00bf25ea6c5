// Files on Linux: a regular file opened without blocking, or a file written
// in the place of another.
#include "platform/file.h"

#include "replace.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CFile::CFile() : m_replacement(std::make_unique<FileReplacement>()) {}

CFile::~CFile() {
    Abort();
}

void CFile::Open(const CString& path, UINT flags) {
    Abort();
    m_path = path;
    if ((flags & modeCreate) == 0) {
        // Opened without waiting, so that a FIFO or a device cannot hold the
        // program; only a regular file is read.
        m_handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_handle < 0) {
            Throw(errno);
        }
        struct stat info {};
        int error = 0;
        if (::fstat(m_handle, &info) != 0) {
            error = errno;
        } else if (S_ISDIR(info.st_mode)) {
            error = EISDIR;
        } else if (!S_ISREG(info.st_mode)) {
            error = ENODEV;
        } else if (::flock(m_handle, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
        } else if (::fcntl(m_handle, F_SETFL, 0) != 0) {
            error = errno;
        }
        if (error != 0) {
            Abort();
            Throw(error);
        }
        return;
    }

    int error = 0;
    m_handle = BeginReplacement(path, *m_replacement, error);
    if (m_handle < 0) {
        Throw(error);
    }
    m_replacing = true;
}

long CFile::ReadSome(void* buffer, UINT count, int& error) {
    for (;;) {
        const ssize_t got = ::read(m_handle, buffer, count);
        if (got >= 0 || errno != EINTR) {
            error = got < 0 ? errno : 0;
            return got;
        }
    }
}

void CFile::Write(const void* buffer, UINT count) {
    if (m_handle < 0) {
        Throw(EBADF);
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t put = ::write(m_handle, bytes + done, count - done);
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
    if (m_handle < 0) {
        return;
    }
    if (!m_replacing) {
        ::close(m_handle);
        m_handle = -1;
        return;
    }
    int error = 0;
    if (::fsync(m_handle) != 0) {
        error = errno;
    }
    if (::close(m_handle) != 0 && error == 0) {
        error = errno;
    }
    m_handle = -1;
    m_replacing = false;
    if (error == 0) {
        error = FinishReplacement(*m_replacement);
    }
    if (error != 0) {
        Abort();
        Throw(error);
    }
}

void CFile::Abort() {
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
    m_replacing = false;
    AbandonReplacement(*m_replacement);
}
