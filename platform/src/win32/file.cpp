// Files on Windows: a file on disk opened for reading, or a file written in
// the place of another through a temporary file beside it that is flushed and
// then moved over the target in one step.
#include "platform/file.h"

#include "system.h"

#include <cerrno>

// The target, the temporary file, and the handle that keeps other writers
// away from the target meanwhile.
struct FileReplacement {
    CString target;
    CString temporary;
    win::Handle lock = win::kNoHandle;
};

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

CString FolderOf(const CString& path) {
    std::size_t slash = CString::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsSeparator(path[i])) {
            slash = i;
        }
    }
    if (slash == CString::npos) {
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : CString(".");
    }
    return slash == 0 || (slash == 2 && path[1] == ':') ? path.substr(0, slash + 1)
                                                        : path.substr(0, slash);
}

CString NameOf(const CString& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsSeparator(path[i]) || (i == 1 && path[i] == ':')) {
            start = i + 1;
        }
    }
    return path.substr(start);
}

// Temporary files are named after their target: ".NAME.saving-XXXXXX".
CString TemporaryPrefix(const CString& target) {
    const CString name = NameOf(target);
    return "." + (name.size() > 200 ? CString("save") : name) + ".saving-";
}

CString InFolder(const CString& folder, const CString& name) {
    return !folder.empty() && IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// A save that was killed part-way leaves its temporary file behind. Such
// leftovers for the same target, older than a minute (so never one that
// another save is still writing), are removed.
void RemoveLeftovers(const CString& target) {
    const CString folder = FolderOf(target);
    const CString prefix = TemporaryPrefix(target);
    for (const auto& [name, age] : win::NamesWithAge(folder, prefix)) {
        if (name.size() == prefix.size() + 6 && age > 60) {
            win::DeleteNamed(InFolder(folder, name));
        }
    }
}

void Abandon(FileReplacement& replacement) {
    if (!replacement.temporary.empty()) {
        win::DeleteNamed(replacement.temporary);
        replacement.temporary.clear();
    }
    if (replacement.lock != win::kNoHandle) {
        win::CloseFile(replacement.lock);
        replacement.lock = win::kNoHandle;
    }
}

// Prepares to replace the file: checks that it may be replaced, holds it,
// clears old leftovers and creates the temporary file.
win::Handle Begin(const CString& path, FileReplacement& replacement, int& error) {
    replacement.target = path;
    int missing = 0;
    switch (win::KindOf(path, nullptr, &missing)) {
    case win::FileKind::Folder:
        error = EISDIR;
        return win::kNoHandle;
    case win::FileKind::Device:
        error = EACCES;
        return win::kNoHandle;
    case win::FileKind::File:
        // A read-only file is never replaced, whatever the system would allow.
        if (win::IsReadOnly(path)) {
            error = EACCES;
            return win::kNoHandle;
        }
        replacement.lock = win::OpenForLock(path, error);
        if (replacement.lock == win::kNoHandle) {
            error = error == EACCES ? EBUSY : error;
            return win::kNoHandle;
        }
        break;
    case win::FileKind::Missing:
        if (missing != ENOENT) {
            error = missing;
            return win::kNoHandle;
        }
        break;
    }
    RemoveLeftovers(path);
    constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 16; ++attempt) {
        CString suffix;
        std::uint32_t number = win::RandomNumber();
        for (int i = 0; i < 6; ++i, number /= 36) {
            suffix.push_back(kDigits[number % 36]);
        }
        replacement.temporary = InFolder(FolderOf(path), TemporaryPrefix(path) + suffix);
        const win::Handle file = win::CreateNew(replacement.temporary, error);
        if (file != win::kNoHandle) {
            return file;
        }
        if (error != EEXIST) {
            break;
        }
    }
    replacement.temporary.clear();
    Abandon(replacement);
    return win::kNoHandle;
}

win::Handle HandleOf(std::intptr_t handle) {
    return reinterpret_cast<win::Handle>(handle);
}

std::intptr_t ValueOf(win::Handle handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

} // namespace

CFile::CFile() : m_replacement(std::make_unique<FileReplacement>()) {}

CFile::~CFile() {
    Abort();
}

void CFile::Open(const CString& path, UINT flags) {
    Abort();
    m_path = path;
    int error = 0;
    if ((flags & modeCreate) == 0) {
        // Only a file on disk is read: a folder or a device never.
        switch (win::KindOf(path, nullptr, &error)) {
        case win::FileKind::Missing:
            Throw(error);
        case win::FileKind::Folder:
            Throw(EISDIR);
        case win::FileKind::Device:
            Throw(ENODEV);
        case win::FileKind::File:
            break;
        }
        const win::Handle file = win::OpenForReading(path, error);
        if (file == win::kNoHandle) {
            Throw(error == EACCES ? EBUSY : error);
        }
        m_handle = ValueOf(file);
        return;
    }
    const win::Handle file = Begin(path, *m_replacement, error);
    if (file == win::kNoHandle) {
        Throw(error);
    }
    m_handle = ValueOf(file);
    m_replacing = true;
}

long CFile::ReadSome(void* buffer, UINT count, int& error) {
    return win::ReadSome(HandleOf(m_handle), buffer, count, error);
}

void CFile::Write(const void* buffer, UINT count) {
    if (m_handle == -1) {
        Throw(EBADF);
    }
    int error = 0;
    if (!win::WriteAll(HandleOf(m_handle), buffer, count, error)) {
        Throw(error);
    }
}

void CFile::Close() {
    if (m_handle == -1) {
        return;
    }
    const win::Handle file = HandleOf(m_handle);
    m_handle = -1;
    if (!m_replacing) {
        win::CloseFile(file);
        return;
    }
    m_replacing = false;
    int error = 0;
    const bool flushed = win::FlushToDisk(file, error);
    win::CloseFile(file);
    // The target's own hold is let go first: a file that is open cannot be
    // replaced on every system.
    if (m_replacement->lock != win::kNoHandle) {
        win::CloseFile(m_replacement->lock);
        m_replacement->lock = win::kNoHandle;
    }
    if (flushed && win::ReplaceWith(m_replacement->temporary, m_replacement->target, error)) {
        m_replacement->temporary.clear();
        Abandon(*m_replacement);
        return;
    }
    Abort();
    Throw(error == EACCES ? EBUSY : error);
}

void CFile::Abort() {
    if (m_handle != -1) {
        win::CloseFile(HandleOf(m_handle));
        m_handle = -1;
    }
    m_replacing = false;
    Abandon(*m_replacement);
}
