// The console and the file system of a command-line program on Linux.
#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Catch(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a waiting read or poll returns at once
    sigaction(signal, &action, nullptr);
}

void (*resizeHandler)() = nullptr;

void OnResize(int) {
    if (resizeHandler != nullptr) {
        resizeHandler();
    }
}

} // namespace

void PrepareStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void CatchStopRequests(void (*onStop)(int), void (*onResize)()) {
    static_assert(SIGINT == kStopInterrupt && SIGHUP == kStopHangUp && SIGTERM == kStopTerminate);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Catch(signal, onStop);
    }
    resizeHandler = onResize;
    Catch(SIGWINCH, OnResize);
    std::signal(SIGPIPE, SIG_IGN);
}

PathKind KindOfPath(const std::string& path, std::int64_t* size, int* error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return PathKind::Missing;
    }
    if (size != nullptr) {
        *size = info.st_size;
    }
    return S_ISREG(info.st_mode)   ? PathKind::File
           : S_ISDIR(info.st_mode) ? PathKind::Folder
                                   : PathKind::Other;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int FolderWriteError(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

std::string CreateScratchFile(int& error) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                       "/bc245xlt-cli-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        error = errno;
        return {};
    }
    ::close(fd);
    return path;
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
