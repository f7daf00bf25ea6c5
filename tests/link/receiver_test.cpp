// The port and the virtual receiver on real pseudo-terminals, with no toolkit:
// the port is free for an unprivileged user after every transfer, and the
// virtual receiver, which people run with sudo, leaves nothing behind.
#include "built_path.h"
#include "fake_port.h"
#include "link/timeouts.h"
#include "temp_folder.h"
#include "virtual_receiver.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

// A report for a link run with no one watching.
class QuietReport : public LinkReport {
public:
    explicit QuietReport(std::string port) : m_port(std::move(port)) {}
    CString PortName() override { return m_port; }
    void ShowStatus(const CString& text) override { status = text; }
    void StepProgress() override {}
    bool KeepWaiting() override { return true; }
    void DownloadComplete() override {}
    CString status;

private:
    std::string m_port;
};

// Runs body in a child process as an unprivileged user when this process is
// root (root ignores the port's exclusive flag); returns the child's status.
int AsUnprivilegedUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(90);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

} // namespace

TEST(PortAccess, APortIsFreeForTheNextUserAfterEveryTransfer) {
    Folder folder;
    const std::string link = (folder.path / "COM1").string();
    std::string error;
    ReceiverSetup setup;
    if (::geteuid() == 0) {
        setup.ownerUid = static_cast<int>(kNobody);
        setup.ownerGid = static_cast<int>(kNobody);
    }
    auto receiver = VirtualReceiver::Create(link, error, setup);
    ASSERT_NE(receiver, nullptr) << error;
    const std::vector<std::uint8_t> image(4 * kBlockSize, 0x42);

    // The receiver serves two downloads while the child runs them one after
    // the other, each opening and closing the port; the far end stays open.
    auto peer = std::async(std::launch::async, [&] {
        bool ok = receiver->RunFirst(image, {}, 5000);
        receiver->WaitForClose(5000);
        ok = receiver->RunFirst(image, {}, 5000) && ok;
        receiver->WaitForClose(5000);
        return ok;
    });
    const int result = AsUnprivilegedUser([&] {
        LinkTimeouts() = {3000, 3000};
        for (int round = 0; round < 2; ++round) {
            QuietReport report(link);
            CScannerLink scanner(report);
            if (scanner.OpenPort() == 0) {
                return 10 + round; // busy: the exclusive flag was left behind
            }
            if (scanner.Download() == 0) {
                return 20 + round;
            }
            // The receiver notices a closed port by looking now and then.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    });
    EXPECT_EQ(result, 0) << "10/11: the port could not be opened again; 20/21: a download failed";
    EXPECT_TRUE(peer.get()) << receiver->Problem();
}

TEST(VirtualReceiverLink, ReplacesALinkOnlyWhenAskedAndPutsItBack) {
    Folder folder;
    const fs::path link = folder.path / "COM1";
    std::ofstream(link) << "keep me";
    std::string error;
    EXPECT_EQ(VirtualReceiver::Create(link.string(), error), nullptr);
    EXPECT_NE(error.find("not a link"), std::string::npos);
    EXPECT_EQ(fs::file_size(link), 7u);

    fs::remove(link);
    fs::create_symlink("/dev/ttyS0", link);
    EXPECT_EQ(VirtualReceiver::Create(link.string(), error), nullptr) << "not without being asked";
    EXPECT_NE(error.find("--force"), std::string::npos);
    EXPECT_EQ(fs::read_symlink(link), "/dev/ttyS0");
    {
        ReceiverSetup setup;
        setup.replaceLink = true;
        auto receiver = VirtualReceiver::Create(link.string(), error, setup);
        ASSERT_NE(receiver, nullptr) << error;
        EXPECT_EQ(fs::read_symlink(link).string(), receiver->DevicePath());
        const auto perms = fs::status(receiver->DevicePath()).permissions();
        EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
            << "the device is its user's alone";
    }
    EXPECT_EQ(fs::read_symlink(link), "/dev/ttyS0") << "the earlier link is back";

    // A receiver forced over another's link, the other ending first: no
    // link is left to the terminal that went with it.
    fs::remove(link);
    auto first = VirtualReceiver::Create(link.string(), error);
    ASSERT_NE(first, nullptr) << error;
    ReceiverSetup setup;
    setup.replaceLink = true;
    auto second = VirtualReceiver::Create(link.string(), error, setup);
    ASSERT_NE(second, nullptr) << error;
    first.reset();
    second.reset();
    EXPECT_FALSE(fs::is_symlink(link)) << fs::read_symlink(link);
}

TEST(VirtualReceiverLink, TheDeviceGoesToTheUserWhoRanSudo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a device away needs root";
    }
    std::string error;
    ReceiverSetup setup;
    setup.ownerUid = static_cast<int>(kNobody);
    setup.ownerGid = static_cast<int>(kNobody);
    auto receiver = VirtualReceiver::Create("", error, setup);
    ASSERT_NE(receiver, nullptr) << error;
    struct stat info {};
    ASSERT_EQ(::stat(receiver->DevicePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, kNobody);
    EXPECT_EQ(info.st_mode & 0777, 0660u);
}

TEST(VirtualReceiverLink, ASignalRemovesItsLinkAndRestoresTheEarlierOne) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        Folder folder;
        const fs::path link = folder.path / "COM1";
        fs::create_symlink("/dev/ttyS0", link);
        const pid_t child = ::fork();
        if (child == 0) {
            const char* program = BuiltPath("BCU_VIRTUAL_RECEIVER", BCU_VIRTUAL_RECEIVER);
            ::execl(program, program, "first", "--link", link.c_str(), "--force", "--timeout", "20",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && fs::read_symlink(link) == "/dev/ttyS0"; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_NE(fs::read_symlink(link), "/dev/ttyS0") << "the receiver made its link";
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(fs::read_symlink(link), "/dev/ttyS0");
    }
}

TEST(VirtualReceiverLink, ACancelledExchangeLeavesNothingForTheNext) {
    Folder folder;
    const std::string link = (folder.path / "COM1").string();
    std::string error;
    auto receiver = VirtualReceiver::Create(link, error);
    ASSERT_NE(receiver, nullptr) << error;
    LinkTimeouts() = {2000, 2000};
    const std::vector<std::uint8_t> image(8 * kBlockSize, 0x17);

    // The first exchange is cancelled while a record waits on the line.
    ReceiverFaults paced;
    paced.paceMs = 30;
    paced.startDelayMs = 0;
    auto first = std::async(std::launch::async, [&] {
        receiver->RunFirst(image, paced, 3000);
        return receiver->WaitForClose(3000);
    });
    {
        RecordingReport report;
        report.port = link;
        report.cancelAfter = 6;
        CScannerLink scanner(report);
        ASSERT_EQ(scanner.OpenPort(), 1);
        EXPECT_EQ(scanner.Download(), 0);
        EXPECT_EQ(report.statuses.back(), "ERROR: Transfer cancelled");
    }
    ASSERT_TRUE(first.get());
    auto second =
        std::async(std::launch::async, [&] { return receiver->RunFirst(image, {}, 3000); });
    QuietReport report(link);
    CScannerLink scanner(report);
    ASSERT_EQ(scanner.OpenPort(), 1);
    EXPECT_EQ(scanner.Download(), 1) << report.status;
    EXPECT_TRUE(second.get()) << receiver->Problem();
}
