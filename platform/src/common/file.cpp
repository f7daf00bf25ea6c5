// What files do the same on every system: how their errors are raised and
// what file and archive errors say.
#include "platform/file.h"

#include <cerrno>

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
#ifdef EDQUOT
    case EDQUOT:
#endif
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

CFile::CFile(const CString& path, UINT flags) : CFile() {
    Open(path, flags);
}

void CFile::Throw(int osError) const {
    throw CFileException(CFileException::CauseOf(osError), osError, m_path);
}

UINT CFile::Read(void* buffer, UINT count) {
    if (m_handle == -1) {
        Throw(EBADF);
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        int error = 0;
        const long got = ReadSome(bytes + done, count - done, error);
        if (got < 0) {
            Throw(error);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<UINT>(got);
    }
    return done;
}
