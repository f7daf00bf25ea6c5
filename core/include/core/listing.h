#pragma once

#include "platform/types.h"

// One row of the memory listing: the offset as "%04X", a tab, then the 16
// bytes at data, each as "%02X" followed by a space.
CString FormatListingRow(int offset, const unsigned char* data);
