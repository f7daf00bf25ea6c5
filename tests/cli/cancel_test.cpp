// Ending the tool from outside in the middle of a transfer, as an ordinary
// user: SIGTERM and SIGHUP cancel as Ctrl-C does, and a reader of the
// progress that goes away ends nothing.
#include "cli_fixture.h"

#include "backup/format.h"
#include "platform/serial.h"

#include <chrono>
#include <future>
#include <set>
#include <thread>

namespace {

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A folder an ordinary user may write, and there a backup of the whole
// memory that they may read.
class OrdinaryUserTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        open = OpenFolder();
        backup = (open / "restore.mrv").string();
        ASSERT_EQ(WriteBackupFile(backup, "", kImageSize, image.data()), 1);
        fs::permissions(backup, fs::perms::owner_read | fs::perms::others_read);
    }

    const std::vector<std::uint8_t> image = Pattern(kBlockCount);
    fs::path open;
    std::string backup;
};

TEST_F(OrdinaryUserTest, TermAndHangUpCancelATransferAndLeaveThePortFree) {
    VirtualReceiver& peer = SharedReceiver();
    const std::set<std::string> before = Listing(open);
    ReceiverFaults slow;
    slow.paceMs = 20; // ten seconds for the whole memory
    for (const int signal : {SIGTERM, SIGHUP}) {
        for (const std::string command : {"get", "send"}) {
            SCOPED_TRACE(command + " and signal " + std::to_string(signal));
            auto exchange = std::async(std::launch::async, [&] {
                return command == "get" ? peer.RunFirst(image, slow, 5000)
                                        : peer.RunClone(slow, 5000);
            });
            RunSetup setup;
            setup.asUser = OrdinaryUser();
            setup.during = [&](pid_t child) {
                std::this_thread::sleep_for(std::chrono::milliseconds(600));
                ::kill(child, signal);
            };
            const auto start = std::chrono::steady_clock::now();
            const Outcome outcome =
                command == "get"
                    ? Cli({"get", "-p", port, "-o", (open / "never.mrv").string()}, setup)
                    : Cli({"send", "-y", "-p", port, backup}, setup);
            EXPECT_EQ(outcome.status, 128 + signal) << outcome.err;
            EXPECT_NE(outcome.err.find("bc245xlt-cli: cancelled; "), std::string::npos)
                << outcome.err;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
            exchange.wait();
            EXPECT_TRUE(peer.WaitForClose(2000)) << "the port was closed";
            EXPECT_EQ(Listing(open), before) << "no file and no temporary file";

            // Free for the next ordinary user: another get reaches its wait.
            ReceiverFaults silent;
            silent.silentAtStart = true;
            auto idle =
                std::async(std::launch::async, [&] { return peer.RunFirst({}, silent, 3000); });
            RunSetup again;
            again.asUser = OrdinaryUser();
            again.during = [](pid_t child) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                ::kill(child, SIGINT);
            };
            const Outcome next =
                Cli({"get", "-p", port, "-o", (open / "next.mrv").string()}, again);
            EXPECT_EQ(next.status, kInterrupted) << next.err;
            idle.wait();
            peer.WaitForClose(2000);
        }
    }
}

TEST_F(OrdinaryUserTest, AProgressReaderThatGoesAwayEndsNoTransfer) {
    VirtualReceiver& peer = SharedReceiver();
    ReceiverFaults paced;
    paced.paceMs = 2;
    // Standard error a pipe whose reader leaves mid-transfer, and standard
    // error closed from the start: what the tool opens must not take its place.
    for (const RunSetup::Errors errors : {RunSetup::Errors::Pipe, RunSetup::Errors::Closed}) {
        SCOPED_TRACE(errors == RunSetup::Errors::Pipe ? "reader gone" : "closed");
        RunSetup setup;
        setup.asUser = OrdinaryUser();
        setup.errors = errors;
        // With standard error closed, the first file the tool opens, the
        // port's lock file, would otherwise receive the progress.
        const std::string lock = "/run/lock/" + PortLockName(RealPath(port));
        std::string locked;
        setup.during = [&](pid_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (errorPipe >= 0) {
                ::close(errorPipe);
                errorPipe = -1;
            }
            locked = Slurp(lock);
        };
        const std::string saved = (open / "saved.mrv").string();
        auto first =
            std::async(std::launch::async, [&] { return peer.RunFirst(image, paced, 5000); });
        const Outcome get = Cli({"get", "-p", port, "-o", saved}, setup);
        EXPECT_TRUE(first.get()) << peer.Problem();
        EXPECT_EQ(get.status, 0);
        if (fs::is_directory("/run/lock")) {
            EXPECT_EQ(locked.size(), 11u) << "the lock file holds its process id alone: " << locked;
        }
        CString description;
        std::int32_t length = 0;
        unsigned char bytes[kImageSize];
        ASSERT_EQ(ReadBackupFile(saved, description, length, bytes), 1)
            << "a get that completes saves";
        EXPECT_EQ(length, kImageSize);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + kImageSize), image);
        fs::remove(saved);
        peer.WaitForClose(2000);

        auto clone = std::async(std::launch::async, [&] { return peer.RunClone(paced, 5000); });
        const Outcome send = Cli({"send", "-y", "-p", port, backup}, setup);
        EXPECT_TRUE(clone.get()) << peer.Problem();
        EXPECT_EQ(send.status, 0);
        EXPECT_EQ(peer.Received(), image);
        peer.WaitForClose(2000);
    }
}

} // namespace
