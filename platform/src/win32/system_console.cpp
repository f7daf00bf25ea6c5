// The console of a command-line program on Windows.
#include "system.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace win {

namespace {

HANDLE StandardHandle(int descriptor) {
    return ::GetStdHandle(descriptor == 0   ? STD_INPUT_HANDLE
                          : descriptor == 1 ? STD_OUTPUT_HANDLE
                                            : STD_ERROR_HANDLE);
}

void (*stopHandler)(int) = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (stopHandler == nullptr) {
        return FALSE;
    }
    stopHandler(2);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning would end the process at once: the program closes its
        // port and ends by itself meanwhile.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

} // namespace

void PrepareConsole() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    for (const int descriptor : {1, 2}) {
        DWORD mode = 0;
        const HANDLE console = StandardHandle(descriptor);
        if (::GetConsoleMode(console, &mode)) {
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
}

bool IsConsole(int descriptor) {
    // The null device passes _isatty; only a console has a console mode.
    DWORD mode = 0;
    return ::GetConsoleMode(StandardHandle(descriptor), &mode) != 0;
}

int ConsoleColumns(int descriptor) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(StandardHandle(descriptor), &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void CatchConsoleStops(void (*onStop)(int)) {
    stopHandler = onStop;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Utf8(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

std::FILE* OpenStream(const std::string& path, const char* mode) {
    return ::_wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

std::tm LocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    return local;
}

} // namespace win
