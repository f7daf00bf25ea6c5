// The progress bar on a real terminal: a pseudo-terminal of a given width,
// made narrower while the transfer runs.
#include "cli_fixture.h"

#include <future>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>

namespace {

struct Screen {
    std::string output;
    std::size_t resizedAt = std::string::npos; // where the output was when it was narrowed
};

// Runs the tool with the terminal as its standard streams; after the first
// redraws, narrows it to narrowTo columns (0: never).
Screen RunOnTerminal(const std::vector<std::string>& args, int columns, int narrowTo) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        ExecProgram(BuiltPath("BCU_CLI", BCU_CLI), args);
    }
    Screen screen;
    char buffer[4096];
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 10000) <= 0) {
            break;
        }
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            break; // EIO once the tool has ended
        }
        screen.output.append(buffer, static_cast<std::size_t>(got));
        if (narrowTo > 0 && screen.resizedAt == std::string::npos &&
            std::count(screen.output.begin(), screen.output.end(), '\r') > 40) {
            size.ws_col = static_cast<unsigned short>(narrowTo);
            ::ioctl(master, TIOCSWINSZ, &size); // the tool gets SIGWINCH
            screen.resizedAt = screen.output.size();
        }
    }
    ::close(master);
    ::waitpid(child, nullptr, 0);
    return screen;
}

// The lines the terminal shows, one per carriage return or line feed, with
// the erase sequence taken out, and where each began.
std::vector<std::pair<std::size_t, std::string>> Segments(const std::string& output) {
    std::vector<std::pair<std::size_t, std::string>> segments;
    std::string current;
    std::size_t start = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == '\r' || output[i] == '\n') {
            segments.emplace_back(start, current);
            current.clear();
            start = i + 1;
        } else if (output.compare(i, 3, "\033[K") == 0) {
            i += 2;
        } else {
            current += output[i];
        }
    }
    segments.emplace_back(start, current);
    return segments;
}

TEST_F(CliTest, TheBarFitsTheTerminalAndRedrawsInPlace) {
    const auto image = Pattern(kBlockCount);
    ReceiverFaults paced;
    paced.paceMs = 1;
    for (const auto& [columns, narrowTo] : {std::pair{120, 40}, std::pair{40, 0}}) {
        SCOPED_TRACE(std::to_string(columns) + " columns");
        VirtualReceiver& peer = Receiver();
        auto first =
            std::async(std::launch::async, [&] { return peer.RunFirst(image, paced, 10000); });
        const Screen screen =
            RunOnTerminal({"get", "-p", port, "-fo", (dir / "x.mrv").string()}, columns, narrowTo);
        EXPECT_TRUE(first.get()) << peer.Problem();
        ASSERT_NE(screen.output.find("Saved 8192 bytes"), std::string::npos) << screen.output;
        int redraws = 0;
        bool narrowed = false;
        bool fullSeen = false;
        for (const auto& [start, text] : Segments(screen.output)) {
            // The first redraw after the resize may still be of the old width.
            const bool late = start > screen.resizedAt;
            const int width = late && narrowed ? narrowTo : columns;
            narrowed = narrowed || late;
            // Only the bar is drawn to fit; the prompt and the result are
            // ordinary lines.
            if (text.rfind("[#", 0) == 0 || text.rfind("[.", 0) == 0) {
                ++redraws;
                fullSeen = fullSeen || text.find("512/512") != std::string::npos;
                EXPECT_LT(static_cast<int>(text.size()), width) << "wraps: '" << text << "'";
            }
        }
        EXPECT_GT(redraws, 100);
        EXPECT_TRUE(fullSeen);
        EXPECT_LE(std::count(screen.output.begin(), screen.output.end(), '\n'), 4)
            << "the bar redraws in place";
        receiver.reset();
    }
}

TEST_F(CliTest, WithoutATerminalAWholeTransferTakesAboutADozenLines) {
    const auto image = Pattern(kBlockCount);
    VirtualReceiver& peer = Receiver();
    auto first = std::async(std::launch::async, [&] { return peer.RunFirst(image, {}, 10000); });
    const Outcome get = Cli({"get", "-p", port, "-o", (dir / "x.mrv").string()});
    EXPECT_TRUE(first.get()) << peer.Problem();
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_LE(std::count(get.err.begin(), get.err.end(), '\n'), 13) << get.err;
    for (const char* status : {"Awaiting MDL query...", "Writing model information...",
                               "Awaiting data for block 1c00... (448 of 512 blocks done)",
                               "Download complete.", "Saved 8192 bytes"}) {
        EXPECT_NE(get.err.find(status), std::string::npos) << status << " in " << get.err;
    }
}

} // namespace
