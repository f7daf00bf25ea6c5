// The backup file: a header line, a description line, the image length as a
// 32-bit little-endian number, then that many image bytes.
#pragma once

#include "platform/afx.h"

inline constexpr char kBackupHeader[] = "BC245XLT MRVv1.0";
inline constexpr char kBackupFilter[] =
    "BC245XLT Morvane Files (*.mrv)|*.mrv|All Files (*.*)|*.*||";

// The description as the file stores it: on one line, so that every line feed
// or carriage return in it is written as a space.
CString DescriptionLine(const CString& description);
