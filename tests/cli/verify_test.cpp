// A restore verified by reading it back, against the virtual receiver as a
// person runs it: CLONE mode, then FIRST mode with what it took.
#include "cli_fixture.h"

#include "backup/format.h"
#include "core/listing.h"

#include <cstring>
#include <future>

namespace {

TEST_F(CliTest, ARestoreIsVerifiedByReadingItBack) {
    const auto image = Pattern(kBlockCount);
    const std::string file = (dir / "restore.mrv").string();
    ASSERT_EQ(WriteBackupFile(file, "Restore", kImageSize, image.data()), 1);
    {
        ReceiverProcess peer({"clone", "--then", "first", "--link", port});
        ASSERT_TRUE(peer.WaitFor("Virtual BC245XLT in CLONE mode")) << peer.Said();
        const Outcome good = Cli({"send", "--verify", "--yes", "--port", port, file});
        EXPECT_EQ(good.status, 0) << good.err;
        EXPECT_EQ(good.out, "verified: 512 of 512 blocks identical\n");
        const std::size_t uploaded = good.err.find("Upload complete.");
        const std::size_t prompt = good.err.find("Place the BC245XLT in FIRST mode");
        EXPECT_NE(uploaded, std::string::npos) << good.err;
        EXPECT_GT(prompt, uploaded) << "switch to FIRST mode, after the upload: " << good.err;
        EXPECT_TRUE(peer.WaitFor("Now in FIRST mode.")) << peer.Said();
    }
    // A receiver that keeps block 5 wrongly: exit 6 and the block, as diff
    // shows one.
    ReceiverProcess peer(
        {"clone", "--then", "first", "--repeat", "--link", port, "--corrupt", "5"});
    ASSERT_TRUE(peer.WaitFor("Virtual BC245XLT in CLONE mode")) << peer.Said();
    const Outcome bad = Cli({"send", "--verify", "-qy", "--port", port, file});
    EXPECT_EQ(bad.status, kNotVerified) << bad.err;
    unsigned char kept[kBlockSize];
    std::memcpy(kept, image.data() + 0x50, kBlockSize);
    kept[0] ^= 0xFF;
    EXPECT_EQ(bad.out, "@0050\n- " + FormatListingRow(0x50, image.data() + 0x50) + "\n+ " +
                           FormatListingRow(0x50, kept) + "\n1 of 512 blocks differ\n");
    EXPECT_EQ(bad.err,
              "bc245xlt-cli: the receiver's memory differs from " + file + " in 1 block\n");

    // With --repeat it is a CLONE unit again after the FIRST exchange.
    EXPECT_TRUE(peer.WaitFor("Now in CLONE mode.")) << peer.Said();
}

TEST_F(CliTest, VerifyAloneSavesNothingAndCtrlCEndsItsWait) {
    const auto image = Pattern(kBlockCount);
    const std::string file = (dir / "expected.mrv").string();
    ASSERT_EQ(WriteBackupFile(file, "", 40, image.data()), 1); // 2.5 blocks
    VirtualReceiver& peer = Receiver();
    auto first = std::async(std::launch::async, [&] { return peer.RunFirst(image, {}, 10000); });
    const Outcome same = Cli({"verify", "-q", "--port", port, file});
    EXPECT_TRUE(first.get()) << peer.Problem();
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "verified: 3 of 3 blocks identical\n") << "only the blocks of the file";
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_TRUE(entry.path().extension() != ".mrv" || entry.path() == file)
            << "nothing saved: " << entry.path();
    }
    peer.WaitForClose(2000);

    ReceiverFaults silent;
    silent.silentAtStart = true;
    first = std::async(std::launch::async, [&] { return peer.RunFirst({}, silent, 5000); });
    const Outcome cancelled = Cli({"verify", "--port", port, file}, [](pid_t child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::kill(child, SIGINT);
    });
    first.wait();
    EXPECT_EQ(cancelled.status, kInterrupted) << cancelled.err;
    EXPECT_NE(cancelled.err.find("cancelled; nothing was compared"), std::string::npos)
        << cancelled.err;
}

TEST_F(CliTest, GetNamesItsOwnFileOrWritesToStandardOutput) {
    const auto image = Pattern(4);
    VirtualReceiver& peer = Receiver();
    const fs::path work = dir / "work";
    fs::create_directory(work);
    RunSetup inWork;
    inWork.workDir = work;
    for (int run = 0; run < 2; ++run) {
        auto first =
            std::async(std::launch::async, [&] { return peer.RunFirst(image, {}, 10000); });
        const Outcome get = Cli({"get", "-q", "--port", port}, inWork);
        EXPECT_TRUE(first.get()) << peer.Problem();
        EXPECT_EQ(get.status, 0) << get.err;
        // Even when quiet: the one line of standard output, for a script.
        EXPECT_EQ(get.err, "");
        EXPECT_EQ(get.out.rfind("bc245xlt-", 0), 0u) << get.out;
        EXPECT_EQ(get.out.find('\n'), get.out.size() - 1) << get.out;
        EXPECT_TRUE(fs::exists(work / get.out.substr(0, get.out.size() - 1))) << get.out;
        peer.WaitForClose(2000);
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u) << "the second never replaces the first";
    // bc245xlt-YYYYMMDD-HHMMSS.mrv, and the same with -2 when that is taken.
    const std::size_t length = std::string("bc245xlt-20261209-051700.mrv").size();
    for (const std::string& name : names) {
        EXPECT_EQ(name.rfind("bc245xlt-20", 0), 0u) << name;
        EXPECT_TRUE(name.size() == length || name.size() == length + 2) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".mrv");
    }
    for (const std::string& name : names) {
        CString description;
        std::int32_t length = 0;
        unsigned char saved[kImageSize];
        EXPECT_EQ(ReadBackupFile((work / name).string(), description, length, saved), 1);
        EXPECT_EQ(length, 64);
    }

    auto first = std::async(std::launch::async, [&] { return peer.RunFirst(image, {}, 10000); });
    const Outcome piped = Cli({"get", "-q", "-d", "piped", "-o", "-", "--port", port});
    EXPECT_TRUE(first.get()) << peer.Problem();
    ASSERT_EQ(piped.status, 0) << piped.err;
    const std::string expected = std::string(kBackupHeader) + "\npiped\n" +
                                 std::string("\x40\0\0\0", 4) +
                                 std::string(image.begin(), image.end());
    EXPECT_EQ(piped.out, expected);
}

} // namespace

namespace {

// A restore with a backup first: the receiver's memory is read and saved,
// then replaced, then read back; and nothing is sent when the backup cannot
// be made.
TEST_F(CliTest, ARestoreWithABackupFirstKeepsTheOldMemory) {
    std::vector<std::uint8_t> old = Pattern(kBlockCount);
    for (std::uint8_t& byte : old) {
        byte ^= 0xA5;
    }
    const fs::path oldImage = dir / "old.bin";
    std::ofstream(oldImage, std::ios::binary)
        .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    const auto image = Pattern(kBlockCount);
    const std::string file = (dir / "restore.mrv").string();
    ASSERT_EQ(WriteBackupFile(file, "Restore", kImageSize, image.data()), 1);
    const std::string backup = (dir / "before.mrv").string();
    {
        ReceiverProcess peer(
            {"first", "--then", "clone", "--image", oldImage.string(), "--link", port});
        ASSERT_TRUE(peer.WaitFor("Virtual BC245XLT in FIRST mode")) << peer.Said();
        const Outcome done =
            Cli({"send", "--backup-first=" + backup, "--verify", "-y", "--port", port, file});
        EXPECT_EQ(done.status, 0) << done.err;
        EXPECT_EQ(done.out, "verified: 512 of 512 blocks identical\n");
        // Each mode when it is due: FIRST for the backup, CLONE for the
        // restore, FIRST again for the check.
        const std::size_t saved = done.err.find("Saved 8192 bytes to " + backup);
        const std::size_t clone = done.err.find("Place the BC245XLT in CLONE mode");
        EXPECT_EQ(done.err.find("Place the BC245XLT in FIRST mode"), 0u) << done.err;
        EXPECT_NE(saved, std::string::npos) << done.err;
        EXPECT_GT(clone, saved) << done.err;
        EXPECT_NE(done.err.find("Place the BC245XLT in FIRST mode", clone), std::string::npos);
    }
    CString description;
    std::int32_t length = 0;
    unsigned char kept[kImageSize] = {};
    ASSERT_EQ(ReadBackupFile(backup, description, length, kept), 1);
    EXPECT_EQ(std::memcmp(kept, old.data(), kImageSize), 0) << "the old memory, saved";
    EXPECT_EQ(description, "Before restoring " + file);

    // A folder the backup cannot go to: refused before the port is opened.
    const Outcome nowhere = Cli({"send", "--backup-first=" + (dir / "none" / "b.mrv").string(),
                                 "-y", "--port", port, file});
    EXPECT_EQ(nowhere.status, kFileError) << nowhere.err;
    EXPECT_EQ(nowhere.err.find("Place the BC245XLT"), std::string::npos) << nowhere.err;

    // A receiver that falls silent while the backup is read: nothing is sent.
    VirtualReceiver& silent = Receiver();
    ReceiverFaults quiet;
    quiet.silentAt = 3;
    auto first = std::async(std::launch::async, [&] { return silent.RunFirst(old, quiet, 10000); });
    const fs::path here = OpenFolder();
    const Outcome unanswered = Cli({"send", "--backup-first", "-qy", "--port", port, file},
                                   RunSetup{nullptr, -1, here, RunSetup::Errors::File});
    first.wait();
    EXPECT_EQ(unanswered.status, kTransferFailed) << unanswered.err;
    EXPECT_NE(unanswered.err.find("nothing was saved or sent"), std::string::npos)
        << unanswered.err;
    EXPECT_EQ(silent.ReadAvailable(100).find("END"), std::string::npos) << "no record was sent";
    EXPECT_TRUE(fs::is_empty(here)) << "and nothing saved";
}

} // namespace
