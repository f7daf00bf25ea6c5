#include "files.h"

#include "backup/format.h"
#include "platform/file.h"

#include "platform/console.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

// The longest backup file: its header and description lines, the length and
// a full image.
constexpr std::size_t kLongestBackup =
    sizeof kBackupHeader + kMaxDescriptionLength + 1 + 4 + kImageSize;

// A file of its own in the temporary folder, removed when it goes.
class ScratchFile {
public:
    ScratchFile() : m_path(CreateScratchFile(m_error)) {}
    ~ScratchFile() {
        if (!m_path.empty()) {
            RemoveFile(m_path);
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    bool Made() const { return !m_path.empty(); }
    int Error() const { return m_error; }
    const std::string& Path() const { return m_path; }

private:
    int m_error = 0;
    std::string m_path;
};

// Copies from one stream to another, at most limit bytes; false with error
// set when a read or write fails or more than limit bytes come.
bool Copy(std::FILE* from, std::FILE* to, std::size_t limit, std::string& error) {
    char buffer[8192];
    std::size_t total = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, from);
        if (got == 0) {
            if (std::ferror(from) != 0) {
                error = ErrorText(errno);
                return false;
            }
            if (std::fflush(to) != 0) {
                error = ErrorText(errno);
                return false;
            }
            return true;
        }
        total += got;
        if (total > limit) {
            error = "longer than any backup file";
            return false;
        }
        if (std::fwrite(buffer, 1, got, to) != got) {
            error = ErrorText(errno);
            return false;
        }
    }
}

// Copies a file into a stream.
bool CopyFileTo(const std::string& path, std::FILE* to, std::size_t limit, std::string& error) {
    std::FILE* from = OpenFile(path, "rb");
    if (from == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    const bool copied = Copy(from, to, limit, error);
    std::fclose(from);
    return copied;
}

// Copies a stream into a file.
bool CopyToFile(std::FILE* from, const std::string& path, std::size_t limit, std::string& error) {
    std::FILE* to = OpenFile(path, "wb");
    if (to == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    bool copied = Copy(from, to, limit, error);
    if (std::fclose(to) != 0 && copied) {
        error = ErrorText(errno);
        copied = false;
    }
    return copied;
}

// The system's own words for an error, as a part of a sentence.
std::string InWords(int error) {
    std::string words = ErrorText(error);
    if (!words.empty() && words[0] >= 'A' && words[0] <= 'Z' &&
        (words.size() < 2 || words[1] < 'A' || words[1] > 'Z')) {
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    }
    return words;
}

// Why a path cannot be read as a file, in the system's words, or "": the
// message that follows names the file once, before it.
std::string WhyNotReadable(const std::string& path) {
    int error = 0;
    switch (KindOfPath(path, nullptr, &error)) {
    case PathKind::Missing:
        return error == ENOENT ? "no such file" : InWords(error);
    case PathKind::Folder:
        return "is a folder";
    case PathKind::Other:
        return "not a regular file";
    case PathKind::File:
        break;
    }
    std::FILE* in = OpenFile(path, "rb");
    if (in == nullptr) {
        return InWords(errno);
    }
    std::fclose(in);
    return {};
}

bool ReadBackupAt(const std::string& path, CString& description, Image& image, std::string& error) {
    error = WhyNotReadable(path);
    if (!error.empty()) {
        return false;
    }
    try {
        if (ReadBackupFile(path, description, image.length, image.bytes, &error) != 0) {
            return true;
        }
    } catch (const CArchiveException&) {
        error = "cut short inside its description or its length";
    } catch (const CException& failure) {
        error = failure.GetErrorMessage();
    }
    return false;
}

bool Exists(const std::string& path) {
    return PathExists(path);
}

// PREFIX-YYYYMMDD-HHMMSS.mrv in local time, with -2, -3, ... when a file of
// that name is there.
std::string FreshName(const std::string& prefix) {
    const std::tm local = LocalTimeNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
    const std::string base = prefix + stamp;
    std::string name = base + ".mrv";
    for (int n = 2; Exists(name); ++n) {
        name = base + "-" + std::to_string(n) + ".mrv";
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
    if (!copy.Made()) {
        error = "cannot make a temporary file: " + ErrorText(copy.Error());
        return false;
    }
    if (!CopyToFile(stdin, copy.Path(), kLongestBackup, error)) {
        error = "standard input: " + error;
        return false;
    }
    return ReadBackupAt(copy.Path(), description, image, error);
}

int CannotLoad(const std::string& path, const std::string& error) {
    return Fail(kFileError, "cannot load " + path + ": " + error);
}

bool LoadImage(const std::string& path, Image& image, std::string& error,
               std::optional<CString>* description) {
    CString described;
    if (ReadBackup(path, described, image, error)) {
        if (description != nullptr) {
            *description = described;
        }
        return true;
    }
    std::int64_t size = 0;
    if (path == "-" || error.rfind("not a backup file", 0) != 0 ||
        KindOfPath(path, &size) != PathKind::File || size < 1 || size > kImageSize) {
        if (error.rfind("not a backup file", 0) == 0) {
            error += ", nor a raw image of 1 to 8192 bytes";
        }
        return false;
    }
    std::FILE* in = OpenFile(path, "rb");
    if (in == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    image.length =
        static_cast<std::int32_t>(std::fread(image.bytes, 1, static_cast<std::size_t>(size), in));
    std::fclose(in);
    return image.length == size;
}

bool OutputFile::Check(int& status) {
    if (m_path == "-") {
        if (IsTerminal(stdout)) {
            status = UsageError("-o - writes the backup to standard output, which is a terminal");
            return false;
        }
        return true;
    }
    if (m_path.empty()) {
        m_path = FreshName(m_prefix);
        m_named = true;
    }
    const std::string folder = FolderOfPath(m_path);
    int error = 0;
    const PathKind kind = KindOfPath(folder, nullptr, &error);
    if (kind == PathKind::Missing) {
        status =
            Fail(kFileError, "cannot save " + m_path + ": the folder " + folder +
                                 (error == ENOENT ? " does not exist" : ": " + ErrorText(error)));
        return false;
    }
    if (kind != PathKind::Folder) {
        status = Fail(kFileError, "cannot save " + m_path + ": " + folder + " is not a folder");
        return false;
    }
    if (const int denied = FolderWriteError(folder); denied != 0) {
        status = Fail(kFileError, "cannot save " + m_path + ": the folder " + folder +
                                      " is not writable (" + ErrorText(denied) + ")");
        return false;
    }
    if (KindOfPath(m_path) == PathKind::Folder) {
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
        if (!copy.Made() ||
            WriteBackupFile(copy.Path(), description, image.length, image.bytes, &error) == 0) {
            status = Fail(kFileError, "cannot write the backup: " +
                                          (!copy.Made() ? ErrorText(copy.Error()) : error));
            return false;
        }
        std::string failure;
        if (!CopyFileTo(copy.Path(), stdout, kLongestBackup, failure)) {
            status = Fail(kFileError, "cannot write to standard output: " + failure);
            return false;
        }
        m_path = "standard output";
        return true;
    }
    if (m_named && Exists(m_path)) {
        // Named here: a file that took the name meanwhile is never replaced.
        m_path = FreshName(m_prefix);
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
