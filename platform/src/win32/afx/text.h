// The framework's 8-bit text (Windows-1252) and the system's UTF-16.
#pragma once

#include "platform/types.h"

#include <string>

// Windows-1252 text as UTF-16.
std::wstring WideOfAnsi(const CString& text);
// UTF-16 text as Windows-1252; characters it lacks become '?'.
CString AnsiOfWide(const std::wstring& text);
// A text to show that may hold a path: UTF-8 where it is valid UTF-8 (the
// paths of this system are), Windows-1252 otherwise.
std::wstring WideOfDisplayText(const CString& text);
