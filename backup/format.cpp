// The backup file format: the reader and the writer of the .mrv layout, for an
// image, its length and a description.
#include "backup/format.h"

#include "platform/archive.h"

#include <algorithm>
#include <cstring>

CString DescriptionLine(const CString& description) {
    CString line = description;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    return line;
}

namespace {

int Refuse(CString* error, const CString& why) {
    if (error != nullptr) {
        *error = why;
    }
    return 0;
}

} // namespace

int ReadBackupFile(const CString& path, CString& description, std::int32_t& length,
                   unsigned char (&image)[kImageSize], CString* error) {
    try {
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load);

        // The lines are measured by their bytes, zero bytes included: the
        // header line is exactly the header, and a description line longer
        // than the field's limit is refused, so that no line can end inside
        // what is read as the next field. The header line is read no further
        // than it can still match.
        CString header;
        if (!ar.ReadLine(header, sizeof kBackupHeader - 1) || header != kBackupHeader) {
            return Refuse(error, "not a backup file (no \"" + CString(kBackupHeader) + "\" line)");
        }
        CString line;
        if (!ar.ReadLine(line, kMaxDescriptionLength)) {
            return Refuse(error, "the file ends after its header line");
        }
        if (line.size() > kMaxDescriptionLength) {
            return Refuse(error, "the description is longer than 32767 characters");
        }
        // What is shown of the description ends at its first zero byte.
        const CString text = line.substr(0, line.find('\0'));
        std::uint32_t storedLength = 0;
        ar >> storedLength;
        if (storedLength == 0 || storedLength > static_cast<std::uint32_t>(kImageSize)) {
            return Refuse(error, "the image length " + std::to_string(storedLength) +
                                     " is not between 1 and 8192");
        }
        unsigned char bytes[kImageSize];
        if (ar.Read(bytes, storedLength) < storedLength) {
            // A file cut short inside the image is not a backup to send to a receiver.
            return Refuse(error, "the image is cut short");
        }
        ar.Close();
        file.Close();

        description = text;
        length = static_cast<std::int32_t>(storedLength);
        std::memcpy(image, bytes, storedLength);
        return 1;
    } catch (const CFileException& failure) {
        return Refuse(error, failure.GetErrorMessage());
    }
}

int WriteBackupFile(const CString& path, const CString& description, std::int32_t length,
                    const unsigned char* image, CString* error) {
    try {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteString(kBackupHeader);
        ar.WriteString("\n");
        ar.WriteString(DescriptionLine(description).c_str());
        ar.WriteString("\n");
        const std::int32_t stored = std::clamp(length, 0, kImageSize);
        ar << static_cast<std::uint32_t>(stored);
        ar.Write(image, static_cast<UINT>(stored));
        ar.Close();
        file.Close();
        return 1;
    } catch (const CFileException& failure) {
        return Refuse(error, failure.GetErrorMessage());
    }
}
