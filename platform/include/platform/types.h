// The framework's plain types: 8-bit text, the integer types of its calls,
// and the base of the errors that reach the general error report. No toolkit
// header is needed to use them.
#pragma once

#include <cstdint>
#include <string>

using UINT = unsigned int;
using BOOL = int;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;

// The system's window behind a window object; what it points to is the backend's.
struct HWND__;
using HWND = HWND__*;

// All text of this framework is 8-bit, single-byte Windows-1252 text.
using CString = std::string;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr unsigned LOWORD(std::uintptr_t v) {
    return static_cast<unsigned>(v & 0xFFFFu);
}
constexpr unsigned HIWORD(std::uintptr_t v) {
    return static_cast<unsigned>((v >> 16) & 0xFFFFu);
}

// Errors that reach the general error report.
class CException {
public:
    virtual ~CException() = default;
    // The text shown by the general error report; empty when the error has none.
    virtual CString GetErrorMessage() const = 0;
};
