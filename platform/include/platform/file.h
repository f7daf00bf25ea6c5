// Files: a file opened by path for reading or created for writing, and the
// errors that files and the archives over them raise.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <memory>

class CFileException : public CException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        accessDenied,
        sharingViolation,
        hardIO,
        diskFull,
        endOfFile,
    };

    CFileException(Cause cause, int osError, const CString& fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

    // The cause that fits an error number (errno's values, on every system).
    static Cause CauseOf(int osError);
    CString GetErrorMessage() const override;

    Cause m_cause;
    int m_lOsError;
    CString m_strFileName;
};

class CArchiveException : public CException {
public:
    enum Cause {
        none,
        genericException,
        endOfFile,
    };

    explicit CArchiveException(Cause cause, const CString& fileName = CString())
        : m_cause(cause), m_strFileName(fileName) {}
    CString GetErrorMessage() const override;

    Cause m_cause;
    CString m_strFileName;
};

// A file being written in the place of another: the file that is replaced,
// what is written until it is complete, and the target's lock meanwhile.
struct FileReplacement;

// A file opened by path, for this process alone while it is open (a lock
// that every opener of ours respects). Paths are UTF-8.
//
// Opened with modeCreate | modeWrite, the file is written beside its target
// under a temporary name and takes the target's place only when Close
// succeeds: flushed and synced, renamed over the target (through a symbolic
// link, to the link's target), the folder synced where the system allows. Until then, and on every
// failure, the earlier file stays as it was and the temporary one is removed.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeCreate = 0x1000,
    };

    CFile();
    CFile(const CString& path, UINT flags); // throws CFileException
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    void Open(const CString& path, UINT flags); // throws CFileException
    // Reads up to count bytes; fewer only at the end of the file.
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    // Finishes the file; for a created file this is where it replaces the target.
    void Close();
    // Closes without raising; a created file is discarded.
    void Abort();

private:
    [[noreturn]] void Throw(int osError) const;
    // One read of the system's: the bytes it gave (0 at the end of the
    // file), or -1 with error set. Each system has its own.
    long ReadSome(void* buffer, UINT count, int& error);

    std::intptr_t m_handle = -1; // the system's handle of the open file
    bool m_replacing = false;
    CString m_path; // as given
    std::unique_ptr<FileReplacement> m_replacement;
};
