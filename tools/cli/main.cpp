// bc245xlt-cli: the scanner link and the backup files from a shell. get and
// send run the same transfers as the window's Get Data and Send Data; show
// prints a backup file as the window lists it; diff compares two images.
#include "backup/format.h"
#include "core/listing.h"
#include "link/port_info.h"
#include "link/timeouts.h"
#include "platform/codepage.h"
#include "terminal_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum Exit : int {
    kSuccess = 0,
    kDifferent = 1,
    kUsage = 2,
    kPortError = 3,
    kTransferFailed = 4,
    kFileError = 5,
    kInterrupted = 130,
};

const char kUsageText[] =
    "Usage: bc245xlt-cli COMMAND [OPTIONS]\n"
    "\n"
    "Backs up and restores the memory of a BC245XLT scanner over a serial cable,\n"
    "and shows and compares backup files (.mrv).\n"
    "\n"
    "Commands:\n"
    "  get --port PORT -o FILE [-d TEXT] [--force]\n"
    "      Download the receiver's memory (put it in FIRST mode) and save it as\n"
    "      the backup file FILE with the description TEXT. An existing FILE is\n"
    "      kept unless --force is given; it is replaced only by a complete file.\n"
    "  send --port PORT FILE [--yes]\n"
    "      Send the image of the backup file FILE into the receiver (put it in\n"
    "      CLONE mode). Asks first on a terminal; --yes does not ask.\n"
    "  show FILE\n"
    "      Print the description and the memory listing of a backup file.\n"
    "  diff A B\n"
    "      Print the 16-byte blocks that differ between two backup files (or a\n"
    "      backup file and a raw image of at most 8192 bytes) and how many.\n"
    "\n"
    "Options:\n"
    "  --port PORT   COM1..COM4 (looked up as the window does: /dev/COMn, then\n"
    "                /dev/ttyUSB<n-1>, then /dev/ttyS<n-1>) or a device path\n"
    "  -q, --quiet   print nothing but errors\n"
    "  -h, --help    print this help\n"
    "\n"
    "Progress goes to standard error: a bar on a terminal, the status texts as\n"
    "lines otherwise. Ctrl-C cancels a transfer; nothing is written then.\n"
    "\n"
    "Exit status:\n"
    "  0    success (diff: the images are equal)\n"
    "  1    diff: the images differ\n"
    "  2    usage error\n"
    "  3    the port could not be opened\n"
    "  4    the transfer failed\n"
    "  5    a file could not be read or written\n"
    "  130  cancelled with Ctrl-C\n";

struct Options {
    std::string command;
    std::string port;
    std::string output;
    std::string description;
    bool descriptionGiven = false;
    bool force = false;
    bool yes = false;
    bool quiet = false;
    std::vector<std::string> files;
};

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "bc245xlt-cli: %s\nTry 'bc245xlt-cli --help'.\n", problem.c_str());
    return kUsage;
}

int Fail(int status, const std::string& problem) {
    std::fprintf(stderr, "bc245xlt-cli: %s\n", problem.c_str());
    return status;
}

// Parses the arguments; a usage error returns its exit status in status.
bool ParseArguments(int argc, char** argv, Options& options, int& status) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                status = UsageError("option " + arg + " needs a value");
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsageText, stdout);
            status = kSuccess;
            return false;
        }
        if (arg == "--port") {
            if (!value(options.port)) {
                return false;
            }
        } else if (arg == "-o" || arg == "--output") {
            if (!value(options.output)) {
                return false;
            }
        } else if (arg == "-d" || arg == "--description") {
            if (!value(options.description)) {
                return false;
            }
            options.descriptionGiven = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--yes" || arg == "-y") {
            options.yes = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            status = UsageError("unknown option " + arg);
            return false;
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.command.empty()) {
        status = UsageError("no command given");
        return false;
    }
    return true;
}

TerminalReport::Style ProgressStyle(bool quiet) {
    if (quiet) {
        return TerminalReport::Style::Quiet;
    }
    return ::isatty(STDERR_FILENO) ? TerminalReport::Style::Bar : TerminalReport::Style::Lines;
}

// Opens the port; on failure says why and gives the exit status.
bool OpenPortOrExplain(CScannerLink& link, const std::string& port, int& status) {
    if (link.OpenPort() != 0) {
        return true;
    }
    const int error = LastSerialError();
    status = Fail(kPortError,
                  "cannot open the port: " +
                      ExplainPortFailure(port, error, LastSerialLockHolder(), GetSerialFolders()));
    return false;
}

// The exit status and message of a transfer that returned 0.
int TransferFailure(const CString& status) {
    if (TerminalReport::Interrupted() || status == "ERROR: Transfer cancelled") {
        return Fail(kInterrupted, "cancelled; nothing was written");
    }
    std::string cause = status.rfind("ERROR: ", 0) == 0 ? status.substr(7) : status;
    if (!cause.empty()) {
        cause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(cause[0])));
    }
    if (status == "ERROR: No response from scanner") {
        cause += " (is it in the right clone mode, and is the cable on this port?)";
    }
    return Fail(kTransferFailed, "transfer failed: " + cause);
}

struct Image {
    std::int32_t length = 0;
    unsigned char bytes[kImageSize] = {};
};

// A backup file; false with why it is not one. A file that ends inside its
// description line or its length is reported like any other, not thrown.
bool ReadBackup(const std::string& path, CString& description, std::int32_t& length,
                unsigned char (&bytes)[kImageSize], std::string& error) {
    try {
        if (ReadBackupFile(path, description, length, bytes, &error) != 0) {
            return true;
        }
    } catch (const CException& failure) {
        error = failure.GetErrorMessage();
    }
    return false;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

int Get(const Options& options) {
    if (options.port.empty() || options.output.empty() || !options.files.empty()) {
        return UsageError("get needs --port PORT and -o FILE");
    }
    if (!options.force && Exists(options.output)) {
        return Fail(kFileError, options.output + " exists; use --force to replace it");
    }
    const CString description = Utf8ToAnsi(options.description);
    if (description.size() > kMaxDescriptionLength) {
        return UsageError("the description is longer than 32767 characters");
    }
    TerminalReport report(options.port, ProgressStyle(options.quiet), kBlockCount, stderr);
    CScannerLink link(report);
    int status = kSuccess;
    if (!OpenPortOrExplain(link, options.port, status)) {
        return status;
    }
    if (!options.quiet) {
        std::fputs("Place the BC245XLT in FIRST mode and press E until FIRST flashes in the "
                   "display.\n",
                   stderr);
    }
    const int result = link.Download();
    report.Finish();
    if (result == 0) {
        return TransferFailure(report.LastStatus());
    }
    if (!options.force && Exists(options.output)) {
        return Fail(kFileError, options.output + " appeared meanwhile; use --force to replace it");
    }
    CString error;
    if (WriteBackupFile(options.output, description, link.m_imageLength, link.m_image, &error) ==
        0) {
        return Fail(kFileError, "cannot save " + options.output + ": " + error);
    }
    if (!options.quiet) {
        std::fprintf(stderr, "Saved %d bytes to %s\n", link.m_imageLength, options.output.c_str());
    }
    return kSuccess;
}

// Asks on the terminal before an upload; false unless the answer is yes.
bool Confirmed(const Options& options, int& status) {
    if (options.yes) {
        return true;
    }
    if (!::isatty(STDIN_FILENO)) {
        status = UsageError("send replaces the receiver's memory; confirm with --yes when "
                            "standard input is not a terminal");
        return false;
    }
    std::fputs("Place the BC245XLT in CLONE mode and press E until CLONE flashes in the display.\n"
               "\n"
               "WARNING: This will replace the contents of your BC245XLT's memory!  If you are "
               "unsure you want to do this, answer no.\n"
               "Start the upload? [y/N] ",
               stderr);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr || TerminalReport::Interrupted()) {
        std::fputc('\n', stderr);
        status = TerminalReport::Interrupted() ? kInterrupted : kUsage;
        return false;
    }
    if (answer[0] != 'y' && answer[0] != 'Y') {
        status = Fail(kSuccess, "nothing sent");
        return false;
    }
    return true;
}

int Send(const Options& options) {
    if (options.port.empty() || options.files.size() != 1) {
        return UsageError("send needs --port PORT and one FILE");
    }
    TerminalReport report(options.port, ProgressStyle(options.quiet), 0, stderr);
    CScannerLink link(report);
    CString description;
    std::string error;
    if (!ReadBackup(options.files[0], description, link.m_imageLength, link.m_image, error)) {
        return Fail(kFileError, "cannot load " + options.files[0] + ": " + error);
    }
    report.SetTotalBlocks((link.m_imageLength + kBlockSize - 1) / kBlockSize);
    int status = kSuccess;
    if (!Confirmed(options, status)) {
        return status;
    }
    if (!OpenPortOrExplain(link, options.port, status)) {
        return status;
    }
    const int result = link.Upload();
    report.Finish();
    if (result == 0) {
        return TransferFailure(report.LastStatus());
    }
    if (!options.quiet) {
        std::fprintf(stderr, "Sent %d bytes from %s\n", link.m_imageLength,
                     options.files[0].c_str());
    }
    return kSuccess;
}

// A backup file, or else a raw image of at most 8192 bytes.
bool LoadImage(const std::string& path, Image& image, std::string& error) {
    CString description;
    if (ReadBackup(path, description, image.length, image.bytes, error)) {
        return true;
    }
    struct stat info {};
    if (error.rfind("not a backup file", 0) != 0 || ::stat(path.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode) || info.st_size < 1 || info.st_size > kImageSize) {
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

int Show(const Options& options) {
    if (options.files.size() != 1) {
        return UsageError("show needs one FILE");
    }
    CString description;
    Image image;
    std::string error;
    if (!ReadBackup(options.files[0], description, image.length, image.bytes, error)) {
        return Fail(kFileError, "cannot load " + options.files[0] + ": " + error);
    }
    std::printf("Description: %s\n", AnsiToUtf8(description).c_str());
    for (int offset = 0; offset < image.length; offset += kBlockSize) {
        std::printf("%s\n", FormatListingRow(offset, image.bytes + offset).c_str());
    }
    return kSuccess;
}

CString RowOrNothing(const Image& image, int offset) {
    if (offset >= image.length) {
        return "(none)";
    }
    return FormatListingRow(offset, image.bytes + offset);
}

int Diff(const Options& options) {
    if (options.files.size() != 2) {
        return UsageError("diff needs two files");
    }
    Image a;
    Image b;
    std::string error;
    if (!LoadImage(options.files[0], a, error)) {
        return Fail(kFileError, "cannot load " + options.files[0] + ": " + error);
    }
    if (!LoadImage(options.files[1], b, error)) {
        return Fail(kFileError, "cannot load " + options.files[1] + ": " + error);
    }
    const int longest = std::max(a.length, b.length);
    int differing = 0;
    for (int offset = 0; offset < longest; offset += kBlockSize) {
        // Only the valid bytes of a block count; past an image's length there
        // is nothing to compare.
        const int validA = std::clamp(a.length - offset, 0, kBlockSize);
        const int validB = std::clamp(b.length - offset, 0, kBlockSize);
        if (validA == validB && std::memcmp(a.bytes + offset, b.bytes + offset,
                                            static_cast<std::size_t>(validA)) == 0) {
            continue;
        }
        ++differing;
        std::printf("@%04X\n- %s\n+ %s\n", static_cast<unsigned>(offset),
                    RowOrNothing(a, offset).c_str(), RowOrNothing(b, offset).c_str());
    }
    const int blocks = (longest + kBlockSize - 1) / kBlockSize;
    if (a.length != b.length) {
        std::printf("Lengths differ: %d and %d bytes\n", a.length, b.length);
    }
    std::printf("%d of %d blocks differ\n", differing, blocks);
    return differing == 0 && a.length == b.length ? kSuccess : kDifferent;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int status = kSuccess;
    if (!ParseArguments(argc, argv, options, status)) {
        return status;
    }
    TerminalReport::CatchInterrupt();
    if (options.command == "get") {
        return Get(options);
    }
    if (options.command == "send") {
        return Send(options);
    }
    if (options.command == "show") {
        return Show(options);
    }
    if (options.command == "diff") {
        return Diff(options);
    }
    return UsageError("unknown command '" + options.command + "'");
}
