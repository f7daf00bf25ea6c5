// bc245xlt-cli: the scanner link and the backup files from a shell. get and
// send run the same transfers as the window's Get Data and Send Data; verify
// reads the memory back to compare it with a file; show prints a backup file
// as the window lists it; diff compares two images; ports says what each port
// name and serial device is.
#include "cli.h"
#include "terminal_report.h"

#include "platform/console.h"

int main(int argc, char** argv) {
    // Standard streams closed by whoever started the program would be the
    // first descriptors an open hands out: the port itself would then receive
    // the progress.
    PrepareStandardStreams();
    // Arguments as UTF-8, whatever the system's own code page.
    std::vector<std::string> arguments = CommandLineArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    Options options;
    int status = kSuccess;
    if (!ParseArguments(static_cast<int>(arguments.size()), pointers.data(), options, status)) {
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
