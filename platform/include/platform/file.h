// Files and buffered archives: a file opened by path for reading or created
// for writing, the archive that reads lines, integers and blocks from it or
// writes them to it, and the errors both raise.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <vector>

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

    // The cause that fits a system error number.
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

// A file opened by path, for this process alone while it is open (an flock
// that every opener of ours respects).
//
// Opened with modeCreate | modeWrite, the file is written beside its target
// under a temporary name and takes the target's place only when Close
// succeeds: flushed and synced, renamed over the target (through a symbolic
// link, to the link's target), the folder synced. Until then, and on every
// failure, the earlier file stays as it was and the temporary one is removed.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeCreate = 0x1000,
    };

    CFile() = default;
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

    int m_fd = -1;
    int m_lockFd = -1; // the target, locked while it is being replaced
    bool m_replacing = false;
    CString m_path;      // as given
    CString m_target;    // the file that is replaced
    CString m_temporary; // what is written until Close
};

class CArchive {
public:
    enum Mode : UINT {
        store = 0,
        load = 1,
    };

    CArchive(CFile* file, UINT mode, int bufferSize = 4096);
    // An archive destroyed without Close writes nothing more.
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // Reads one line: it ends at a line feed, or at a carriage return together
    // with the byte after it (a line feed there is dropped, any other byte
    // becomes the line's last character), or at the end of the file. False when
    // there is no line. The text ends at its first zero byte. Reading stops
    // once the text holds more than maxLength bytes: a caller that gets a
    // longer text knows the line was too long, and no line takes more memory.
    bool ReadString(CString& text, std::size_t maxLength = kUnlimited);
    static constexpr std::size_t kUnlimited = ~std::size_t{0} - 1;
    void WriteString(const char* text);
    // 32-bit integers, little-endian. Reading one past the end of the file
    // raises CArchiveException::endOfFile.
    CArchive& operator<<(std::uint32_t value);
    CArchive& operator>>(std::uint32_t& value);
    // Reads up to count bytes and returns how many there were.
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    void Flush();
    void Close();

private:
    bool NextByte(unsigned char& byte);
    bool Fill();

    CFile* m_file;
    bool m_loading;
    std::vector<unsigned char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_closed = false;
};
