// Files on Windows, through the wide calls: UTF-8 paths inside, UTF-16 at the
// system.
#include "system.h"

#include <windows.h>

#include <bcrypt.h>
#include <cerrno>

namespace win {

FileKind KindOf(const std::string& path, std::int64_t* size, int* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        if (error != nullptr) {
            *error = ErrnoOf(::GetLastError());
        }
        return FileKind::Missing;
    }
    if (size != nullptr) {
        *size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                          data.nFileSizeLow);
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return FileKind::Folder;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return FileKind::Device;
    }
    return FileKind::File;
}

bool IsReadOnly(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

namespace {

Handle Opened(HANDLE handle, int& error) {
    if (handle == INVALID_HANDLE_VALUE) {
        error = ErrnoOf(::GetLastError());
        return kNoHandle;
    }
    return handle;
}

} // namespace

Handle OpenForReading(const std::string& path, int& error) {
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_DISK) {
        // A device (NUL, CON, a COM port) is never read as a file.
        ::CloseHandle(handle);
        error = ENODEV;
        return kNoHandle;
    }
    return Opened(handle, error);
}

Handle CreateNew(const std::string& path, int& error) {
    return Opened(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr),
                  error);
}

Handle OpenForLock(const std::string& path, int& error) {
    return Opened(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr),
                  error);
}

long ReadSome(Handle file, void* buffer, unsigned size, int& error) {
    DWORD got = 0;
    if (!::ReadFile(static_cast<HANDLE>(file), buffer, size, &got, nullptr)) {
        error = ErrnoOf(::GetLastError());
        return -1;
    }
    return static_cast<long>(got);
}

bool WriteAll(Handle file, const void* buffer, unsigned size, int& error) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        DWORD put = 0;
        if (!::WriteFile(static_cast<HANDLE>(file), bytes, size, &put, nullptr)) {
            error = ErrnoOf(::GetLastError());
            return false;
        }
        if (put == 0) {
            error = ENOSPC;
            return false;
        }
        bytes += put;
        size -= put;
    }
    return true;
}

bool FlushToDisk(Handle file, int& error) {
    if (!::FlushFileBuffers(static_cast<HANDLE>(file))) {
        error = ErrnoOf(::GetLastError());
        return false;
    }
    return true;
}

void CloseFile(Handle file) {
    ::CloseHandle(static_cast<HANDLE>(file));
}

bool ReplaceWith(const std::string& from, const std::string& to, int& error) {
    if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ErrnoOf(::GetLastError());
        return false;
    }
    return true;
}

bool DeleteNamed(const std::string& path) {
    return ::DeleteFileW(Wide(path).c_str()) != 0;
}

std::vector<std::pair<std::string, std::int64_t>> NamesWithAge(const std::string& folder,
                                                               const std::string& prefix) {
    std::vector<std::pair<std::string, std::int64_t>> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(Wide(folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                         time.dwLowDateTime);
    };
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.emplace_back(Utf8(found.cFileName),
                               (ticks(now) - ticks(found.ftLastWriteTime)) / 10000000);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

int FolderWriteError(const std::string& folder) {
    // Windows decides by the folder's access list, which only an attempt
    // tells for certain: a file that is gone again when it is closed.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string probe =
            folder + "\\.bc245xlt-probe-" + std::to_string(RandomNumber() % 1000000);
        const HANDLE handle = ::CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
            return 0;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return ErrnoOf(::GetLastError());
        }
    }
    return EEXIST;
}

std::string TemporaryFile(int& error) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 ||
        ::GetTempFileNameW(folder, L"bcu", 0, path) == 0) {
        error = ErrnoOf(::GetLastError());
        return {};
    }
    return Utf8(path);
}

std::uint32_t RandomNumber() {
    std::uint32_t number = 0;
    if (::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&number), sizeof number,
                          BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        number = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    }
    return number;
}

} // namespace win
