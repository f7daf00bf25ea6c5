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
        EXPECT_NE(get.err.find("Saved 64 bytes to bc245xlt-"), std::string::npos)
            << "the name is said even when quiet: " << get.err;
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
