// bc245xlt-cli: the scanner link and the backup files from a shell. get and
// send run the same transfers as the window's Get Data and Send Data; verify
// reads the memory back to compare it with a file; show prints a backup file
// as the window lists it; diff compares two images; ports says what each port
// name and serial device is.
#include "cli.h"
#include "terminal_report.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard input, output and error closed by whoever started the program
// would be the first descriptors an open hands out: the port itself would
// then receive the progress. They are kept taken by /dev/null.
void KeepStandardStreamsTaken() {
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

} // namespace

int main(int argc, char** argv) {
    KeepStandardStreamsTaken();
    Options options;
    int status = kSuccess;
    if (!ParseArguments(argc, argv, options, status)) {
        return status;
    }
    TerminalReport::CatchSignals();
    const std::pair<const char*, int (*)(const Options&)> commands[] = {
        {"get", Get},   {"send", Send}, {"verify", Verify},
        {"show", Show}, {"diff", Diff}, {"ports", Ports},
    };
    for (const auto& [name, run] : commands) {
        if (options.command == name) {
            return run(options);
        }
    }
    return UsageError("unknown command '" + options.command + "'");
}
