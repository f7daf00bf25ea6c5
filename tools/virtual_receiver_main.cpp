// Command-line front of the virtual receiver, for trying the program with no
// receiver at hand.
#include "virtual_receiver.h"

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
    "  --model TEXT       CLONE: answer the model query with TEXT\n";

bool ReadImage(const std::string& path, std::vector<std::uint8_t>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // A backup file: skip its two lines and the length field.
    const std::string header = "BC245XLT MRVv1.0\n";
    if (image.size() > header.size() && std::equal(header.begin(), header.end(), image.begin())) {
        std::size_t at = header.size();
        while (at < image.size() && image[at] != '\n') {
            ++at;
        }
        at += 1 + 4;
        image.erase(image.begin(),
                    image.begin() + static_cast<std::ptrdiff_t>(std::min(at, image.size())));
    }
    image.resize(std::min<std::size_t>(image.size(), 8192) / 16 * 16);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string mode = argv[1];
    if (mode != "first" && mode != "clone") {
        std::fprintf(stderr, "unknown mode '%s'\n\n%s", mode.c_str(), kUsage);
        return 2;
    }
    std::string link, device, socket, imagePath, outPath;
    int records = -1, timeoutSeconds = 120;
    bool repeat = false;
    ReceiverFaults faults;
    ReceiverSetup setup;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", option.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        const auto number = [&] { return std::atoi(value()); };
        const std::pair<const char*, std::function<void()>> options[] = {
            {"--link", [&] { link = value(); }},
            {"--force", [&] { setup.replaceLink = true; }},
            {"--device", [&] { device = value(); }},
            {"--socket", [&] { socket = value(); }},
            {"--baud", [&] { setup.baud = number(); }},
            {"--image", [&] { imagePath = value(); }},
            {"--records", [&] { records = number(); }},
            {"--out", [&] { outPath = value(); }},
            {"--repeat", [&] { repeat = true; }},
            {"--timeout", [&] { timeoutSeconds = number(); }},
            {"--pace", [&] { faults.paceMs = number(); }},
            {"--delay", [&] { faults.startDelayMs = number(); }},
            {"--silent-at-start", [&] { faults.silentAtStart = true; }},
            {"--silent-at", [&] { faults.silentAt = number(); }},
            {"--crlf", [&] { faults.crlf = true; }},
            {"--bad-checksum", [&] { faults.badChecksumAt = number(); }},
            {"--short-line", [&] { faults.shortLineAt = number(); }},
            {"--long-line", [&] { faults.longLineAt = number(); }},
            {"--lower-case", [&] { faults.lowerCaseHex = true; }},
            {"--extra", [&] { faults.extraRecords = number(); }},
            {"--hang-up", [&] { faults.hangUpAt = number(); }},
            {"--ng", [&] { faults.ngAt = number(); }},
            {"--model", [&] { faults.modelReply = value(); }},
        };
        const auto known = std::find_if(std::begin(options), std::end(options),
                                        [&](const auto& entry) { return option == entry.first; });
        if (known == std::end(options)) {
            std::fprintf(stderr, "unknown option '%s'\n\n%s", option.c_str(), kUsage);
            return 2;
        }
        known->second();
    }
    std::vector<std::uint8_t> image(8192);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    if (!imagePath.empty() && !ReadImage(imagePath, image)) {
        std::fprintf(stderr, "cannot read %s\n", imagePath.c_str());
        return 1;
    }
    if (records >= 0) {
        image.resize(std::min<std::size_t>(image.size(), static_cast<std::size_t>(records) * 16));
    }
    if (setup.baud < 0 || setup.baud > 1000000) {
        std::fprintf(stderr, "--baud takes a rate from 1 to 1000000\n");
        return 2;
    }
    // Started with sudo: the device goes to the user who ran sudo.
    const char* sudoUid = std::getenv("SUDO_UID");
    const char* sudoGid = std::getenv("SUDO_GID");
    if (::geteuid() == 0 && sudoUid != nullptr && sudoGid != nullptr) {
        setup.ownerUid = std::atoi(sudoUid);
        setup.ownerGid = std::atoi(sudoGid);
    }
    if (!link.empty() + !device.empty() + !socket.empty() > 1) {
        std::fprintf(stderr, "--link, --device and --socket do not go together\n");
        return 2;
    }
    std::string error;
    std::unique_ptr<ReceiverLine> line = !device.empty() ? OpenDeviceLine(device, setup.baud, error)
                                         : !socket.empty() ? ListenSocketLine(socket, error)
                                                           : OpenPtyLine(link, setup, error);
    if (!line) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto receiver = std::make_unique<VirtualReceiver>(std::move(line), setup.baud);
    receiver->CleanUpOnSignals();
    std::printf("Virtual BC245XLT in %s mode on %s%s%s%s\n", mode == "first" ? "FIRST" : "CLONE",
                socket.empty() ? "" : "socket ", receiver->DevicePath().c_str(),
                link.empty() ? "" : " (link ", link.empty() ? "" : (link + ")").c_str());
    std::fflush(stdout);
    int status = 0;
    do {
        if (!socket.empty()) {
            // Said once the far end is there, so that whoever drives the
            // other side knows when bytes can reach it.
            if (!receiver->WaitForClient(timeoutSeconds * 1000)) {
                std::printf("Exchange ended: nobody connected\n");
                return 1;
            }
            std::printf("Connected.\n");
            std::fflush(stdout);
        }
        const bool ok = mode == "first" ? receiver->RunFirst(image, faults, timeoutSeconds * 1000)
                                        : receiver->RunClone(faults, timeoutSeconds * 1000);
        if (ok && mode == "first") {
            std::printf("Sent %zu records.\n",
                        image.size() / 16 + static_cast<std::size_t>(faults.extraRecords));
        } else if (ok) {
            std::printf("Received %zu records.\n", receiver->Received().size() / 16);
            if (!outPath.empty()) {
                std::ofstream out(outPath, std::ios::binary);
                out.write(reinterpret_cast<const char*>(receiver->Received().data()),
                          static_cast<std::streamsize>(receiver->Received().size()));
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
        receiver->WaitForClose(timeoutSeconds * 1000);
    } while (repeat);
    return status;
}
