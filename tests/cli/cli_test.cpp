// bc245xlt-cli end to end: the real program against the virtual receiver on a
// pseudo-terminal, its files in a temporary folder.
#include "cli_fixture.h"

#include "backup/format.h"
#include "core/listing.h"
#include "holder_process.h"

#include <chrono>
#include <cstring>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace {

TEST_F(CliTest, GetShowSendRoundTripKeepsEveryByte) {
    const auto image = Pattern(kBlockCount);
    const std::string file = (dir / "scanner.mrv").string();
    VirtualReceiver& peer = Receiver();
    auto first = std::async(std::launch::async, [&] { return peer.RunFirst(image, {}, 10000); });
    const Outcome get = Cli({"get", "--port", port, "-o", file, "-d", "Weekend caf\xc3\xa9"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_TRUE(first.get()) << peer.Problem();
    EXPECT_NE(get.err.find("Download complete."), std::string::npos) << "status texts as lines";
    peer.WaitForClose(2000);

    CString description;
    std::int32_t length = 0;
    unsigned char saved[kImageSize];
    ASSERT_EQ(ReadBackupFile(file, description, length, saved), 1);
    EXPECT_EQ(description, "Weekend caf\xe9") << "stored as Windows-1252";
    ASSERT_EQ(length, kImageSize);
    EXPECT_EQ(0, std::memcmp(saved, image.data(), kImageSize));

    const Outcome show = Cli({"show", file});
    ASSERT_EQ(show.status, 0) << show.err;
    std::string expected = "Description: Weekend caf\xc3\xa9\n";
    for (int offset = 0; offset < kImageSize; offset += kBlockSize) {
        expected += FormatListingRow(offset, saved + offset) + "\n";
    }
    EXPECT_EQ(show.out, expected);

    auto clone = std::async(std::launch::async, [&] { return peer.RunClone({}, 10000); });
    const Outcome send = Cli({"send", "--port", port, file, "--yes", "-q"});
    ASSERT_EQ(send.status, 0) << send.err;
    EXPECT_EQ(send.err, "") << "quiet";
    EXPECT_TRUE(clone.get()) << peer.Problem();
    EXPECT_EQ(peer.Received(), image);
}

TEST_F(CliTest, DiffListsTheBlocksThatDifferAndSaysHowMany) {
    auto image = Pattern(4);
    const std::string a = (dir / "a.mrv").string();
    const std::string b = (dir / "b.mrv").string();
    const std::string raw = (dir / "b.bin").string();
    ASSERT_EQ(WriteBackupFile(a, "A", 64, image.data()), 1);
    EXPECT_EQ(Cli({"diff", a, a}).status, 0);

    image[0x13] ^= 0xFF;
    ASSERT_EQ(WriteBackupFile(b, "B", 64, image.data()), 1);
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(64));
    for (const std::string& other : {b, raw}) {
        SCOPED_TRACE(other);
        const Outcome diff = Cli({"diff", a, other});
        EXPECT_EQ(diff.status, 1) << diff.err;
        EXPECT_NE(diff.out.find("@0010\n- 0010\t"), std::string::npos) << diff.out;
        EXPECT_NE(diff.out.find("1 of 4 blocks differ"), std::string::npos) << diff.out;
        EXPECT_EQ(diff.out.find("@0000"), std::string::npos);
    }
    EXPECT_EQ(Cli({"diff", a, (dir / "missing.mrv").string()}).status, kFileError);
}

TEST_F(CliTest, CtrlCDuringGetWritesNothingAndFreesThePort) {
    const std::string file = (dir / "never.mrv").string();
    VirtualReceiver& peer = Receiver();
    ReceiverFaults silent;
    silent.silentAtStart = true;
    auto first = std::async(std::launch::async, [&] { return peer.RunFirst({}, silent, 5000); });
    const auto start = std::chrono::steady_clock::now();
    const Outcome get = Cli({"get", "--port", port, "-o", file}, [](pid_t child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::kill(child, SIGINT);
    });
    EXPECT_EQ(get.status, kInterrupted) << get.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(fs::exists(file));
    first.wait();
    EXPECT_TRUE(peer.WaitForClose(2000)) << "the port was closed";
    // Free for the next user: an ordinary user opens it again at once.
    const Outcome again = Cli({"get", "--port", port, "-o", file}, [&](pid_t child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(child, SIGINT);
    });
    EXPECT_EQ(again.status, kInterrupted) << again.err;
}

TEST_F(CliTest, APortThatCannotBeOpenedSaysWhy) {
    const Outcome missing = Cli({"get", "--port", "COM4", "-o", (dir / "x.mrv").string()});
    EXPECT_EQ(missing.status, kPortError);
    EXPECT_NE(missing.err.find("no such device"), std::string::npos) << missing.err;

    Receiver();
    if (::geteuid() == 0) {
        // The device is root's alone here: another user is told so.
        const fs::path open = OpenFolder();
        const Outcome denied =
            Cli({"get", "--port", port, "-o", (open / "x.mrv").string()}, nullptr, kNobody);
        EXPECT_EQ(denied.status, kPortError);
        // The receiver's terminal is root's alone: joining a group would not help.
        EXPECT_NE(denied.err.find("permission denied: only root may open it; a udev rule"),
                  std::string::npos)
            << denied.err;
    }
    // A program that has the port open, with or without a lock, keeps it:
    // the port is not shared with whoever reads first. It is a program of
    // its own: this one holds the terminal's far end.
    for (const bool flocked : {true, false}) {
        HolderProcess holder([&] { return OpenAndHold(port, flocked); }, true);
        ASSERT_TRUE(holder.Ready());
        const std::string named = "busy: held by process " + std::to_string(holder.Pid()) + " (";
        const Outcome busy = Cli({"get", "--port", port, "-o", (dir / "x.mrv").string()});
        EXPECT_EQ(busy.status, kPortError);
        EXPECT_NE(busy.err.find(named), std::string::npos) << busy.err;
    }
}

TEST_F(CliTest, NothingIsOverwrittenOrSentWithoutBeingAsked) {
    const std::string file = (dir / "kept.mrv").string();
    std::ofstream(file) << "precious";
    const Outcome get = Cli({"get", "--port", port, "-o", file});
    EXPECT_EQ(get.status, kFileError);
    EXPECT_NE(get.err.find("--force"), std::string::npos);
    EXPECT_EQ(Slurp(file), "precious");

    const auto image = Pattern(2);
    ASSERT_EQ(WriteBackupFile(file, "", 32, image.data()), 1);
    VirtualReceiver& peer = Receiver();
    const Outcome send = Cli({"send", "--port", port, file}); // standard input is not a terminal
    EXPECT_EQ(send.status, kUsage);
    EXPECT_NE(send.err.find("--yes"), std::string::npos);
    EXPECT_EQ(peer.ReadAvailable(100), "") << "nothing was sent";

    EXPECT_EQ(Cli({"frobnicate"}).status, kUsage);
    EXPECT_EQ(Cli({"get", "-o", file}).status, kUsage);
    const Outcome help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("130"), std::string::npos) << "exit statuses are documented";
}

TEST_F(CliTest, AFileCutShortIsAFileErrorForEveryCommand) {
    const std::string file = (dir / "cut.mrv").string();
    std::ofstream(file) << kBackupHeader << "\nends inside the description";
    for (const std::vector<std::string>& command : {std::vector<std::string>{"show", file},
                                                    {"diff", file, file},
                                                    {"send", "--port", port, file, "--yes"}}) {
        SCOPED_TRACE(command[0]);
        const Outcome outcome = Cli(command);
        EXPECT_EQ(outcome.status, kFileError) << outcome.err;
        EXPECT_NE(outcome.err.find(": cut short inside its description"), std::string::npos)
            << outcome.err;
    }
}

TEST_F(CliTest, AFailedTransferNamesItsCause) {
    VirtualReceiver& peer = Receiver();
    ReceiverFaults faults;
    faults.badChecksumAt = 2;
    auto first =
        std::async(std::launch::async, [&] { return peer.RunFirst(Pattern(4), faults, 5000); });
    const Outcome get = Cli({"get", "--port", port, "-o", (dir / "bad.mrv").string(), "-q"});
    first.wait();
    EXPECT_EQ(get.status, kTransferFailed);
    EXPECT_EQ(get.err, "bc245xlt-cli: transfer failed: invalid data from scanner\n");
    EXPECT_FALSE(fs::exists(dir / "bad.mrv"));
}

} // namespace

namespace {

// What is no serial port is said to be none, before anything is locked,
// searched for or opened, whoever asks.
TEST_F(CliTest, WhatIsNoSerialPortIsSaidToBeNone) {
    const fs::path open = OpenFolder();
    const fs::path fifo = open / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const fs::path file = open / "file";
    std::ofstream(file) << "not a port";
    fs::permissions(file, fs::perms::all);
    for (const int user : {-1, OrdinaryUser()}) {
        for (const std::string& path :
             {fifo.string(), file.string(), std::string("/dev/null"), open.string()}) {
            const fs::path saved = open / "x.mrv";
            const Outcome refused =
                Cli({"get", "--port", path, "-o", saved.string()}, nullptr, user);
            EXPECT_EQ(refused.status, kPortError) << path << ": " << refused.err;
            EXPECT_NE(refused.err.find(": not a serial port"), std::string::npos)
                << path << " as user " << user << ": " << refused.err;
            EXPECT_FALSE(fs::exists(saved)) << path;
        }
    }
}

} // namespace
