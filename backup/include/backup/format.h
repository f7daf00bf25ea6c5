// The backup file: a header line, a description line, the image length as a
// 32-bit little-endian number, then that many image bytes. Read and written
// here for an image, its length and a description, with no window.
#pragma once

#include "core/image.h"
#include "platform/types.h"

#include <cstdint>

inline constexpr char kBackupHeader[] = "BC245XLT MRVv1.0";
inline constexpr char kBackupFilter[] =
    "BC245XLT Morvane Files (*.mrv)|*.mrv|All Files (*.*)|*.*||";
// The longest description a backup file may carry: what the description field
// takes, so that every description that was saved can be loaded.
inline constexpr std::size_t kMaxDescriptionLength = 32767;

// The description as the file stores it: on one line, so that every line feed
// or carriage return in it is written as a space.
CString DescriptionLine(const CString& description);

// Reads the backup file at path. 1 with its description, stored length and
// image bytes; 0, with nothing given back, when the file cannot be opened or
// is not a whole backup file (no header line or another one, no description
// line or one longer than kMaxDescriptionLength, a stored length of 0 or above
// the image's capacity, image bytes cut short). A file that ends inside the
// description line or the length raises CArchiveException (end of file), as
// the archive does; nothing is given back then either.
// When error is given, it receives why a read returned 0.
int ReadBackupFile(const CString& path, CString& description, std::int32_t& length,
                   unsigned char (&image)[kImageSize], CString* error = nullptr);

// Writes the backup file at path, replacing an earlier file only once the new
// one is complete. 1 when written, 0 when not; error then receives why.
int WriteBackupFile(const CString& path, const CString& description, std::int32_t length,
                    const unsigned char* image, CString* error = nullptr);
