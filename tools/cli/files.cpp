#include "files.h"

#include "backup/format.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest backup file: its header and description lines, the length and
// a full image.
constexpr std::size_t kLongestBackup =
    sizeof kBackupHeader + kMaxDescriptionLength + 1 + 4 + kImageSize;

// A file of its own in the temporary folder, removed when it goes.
class ScratchFile {
public:
    ScratchFile() {
        const char* folder = std::getenv("TMPDIR");
        m_path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                 "/bc245xlt-cli-XXXXXX";
        m_fd = ::mkstemp(m_path.data());
        if (m_fd < 0) {
            m_path.clear();
        }
    }
    ~ScratchFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(m_path.c_str());
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

// Copies from one descriptor to another, at most limit bytes; false with
// error set when a read or write fails or more than limit bytes come.
bool Copy(int from, int to, std::size_t limit, std::string& error) {
    char buffer[8192];
    std::size_t total = 0;
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        total += static_cast<std::size_t>(got);
        if (total > limit) {
            error = "longer than any backup file";
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0) {
                error = std::strerror(errno);
                return false;
            }
            done += put;
        }
    }
}

bool ReadBackupAt(const std::string& path, CString& description, Image& image, std::string& error) {
    try {
        if (ReadBackupFile(path, description, image.length, image.bytes, &error) != 0) {
            return true;
        }
    } catch (const CException& failure) {
        // A file that ends inside its description line or its length.
        error = failure.GetErrorMessage();
    }
    return false;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// bc245xlt-YYYYMMDD-HHMMSS.mrv in local time, with -2, -3, ... when a file of
// that name is there.
std::string FreshName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "bc245xlt-%Y%m%d-%H%M%S", &local);
    std::string name = std::string(stamp) + ".mrv";
    for (int n = 2; Exists(name); ++n) {
        name = std::string(stamp) + "-" + std::to_string(n) + ".mrv";
    }
    return name;
}

} // namespace

bool ReadBackup(const std::string& path, CString& description, Image& image, std::string& error) {
    if (path != "-") {
        return ReadBackupAt(path, description, image, error);
    }
    // The reader takes regular files only: what comes on standard input is
    // read into one first.
    ScratchFile copy;
    if (copy.Fd() < 0) {
        error = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return false;
    }
    if (!Copy(STDIN_FILENO, copy.Fd(), kLongestBackup, error)) {
        error = "standard input: " + error;
        return false;
    }
    return ReadBackupAt(copy.Path(), description, image, error);
}

int CannotLoad(const std::string& path, const std::string& error) {
    return Fail(kFileError, "cannot load " + path + ": " + error);
}

bool LoadImage(const std::string& path, Image& image, std::string& error) {
    CString description;
    if (ReadBackup(path, description, image, error)) {
        return true;
    }
    struct stat info {};
    if (path == "-" || error.rfind("not a backup file", 0) != 0 ||
        ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 1 ||
        info.st_size > kImageSize) {
        if (error.rfind("not a backup file", 0) == 0) {
            error += ", nor a raw image of 1 to 8192 bytes";
        }
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(image.bytes), info.st_size);
    image.length = static_cast<std::int32_t>(in.gcount());
    return image.length == info.st_size;
}

bool OutputFile::Check(int& status) {
    if (m_path == "-") {
        if (::isatty(STDOUT_FILENO)) {
            status = UsageError("-o - writes the backup to standard output, which is a terminal");
            return false;
        }
        return true;
    }
    if (m_path.empty()) {
        m_path = FreshName();
        m_named = true;
    }
    struct stat info {};
    const std::string folder = FolderOf(m_path);
    if (::stat(folder.c_str(), &info) != 0) {
        status = Fail(kFileError, "cannot save " + m_path + ": the folder " + folder +
                                      (errno == ENOENT ? " does not exist"
                                                       : std::string(": ") + std::strerror(errno)));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        status = Fail(kFileError, "cannot save " + m_path + ": " + folder + " is not a folder");
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        status = Fail(kFileError, "cannot save " + m_path + ": the folder " + folder +
                                      " is not writable (" + std::strerror(errno) + ")");
        return false;
    }
    if (::stat(m_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        status = Fail(kFileError, "cannot save " + m_path + ": it is a folder");
        return false;
    }
    if (!m_force && Exists(m_path)) {
        status = Fail(kFileError, m_path + " exists; use --force to replace it");
        return false;
    }
    return true;
}

bool OutputFile::Write(const CString& description, const Image& image, int& status) {
    if (m_path == "-") {
        // The writer makes files; what it made is copied to standard output.
        ScratchFile copy;
        CString error;
        if (copy.Fd() < 0 ||
            WriteBackupFile(copy.Path(), description, image.length, image.bytes, &error) == 0) {
            status = Fail(kFileError, "cannot write the backup: " +
                                          (copy.Fd() < 0 ? std::strerror(errno) : error));
            return false;
        }
        const int written = ::open(copy.Path().c_str(), O_RDONLY | O_CLOEXEC);
        std::string failure = written < 0 ? std::strerror(errno) : "";
        const bool copied = written >= 0 && Copy(written, STDOUT_FILENO, kLongestBackup, failure);
        if (written >= 0) {
            ::close(written);
        }
        if (!copied) {
            status = Fail(kFileError, "cannot write to standard output: " + failure);
            return false;
        }
        m_path = "standard output";
        return true;
    }
    if (m_named && Exists(m_path)) {
        // Named here: a file that took the name meanwhile is never replaced.
        m_path = FreshName();
    } else if (!m_named && !m_force && Exists(m_path)) {
        status = Fail(kFileError, m_path + " appeared meanwhile; use --force to replace it");
        return false;
    }
    CString error;
    if (WriteBackupFile(m_path, description, image.length, image.bytes, &error) == 0) {
        status = Fail(kFileError, "cannot save " + m_path + ": " + error);
        return false;
    }
    return true;
}
