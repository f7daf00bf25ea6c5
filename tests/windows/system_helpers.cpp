#include "system_helpers.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

namespace helpers {

namespace {

std::wstring Wide(const std::string& utf8) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

} // namespace

void* HoldOpen(const std::string& path) {
    return ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Release(void* held) {
    ::CloseHandle(static_cast<HANDLE>(held));
}

void SetReadOnly(const std::string& path, bool readOnly) {
    ::SetFileAttributesW(Wide(path).c_str(),
                         readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

void Age(const std::string& path, int seconds) {
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{};
    time.LowPart = now.dwLowDateTime;
    time.HighPart = now.dwHighDateTime;
    time.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
    FILETIME then{time.LowPart, time.HighPart};
    ::SetFileTime(file, nullptr, nullptr, &then);
    ::CloseHandle(file);
}

std::string NewFolder() {
    wchar_t base[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, base);
    for (unsigned n = ::GetTickCount();; ++n) {
        const std::wstring folder = std::wstring(base) + L"bc245xlt-test-" + std::to_wstring(n);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) {
            const int length =
                ::WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, nullptr, 0, nullptr, nullptr);
            std::string utf8(static_cast<std::size_t>(length), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, utf8.data(), length, nullptr,
                                  nullptr);
            utf8.resize(utf8.size() - 1);
            return utf8;
        }
    }
}

void RemoveTree(const std::string& folder) {
    std::error_code ignored;
    const std::filesystem::path path(Wide(folder));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored)) {
        ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Wide(folder), ignored)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace helpers
