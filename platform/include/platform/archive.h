// The buffered archive over a file: lines, 32-bit integers and blocks read
// from it or written to it.
#pragma once

#include "platform/file.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
    // there is no line. The bytes are kept as they are, zero bytes included.
    // Reading stops once the line holds more than maxLength bytes: a caller
    // that gets a longer line knows it was too long, and no line takes more
    // memory.
    bool ReadLine(CString& bytes, std::size_t maxLength = kUnlimited);
    // The same line as text: it ends at its first zero byte.
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
