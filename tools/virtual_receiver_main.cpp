// Command-line front of the virtual receiver, for trying the program with no
// receiver at hand.
#include "backup/format.h"
#include "core/version.h"
#include "virtual_receiver.h"

#include <cerrno>
#include <climits>
#include <getopt.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

constexpr char kProgram[] = "bc245xlt-virtual-receiver";

const char kUsage[] =
    "Usage: bc245xlt-virtual-receiver first|clone [options]\n"
    "\n"
    "Plays a BC245XLT on a pseudo-terminal, a serial device or a unix socket, so\n"
    "that the utility can get and send data with no receiver at hand.\n"
    "\n"
    "  first    FIRST mode: send a memory image to the utility (its Get Data)\n"
    "  clone    CLONE mode: receive an image from the utility (its Send Data)\n"
    "\n"
    "Options:\n"
    "  --link PATH        make PATH a link to the pseudo-terminal (for example\n"
    "                     /dev/COM1, which the utility opens for \"COM1\"); it is\n"
    "                     removed again at the end, also after Ctrl-C\n"
    "  --force            replace a link that is already at PATH (it is put back\n"
    "                     at the end)\n"
    "  --device PATH      play the receiver on an existing serial device instead,\n"
    "                     for example one end of a null-modem cable between two\n"
    "                     USB adapters (the utility opens the other end)\n"
    "  --socket PATH      listen on a unix socket instead, for example the host\n"
    "                     end of an emulator's serial character device\n"
    "  --image FILE       FIRST: the raw bytes to send (default: 8192 bytes of a\n"
    "                     counting pattern); a .mrv backup file works too\n"
    "  --records N        FIRST: send only the first N records\n"
    "  --out FILE         CLONE: write the received bytes there\n"
    "  --repeat           serve one exchange after another until interrupted\n"
    "  --then clone       FIRST: after the exchange, take an image as a CLONE unit,\n"
    "                     then answer as a FIRST unit with it, as a restore with a\n"
    "                     backup first and a check after it meets the receiver\n"
    "  --then first       CLONE: after each exchange, answer as a FIRST unit with\n"
    "                     what was received, so that a restore can be verified\n"
    "  --timeout SECONDS  how long to wait for the utility (default 120)\n"
    "  --pace MS          wait MS milliseconds before each record or reply\n"
    "  --baud RATE        send and take every byte at the pace of a serial line at\n"
    "                     RATE baud (10 bits a byte), as a real receiver does; after\n"
    "                     each exchange it says how far behind that pace it fell\n"
    "  --delay MS         FIRST: wait MS milliseconds between the port being opened\n"
    "                     and the model query (default 100)\n"
    "\n"
    "Run with sudo, the pseudo-terminal belongs to the user who ran sudo (mode\n"
    "0660); otherwise to the user who runs it (mode 0600).\n"
    "\n"
    "A device or a socket cannot show when the utility opens its port: in FIRST\n"
    "mode start the utility's download first, in CLONE mode start the receiver\n"
    "first.\n"
    "\n"
    "Faults:\n"
    "  --silent-at-start  never send or answer the model query\n"
    "  --silent-at N      go quiet at record N\n"
    "  --crlf             end lines with CR LF\n"
    "  --bad-checksum N   FIRST: record N has a wrong checksum\n"
    "  --short-line N     FIRST: record N is cut short\n"
    "  --long-line N      FIRST: record N is 300 characters long\n"
    "  --lower-case       FIRST: data in lower-case hex\n"
    "  --extra N          FIRST: send N records more than the image holds\n"
    "  --hang-up N        hang up at record N\n"
    "  --ng N             CLONE: reject record N with NG\n"
    "  --model TEXT       CLONE: answer the model query with TEXT\n"
    "  --corrupt N        CLONE: take record N with OK but keep it wrongly\n"
    "\n"
    "  -h, --help         print this help\n"
    "  -V, --version      print the program's name and version\n";

int Error(int status, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
    return status;
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, problem.c_str(), kProgram);
    return 2;
}

// The image to send: a backup file's, or else the first 8192 bytes of a
// regular file, in whole records. False with why not.
bool ReadImage(const std::string& path, std::vector<std::uint8_t>& image, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = ::stat(path.c_str(), &info) != 0 ? std::strerror(errno) : "not a regular file";
        return false;
    }
    CString description;
    std::int32_t length = 0;
    unsigned char bytes[kImageSize];
    try {
        if (ReadBackupFile(path, description, length, bytes, &error) != 0) {
            image.assign(bytes, bytes + length / 16 * 16);
            return true;
        }
    } catch (const CException& failure) {
        error = failure.GetErrorMessage();
        return false;
    }
    if (error.rfind("not a backup file", 0) != 0) {
        return false; // a backup file that is broken, or no regular file at all
    }
    std::ifstream in(path, std::ios::binary);
    image.resize(kImageSize);
    in.read(reinterpret_cast<char*>(image.data()), kImageSize);
    image.resize(static_cast<std::size_t>(in.gcount()) / 16 * 16);
    if (in.bad()) {
        error = "cannot be read";
        return false;
    }
    return true;
}

struct Settings {
    std::string mode, link, device, socket, imagePath, outPath, then;
    int records = -1, timeoutSeconds = 120;
    bool repeat = false;
    ReceiverFaults faults;
    ReceiverSetup setup;
};

// A number option's value; false when it is not a whole number.
bool Number(const char* text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// Parses the command line; false with the exit status when the program is
// to end at once.
bool ParseArguments(int argc, char** argv, Settings& settings, int& status) {
    enum : int {
        kLink = 256,
        kForce,
        kDevice,
        kSocket,
        kBaud,
        kImage,
        kRecords,
        kOut,
        kRepeat,
        kThen,
        kTimeout,
        kPace,
        kDelay,
        kSilentAtStart,
        kSilentAt,
        kCrlf,
        kBadChecksum,
        kShortLine,
        kLongLine,
        kLowerCase,
        kExtra,
        kHangUp,
        kNg,
        kModel,
        kCorrupt,
    };
    static const option kOptions[] = {
        {"link", required_argument, nullptr, kLink},
        {"force", no_argument, nullptr, kForce},
        {"device", required_argument, nullptr, kDevice},
        {"socket", required_argument, nullptr, kSocket},
        {"baud", required_argument, nullptr, kBaud},
        {"image", required_argument, nullptr, kImage},
        {"records", required_argument, nullptr, kRecords},
        {"out", required_argument, nullptr, kOut},
        {"repeat", no_argument, nullptr, kRepeat},
        {"then", required_argument, nullptr, kThen},
        {"timeout", required_argument, nullptr, kTimeout},
        {"pace", required_argument, nullptr, kPace},
        {"delay", required_argument, nullptr, kDelay},
        {"silent-at-start", no_argument, nullptr, kSilentAtStart},
        {"silent-at", required_argument, nullptr, kSilentAt},
        {"crlf", no_argument, nullptr, kCrlf},
        {"bad-checksum", required_argument, nullptr, kBadChecksum},
        {"short-line", required_argument, nullptr, kShortLine},
        {"long-line", required_argument, nullptr, kLongLine},
        {"lower-case", no_argument, nullptr, kLowerCase},
        {"extra", required_argument, nullptr, kExtra},
        {"hang-up", required_argument, nullptr, kHangUp},
        {"ng", required_argument, nullptr, kNg},
        {"model", required_argument, nullptr, kModel},
        {"corrupt", required_argument, nullptr, kCorrupt},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    ReceiverFaults& faults = settings.faults;
    // Where each number option puts its value.
    const std::pair<int, int*> numbers[] = {
        {kBaud, &settings.setup.baud},         {kRecords, &settings.records},
        {kTimeout, &settings.timeoutSeconds},  {kPace, &faults.paceMs},
        {kDelay, &faults.startDelayMs},        {kSilentAt, &faults.silentAt},
        {kBadChecksum, &faults.badChecksumAt}, {kShortLine, &faults.shortLineAt},
        {kLongLine, &faults.longLineAt},       {kExtra, &faults.extraRecords},
        {kHangUp, &faults.hangUpAt},           {kNg, &faults.ngAt},
        {kCorrupt, &faults.corruptAt},
    };
    opterr = 0;
    for (;;) {
        int index = -1;
        const int code = ::getopt_long(argc, argv, ":hV", kOptions, &index);
        if (code == -1) {
            break;
        }
        // The option as written: its long name, or what the command line holds.
        const std::string written = argv[optind - 1];
        const std::string name = index >= 0 ? std::string("--") + kOptions[index].name
                                 : written.rfind("--", 0) == 0
                                     ? written.substr(0, written.find('='))
                                     : "-" + std::string(1, static_cast<char>(optopt));
        bool numbered = false;
        for (const auto& [option, into] : numbers) {
            if (code == option) {
                numbered = true;
                if (!Number(optarg, *into)) {
                    status =
                        UsageError("option '" + name + "' takes a number, not '" + optarg + "'");
                    return false;
                }
            }
        }
        if (numbered) {
            continue;
        }
        switch (code) {
        case kLink:
            settings.link = optarg;
            break;
        case kForce:
            settings.setup.replaceLink = true;
            break;
        case kDevice:
            settings.device = optarg;
            break;
        case kSocket:
            settings.socket = optarg;
            break;
        case kImage:
            settings.imagePath = optarg;
            break;
        case kOut:
            settings.outPath = optarg;
            break;
        case kRepeat:
            settings.repeat = true;
            break;
        case kThen:
            settings.then = optarg;
            break;
        case kSilentAtStart:
            faults.silentAtStart = true;
            break;
        case kCrlf:
            faults.crlf = true;
            break;
        case kLowerCase:
            faults.lowerCaseHex = true;
            break;
        case kModel:
            faults.modelReply = optarg;
            break;
        case 'h':
            std::fputs(kUsage, stdout);
            status = 0;
            return false;
        case 'V':
            std::printf("%s (%s)\n", kProgram, kProductNameAndVersion);
            status = 0;
            return false;
        case ':':
            status = UsageError("option '" + name + "' needs a value");
            return false;
        default:
            status = UsageError(written.find('=') != std::string::npos && optopt != 0
                                    ? "option '" + name + "' takes no value"
                                    : "unknown option '" + name + "'");
            return false;
        }
    }
    if (optind >= argc) {
        status = UsageError("no mode given (first or clone)");
        return false;
    }
    settings.mode = argv[optind];
    if (settings.mode != "first" && settings.mode != "clone") {
        status = UsageError("unknown mode '" + settings.mode + "' (first or clone)");
        return false;
    }
    if (optind + 1 < argc) {
        status = UsageError("unexpected '" + std::string(argv[optind + 1]) + "'");
        return false;
    }
    if (!settings.then.empty() && !(settings.then == "first" && settings.mode == "clone") &&
        !(settings.then == "clone" && settings.mode == "first")) {
        status = UsageError("--then takes first after clone, or clone after first");
        return false;
    }
    if (settings.setup.baud < 0 || settings.setup.baud > 1000000) {
        status = UsageError("--baud takes a rate from 1 to 1000000");
        return false;
    }
    if (!settings.link.empty() + !settings.device.empty() + !settings.socket.empty() > 1) {
        status = UsageError("--link, --device and --socket do not go together");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    int status = 0;
    if (!ParseArguments(argc, argv, settings, status)) {
        return status;
    }
    ReceiverSetup& setup = settings.setup;
    const ReceiverFaults& faults = settings.faults;
    std::vector<std::uint8_t> image(8192);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    std::string error;
    if (!settings.imagePath.empty() && !ReadImage(settings.imagePath, image, error)) {
        return Error(1, "cannot read " + settings.imagePath + ": " + error);
    }
    if (settings.records >= 0) {
        image.resize(
            std::min<std::size_t>(image.size(), static_cast<std::size_t>(settings.records) * 16));
    }
    // Started with sudo: the device goes to the user who ran sudo.
    const char* sudoUid = std::getenv("SUDO_UID");
    const char* sudoGid = std::getenv("SUDO_GID");
    if (::geteuid() == 0 && sudoUid != nullptr && sudoGid != nullptr) {
        setup.ownerUid = std::atoi(sudoUid);
        setup.ownerGid = std::atoi(sudoGid);
    }
    std::unique_ptr<ReceiverLine> line =
        !settings.device.empty()   ? OpenDeviceLine(settings.device, setup.baud, error)
        : !settings.socket.empty() ? ListenSocketLine(settings.socket, error)
                                   : OpenPtyLine(settings.link, setup, error);
    if (!line) {
        return Error(1, error);
    }
    auto receiver = std::make_unique<VirtualReceiver>(std::move(line), setup.baud);
    receiver->CleanUpOnSignals();
    const std::string& link = settings.link;
    std::printf("Virtual BC245XLT in %s mode on %s%s%s%s\n",
                settings.mode == "first" ? "FIRST" : "CLONE",
                settings.socket.empty() ? "" : "socket ", receiver->DevicePath().c_str(),
                link.empty() ? "" : " (link ", link.empty() ? "" : (link + ")").c_str());
    std::fflush(stdout);
    const int timeoutMs = settings.timeoutSeconds * 1000;
    bool first = settings.mode == "first";
    int exchanges = 0;
    for (bool more = true; more;) {
        if (!settings.socket.empty()) {
            // Said once the far end is there, so that whoever drives the
            // other side knows when bytes can reach it.
            if (!receiver->WaitForClient(timeoutMs)) {
                std::printf("Exchange ended: nobody connected\n");
                return 1;
            }
            std::printf("Connected.\n");
            std::fflush(stdout);
        }
        const bool ok = first ? receiver->RunFirst(image, faults, timeoutMs)
                              : receiver->RunClone(faults, timeoutMs);
        ++exchanges;
        if (ok && first) {
            std::printf("Sent %zu records.\n",
                        image.size() / 16 + static_cast<std::size_t>(faults.extraRecords));
        } else if (ok) {
            std::printf("Received %zu records.\n", receiver->Received().size() / 16);
            if (!settings.outPath.empty()) {
                std::ofstream out(settings.outPath, std::ios::binary);
                out.write(reinterpret_cast<const char*>(receiver->Received().data()),
                          static_cast<std::streamsize>(receiver->Received().size()));
                if (!out) {
                    Error(1, "cannot write " + settings.outPath);
                }
            }
        } else {
            std::printf("Exchange ended: %s\n", receiver->Problem().c_str());
            status = 1;
        }
        if (setup.baud > 0) {
            std::printf(
                "Paced %zu bytes at %d baud, at most %.3f ms behind the line's clock.\n",
                receiver->PacedBytes(), setup.baud,
                std::chrono::duration<double, std::milli>(receiver->PacingLateness()).count());
        }
        std::fflush(stdout);
        // Closing the pseudo-terminal would throw away whatever the program
        // has not read yet, "END" included: stay until it has closed the port.
        // A CLONE exchange that ended well left nothing unread, and the
        // program that verifies it may open the port again at once: the
        // FIRST exchange after it waits for that open instead.
        const bool verifyNext = !settings.then.empty() && !first && ok;
        if (!verifyNext) {
            receiver->WaitForClose(timeoutMs);
        }
        more = settings.repeat;
        if (verifyNext) {
            // A CLONE exchange is followed by a FIRST one with what it took,
            // and that, with --repeat, by the next CLONE exchange.
            image = receiver->Received();
            first = true;
            more = true;
            std::printf("Now in FIRST mode.\n");
        } else if (!settings.then.empty() && first &&
                   (settings.repeat || (settings.then == "clone" && exchanges == 1))) {
            // A FIRST exchange is followed by a CLONE one: with --repeat
            // always, with --then clone after the first exchange only.
            more = true;
            first = false;
            std::printf("Now in CLONE mode.\n");
        }
        std::fflush(stdout);
    }
    return status;
}
