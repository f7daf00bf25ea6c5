// The console and the file system of a command-line program on Windows.
#include "platform/console.h"

#include "system.h"

#include <cstring>

namespace {

int DescriptorOf(std::FILE* stream) {
    return stream == stdin ? 0 : stream == stdout ? 1 : 2;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace

void PrepareStandardStreams() {
    win::PrepareConsole();
}

bool IsTerminal(std::FILE* stream) {
    return win::IsConsole(DescriptorOf(stream));
}

int TerminalColumns(std::FILE* stream) {
    return win::ConsoleColumns(DescriptorOf(stream));
}

void CatchStopRequests(void (*onStop)(int), void (*)()) {
    // The console has no signal for a change of size: the width is read when
    // a transfer starts.
    win::CatchConsoleStops(onStop);
}

PathKind KindOfPath(const std::string& path, std::int64_t* size, int* error) {
    switch (win::KindOf(path, size, error)) {
    case win::FileKind::Missing:
        return PathKind::Missing;
    case win::FileKind::File:
        return PathKind::File;
    case win::FileKind::Folder:
        return PathKind::Folder;
    case win::FileKind::Device:
        break;
    }
    return PathKind::Other;
}

bool PathExists(const std::string& path) {
    return win::KindOf(path, nullptr, nullptr) != win::FileKind::Missing;
}

std::string FolderOfPath(const std::string& path) {
    std::size_t slash = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsSeparator(path[i])) {
            slash = i;
        }
    }
    const bool drive = path.size() >= 2 && path[1] == ':';
    if (slash == std::string::npos) {
        return drive ? path.substr(0, 2) : ".";
    }
    // The root of a drive or of the current drive keeps its separator.
    if (slash == 0 || (drive && slash == 2)) {
        return path.substr(0, slash + 1);
    }
    return path.substr(0, slash);
}

int FolderWriteError(const std::string& folder) {
    return win::FolderWriteError(folder);
}

std::string CreateScratchFile(int& error) {
    return win::TemporaryFile(error);
}

void RemoveFile(const std::string& path) {
    win::DeleteNamed(path);
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

std::tm LocalTimeNow() {
    return win::LocalTime();
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return win::OpenStream(path, mode);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments = win::Arguments();
    if (arguments.size() != static_cast<std::size_t>(argc)) {
        return std::vector<std::string>(argv, argv + argc);
    }
    return arguments;
}
