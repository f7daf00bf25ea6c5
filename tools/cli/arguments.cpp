// The command line, in the GNU manner: long options with "=" or a separate
// value, bundled short options, "--" before operands that start with "-".
#include "cli.h"

#include "core/version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <utility>

namespace {

const char kUsageText[] =
    "Usage: bc245xlt-cli COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "Backs up and restores the memory of a BC245XLT scanner over a serial cable,\n"
    "and shows and compares backup files (.mrv).\n"
    "\n"
    "Commands:\n"
    "  get --port PORT [-o FILE] [-d TEXT] [--force]\n"
    "      Download the receiver's memory (put it in FIRST mode) and save it as\n"
    "      the backup file FILE with the description TEXT. Without -o the file\n"
    "      is bc245xlt-YYYYMMDD-HHMMSS.mrv in the current folder; -o - writes it\n"
    "      to standard output. An existing FILE is kept unless --force is given;\n"
    "      it is replaced only by a complete file. Where FILE can be written is\n"
    "      checked before the port is opened.\n"
    "  send --port PORT FILE [--yes] [--verify] [--backup-first[=BACKUP]]\n"
    "      Send the image of the backup file FILE into the receiver (put it in\n"
    "      CLONE mode). Asks first on a terminal; --yes does not ask. With\n"
    "      --backup-first, the receiver's memory is first read (FIRST mode) and\n"
    "      saved as BACKUP, by default bc245xlt-before-restore-YYYYMMDD-HHMMSS.mrv\n"
    "      in the current folder; nothing is sent unless it was saved. With\n"
    "      --verify, then switch the receiver to FIRST mode: the memory is read\n"
    "      back and compared with what was sent.\n"
    "  verify --port PORT FILE\n"
    "      Read the receiver's memory (FIRST mode) and compare it with the image\n"
    "      of FILE, without saving anything.\n"
    "  show FILE\n"
    "      Print the description and the memory listing of a backup file.\n"
    "  diff A B\n"
    "      Print the 16-byte blocks that differ between two backup files (or a\n"
    "      backup file and a raw image of at most 8192 bytes) and how many.\n"
    "  ports [--json] [--watch [--timeout SECONDS]]\n"
    "      Say what COM1..COM4 lead to, and list every serial device: its other\n"
    "      names, driver and USB ids, whether you may open it, and who has it.\n"
    "      With --watch, wait (60 s, or --timeout) for a serial device to be\n"
    "      plugged in and say what it is and which COM name finds it.\n"
    "\n"
    "A FILE to read may be - for standard input.\n"
    "\n"
    "Options:\n"
    "  -p, --port=PORT         COM1..COM4 (looked up as the window does: /dev/COMn,\n"
    "                          then /dev/ttyUSB<n-1>, /dev/ttyACM<n-1>, /dev/ttyS<n-1>)\n"
    "                          or a device path such as /dev/serial/by-id/...\n"
    "  -o, --output=FILE       get: where to save the backup\n"
    "  -d, --description=TEXT  get: the backup's description\n"
    "  -f, --force             get: replace an existing FILE\n"
    "  -y, --yes               send: do not ask before replacing the memory\n"
    "      --verify            send: read the memory back and compare it\n"
    "      --backup-first[=BACKUP]\n"
    "                          send: save what the receiver holds before sending\n"
    "      --json              ports: print JSON for scripts\n"
    "      --watch             ports: wait for a serial device to be plugged in\n"
    "      --timeout=SECONDS   ports --watch: how long to wait (default 60)\n"
    "  -q, --quiet             print nothing but errors and results\n"
    "  -h, --help              print this help\n"
    "  -V, --version           print the program's name and version\n"
    "\n"
    "Progress goes to standard error: a bar on a terminal, the status texts as\n"
    "lines otherwise (every 64th block only). Ctrl-C, SIGTERM and SIGHUP cancel\n"
    "a transfer; nothing is written then.\n"
    "\n"
    "Exit status:\n"
    "  0    success (diff: the images are equal)\n"
    "  1    diff: the images differ; ports --watch: no device appeared\n"
    "  2    usage error, or an upload that was not confirmed\n"
    "  3    the port could not be opened\n"
    "  4    the transfer failed\n"
    "  5    a file could not be read or written\n"
    "  6    verify: the memory differs from the file\n"
    "  130  cancelled with Ctrl-C (129 with SIGHUP, 143 with SIGTERM)\n";

enum LongOnly : int { kVerify = 256, kJson, kBackupFirst, kWatch, kTimeout };

constexpr option kOptions[] = {
    {"port", required_argument, nullptr, 'p'},
    {"output", required_argument, nullptr, 'o'},
    {"description", required_argument, nullptr, 'd'},
    {"force", no_argument, nullptr, 'f'},
    {"yes", no_argument, nullptr, 'y'},
    {"verify", no_argument, nullptr, kVerify},
    {"json", no_argument, nullptr, kJson},
    {"backup-first", optional_argument, nullptr, kBackupFirst},
    {"watch", no_argument, nullptr, kWatch},
    {"timeout", required_argument, nullptr, kTimeout},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The options each command takes besides -q; the others are refused.
struct CommandRule {
    const char* command;
    const char* options; // the short letters; 'v' for --verify, 'j' for --json, 'b' for
                         // --backup-first, 'w' for --watch, 't' for --timeout
    std::size_t minFiles;
    std::size_t maxFiles;
    const char* usage;
};

constexpr CommandRule kCommands[] = {
    {"get", "podf", 0, 0, "get needs --port PORT, and takes no FILE (use -o FILE)"},
    {"send", "pyvb", 1, 1, "send needs --port PORT and one FILE"},
    {"verify", "p", 1, 1, "verify needs --port PORT and one FILE"},
    {"show", "", 1, 1, "show needs one FILE"},
    {"diff", "", 2, 2, "diff needs two files"},
    {"ports", "jwt", 0, 0, "ports takes no FILE"},
};

// The rule letters of the options that have no short letter.
constexpr std::pair<int, char> kLongOnlyLetters[] = {
    {kVerify, 'v'}, {kJson, 'j'}, {kBackupFirst, 'b'}, {kWatch, 'w'}, {kTimeout, 't'},
};

char LetterOf(int code) {
    for (const auto& [longOnly, letter] : kLongOnlyLetters) {
        if (code == longOnly) {
            return letter;
        }
    }
    return static_cast<char>(code);
}

int CodeOf(char letter) {
    for (const auto& [longOnly, rule] : kLongOnlyLetters) {
        if (letter == rule) {
            return longOnly;
        }
    }
    return letter;
}

// The option's name as the user wrote it, for messages.
std::string Spelled(int code) {
    for (const option& entry : kOptions) {
        if (entry.name != nullptr && entry.val == code) {
            return code < 256 ? std::string("-") + static_cast<char>(code) + "/--" + entry.name
                              : std::string("--") + entry.name;
        }
    }
    return "?";
}

// The option as written: a long one up to its "=", a short one alone.
std::string Written(const std::string& argument, int shortOption) {
    if (argument.rfind("--", 0) == 0) {
        return argument.substr(0, argument.find('='));
    }
    return std::string("-") + static_cast<char>(shortOption);
}

std::string Refusal(const std::string& argument, int shortOption) {
    const std::string written = Written(argument, shortOption);
    for (const option& entry : kOptions) {
        if (entry.name != nullptr && written == std::string("--") + entry.name) {
            return "option '" + written + "' takes no value";
        }
    }
    return "unknown option '" + written + "'";
}

} // namespace

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, problem.c_str(), kProgram);
    return kUsage;
}

int Fail(int status, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
    return status;
}

bool ParseArguments(int argc, char** argv, Options& options, int& status) {
    std::string given; // the rule letters of the options given
    bool portGiven = false;
    opterr = 0;
    optind = 1;
    for (;;) {
        const int code = ::getopt_long(argc, argv, ":p:o:d:fyqhV", kOptions, nullptr);
        if (code == -1) {
            break;
        }
        switch (code) {
        case 'p':
            options.port = optarg;
            portGiven = true;
            break;
        case 'o':
            options.output = optarg;
            break;
        case 'd':
            options.description = optarg;
            break;
        case 'f':
            options.force = true;
            break;
        case 'y':
            options.yes = true;
            break;
        case kVerify:
            options.verify = true;
            break;
        case kJson:
            options.json = true;
            break;
        case kWatch:
            options.watch = true;
            break;
        case kTimeout: {
            char* end = nullptr;
            const long seconds = std::strtol(optarg, &end, 10);
            if (end == optarg || *end != '\0' || seconds < 1 || seconds > 86400) {
                status = UsageError("option '--timeout' takes a number of seconds, not '" +
                                    std::string(optarg) + "'");
                return false;
            }
            options.watchSeconds = static_cast<int>(seconds);
            break;
        }
        case kBackupFirst:
            options.backupFirst = true;
            options.backupPath = optarg != nullptr ? optarg : "";
            if (options.backupPath == "-" || (optarg != nullptr && options.backupPath.empty())) {
                status = UsageError("--backup-first=FILE takes a file, not standard output");
                return false;
            }
            break;
        case 'q':
            options.quiet = true;
            break;
        case 'h':
            std::fputs(kUsageText, stdout);
            status = kSuccess;
            return false;
        case 'V':
            std::printf("%s %s (%s)\n", kProgram, BCU_PACKAGE_VERSION, kProductNameAndVersion);
            status = kSuccess;
            return false;
        case ':':
            status = UsageError("option '" + Written(argv[optind - 1], optopt) + "' needs a value");
            return false;
        default:
            status = UsageError(Refusal(argv[optind - 1], optopt));
            return false;
        }
        given += LetterOf(code);
    }
    if (optind >= argc) {
        status = UsageError("no command given");
        return false;
    }
    options.command = argv[optind];
    options.files.assign(argv + optind + 1, argv + argc);
    const CommandRule* rule = nullptr;
    for (const CommandRule& candidate : kCommands) {
        if (options.command == candidate.command) {
            rule = &candidate;
        }
    }
    if (rule == nullptr) {
        status = UsageError("unknown command '" + options.command + "'");
        return false;
    }
    for (const char letter : given) {
        if (letter != 'q' && std::strchr(rule->options, letter) == nullptr) {
            const int code = CodeOf(letter);
            status = UsageError("option " + Spelled(code) + " does not go with " + rule->command);
            return false;
        }
    }
    if (options.files.size() < rule->minFiles || options.files.size() > rule->maxFiles ||
        (std::strchr(rule->options, 'p') != nullptr && (!portGiven || options.port.empty()))) {
        status = UsageError(rule->usage);
        return false;
    }
    return true;
}
