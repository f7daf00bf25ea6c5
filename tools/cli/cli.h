// What the commands of bc245xlt-cli share: the exit statuses, the parsed
// command line, and how errors are said.
#pragma once

#include "core/image.h"
#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kProgram[] = "bc245xlt-cli";

enum Exit : int {
    kSuccess = 0,
    kDifferent = 1,
    kNothingAppeared = 1, // ports --watch: no device was plugged in
    kUsage = 2,
    kPortError = 3,
    kTransferFailed = 4,
    kFileError = 5,
    kNotVerified = 6,
    kInterrupted = 130, // 128 + SIGINT; SIGHUP gives 129 and SIGTERM 143
};

struct Options {
    std::string command;
    std::string port;
    std::string output; // "-" for standard output
    std::string description;
    bool force = false;
    bool yes = false;
    bool quiet = false;
    bool verify = false;
    bool json = false;
    bool backupFirst = false;
    bool watch = false;
    int watchSeconds = 60;
    std::string backupPath;         // "" for a name of its own
    std::vector<std::string> files; // "-" for standard input
};

// Parses the command line. False when the program is to end at once, with
// the exit status in status: after --help or --version, or a usage error.
bool ParseArguments(int argc, char** argv, Options& options, int& status);

// "bc245xlt-cli: problem" and the hint to --help; kUsage.
int UsageError(const std::string& problem);
// "bc245xlt-cli: problem"; status.
int Fail(int status, const std::string& problem);

// An image and the number of its bytes that count.
struct Image {
    std::int32_t length = 0;
    unsigned char bytes[kImageSize] = {};
};

// The commands; each returns the exit status.
int Get(const Options& options);
int Send(const Options& options);
int Verify(const Options& options);
int Show(const Options& options);
int Diff(const Options& options);
int Ports(const Options& options);

// Prints the blocks in which b differs from a, as "@0010", "- row of a" and
// "+ row of b", within the first length bytes; how many blocks differ.
int PrintDifferingBlocks(const Image& a, const Image& b, int length);
