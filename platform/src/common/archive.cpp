#include "platform/archive.h"

#include <algorithm>
#include <cstring>

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

bool CArchive::ReadLine(CString& text, std::size_t maxLength) {
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
    return ended || !text.empty();
}

bool CArchive::ReadString(CString& text, std::size_t maxLength) {
    if (!ReadLine(text, maxLength)) {
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
