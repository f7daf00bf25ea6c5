// A serial line bridged by socat, as users bridge a line to a network serial
// server or to another program: a pair of pseudo-terminals whose far ends
// socat holds, the virtual receiver on one and the tool on the other.
#include "backup/format.h"
#include "cli_fixture.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

class BridgeTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (::access("/usr/bin/socat", X_OK) != 0) {
            GTEST_SKIP() << "socat is not installed";
        }
        near = (dir / "near").string();
        far = (dir / "far").string();
        m_socat = ::fork();
        if (m_socat == 0) {
            ::closefrom(3);
            ExecProgram("/usr/bin/socat",
                        {"pty,link=" + near + ",raw,echo=0", "pty,link=" + far + ",raw,echo=0"});
        }
        for (int i = 0; i < 500 && !(fs::exists(near) && fs::exists(far)); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(fs::exists(near) && fs::exists(far)) << "socat made no terminals";
    }
    void TearDown() override {
        if (m_socat > 0) {
            ::kill(m_socat, SIGTERM);
            ::waitpid(m_socat, nullptr, 0);
        }
        CliTest::TearDown();
    }

    std::string near, far;

private:
    pid_t m_socat = -1;
};

TEST_F(BridgeTest, GetAndSendWorkOverASocatBridge) {
    const auto image = Pattern(kBlockCount);
    const fs::path raw = dir / "image.bin";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    // A receiver on a device cannot see the port being opened: the download
    // starts first, and the receiver a moment later.
    const std::string saved = (dir / "bridged.mrv").string();
    std::unique_ptr<ReceiverProcess> first;
    const Outcome got = Cli({"get", "-q", "--port", near, "-o", saved}, [&](pid_t) {
        std::this_thread::sleep_for(300ms);
        first = std::make_unique<ReceiverProcess>(
            std::vector<std::string>{"first", "--device", far, "--image", raw.string()});
    });
    EXPECT_EQ(got.status, 0) << got.err;
    CString description;
    std::int32_t length = 0;
    unsigned char loaded[kImageSize] = {};
    ASSERT_EQ(ReadBackupFile(saved, description, length, loaded), 1);
    EXPECT_EQ(std::memcmp(loaded, image.data(), kImageSize), 0);
    first.reset();

    const std::string received = (dir / "received.bin").string();
    ReceiverProcess clone({"clone", "--device", far, "--out", received});
    ASSERT_TRUE(clone.WaitFor("CLONE mode")) << clone.Said();
    const Outcome sent = Cli({"send", "-qy", "--port", near, saved});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_TRUE(clone.WaitFor("Received")) << clone.Said();
    EXPECT_EQ(Slurp(received), std::string(image.begin(), image.end()));
}

} // namespace
