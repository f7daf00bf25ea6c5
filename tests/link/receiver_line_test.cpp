// The virtual receiver on lines it did not make: an existing serial device
// (here the far end of a pseudo-terminal, as one end of a null-modem cable)
// and a unix socket (as the host end of an emulator's character device). The
// link talks to the other end directly through its descriptor.
#include "fake_port.h"
#include "link/timeouts.h"
#include "temp_folder.h"
#include "virtual_receiver.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The program's end of the line, on a descriptor the test opened itself.
class DescriptorPort : public SerialDevice {
public:
    explicit DescriptorPort(int fd) : m_fd(fd) {}
    ~DescriptorPort() override { ::close(m_fd); }
    bool GetState(DCB&) override { return true; }
    bool SetState(const DCB&) override { return true; }
    ReadResult Read(std::uint8_t& byte, int timeoutMs) override {
        pollfd waiting{m_fd, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) == 0) {
            return ReadResult::TimedOut;
        }
        return ::read(m_fd, &byte, 1) == 1 ? ReadResult::Ok : ReadResult::Failed;
    }
    bool Write(const void* data, std::size_t size) override {
        return ::write(m_fd, data, size) == static_cast<ssize_t>(size);
    }

private:
    int m_fd;
};

int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? fd
                                                                                           : -1;
}

std::vector<std::uint8_t> Pattern(int records) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(records) * kBlockSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 5 + 1);
    }
    return image;
}

class ReceiverLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = LinkTimeouts();
        LinkTimeouts() = {2000, 300};
    }
    void TearDown() override { LinkTimeouts() = saved; }

    // A download and an upload through the link on the program's end.
    void Exchange(VirtualReceiver& receiver, const std::function<int()>& programEnd) {
        const std::vector<std::uint8_t> image = Pattern(20);
        auto first = std::async(std::launch::async, [&] {
            return receiver.RunFirst(image, {}, 3000) && receiver.WaitForClose(3000);
        });
        link.m_hPort = new DescriptorPort(programEnd());
        const int downloaded = link.Download();
        ASSERT_TRUE(first.get()) << receiver.Problem();
        ASSERT_EQ(downloaded, 1) << report.statuses.back();
        EXPECT_EQ(std::vector<std::uint8_t>(link.m_image, link.m_image + link.m_imageLength),
                  image);

        auto clone = std::async(std::launch::async, [&] { return receiver.RunClone({}, 3000); });
        link.m_hPort = new DescriptorPort(programEnd());
        const int uploaded = link.Upload();
        ASSERT_TRUE(clone.get()) << receiver.Problem();
        ASSERT_EQ(uploaded, 1) << report.statuses.back();
        EXPECT_EQ(receiver.Received(), image);
    }

    CloneTimeouts saved;
    RecordingReport report;
    CScannerLink link{report};
};

} // namespace

TEST_F(ReceiverLineTest, ADeviceCarriesBothModes) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::grantpt(master) + ::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    std::string error;
    auto line = OpenDeviceLine(device, 9600, error);
    ASSERT_NE(line, nullptr) << error;
    VirtualReceiver receiver(std::move(line), 0);
    EXPECT_EQ(receiver.DevicePath(), device);
    Exchange(receiver, [&] { return ::dup(master); });

    // The receiver holds the device as the program holds its port.
    EXPECT_EQ(OpenSerialPort(device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    ::close(master);
}

TEST_F(ReceiverLineTest, ASocketCarriesBothModesAndTakesTheNextConnection) {
    Folder folder;
    const std::string path = (folder.path / "line.sock").string();
    std::string error;
    auto line = ListenSocketLine(path, error);
    ASSERT_NE(line, nullptr) << error;
    EXPECT_EQ(ListenSocketLine(path, error), nullptr) << "a live socket is not taken over";
    VirtualReceiver receiver(std::move(line), 0);
    // The far end stays connected across exchanges, as an emulator's does.
    const int far = ConnectTo(path);
    ASSERT_GE(far, 0);
    Exchange(receiver, [&] { return ::dup(far); });
    ::close(far);

    // A far end that went is followed by the next one.
    const int next = ConnectTo(path);
    ASSERT_GE(next, 0);
    ReceiverFaults silent;
    silent.hangUpAt = 2;
    silent.startDelayMs = 0;
    auto first =
        std::async(std::launch::async, [&] { return receiver.RunFirst(Pattern(8), silent, 3000); });
    link.m_hPort = new DescriptorPort(next);
    EXPECT_EQ(link.Download(), 0);
    EXPECT_FALSE(first.get());
    EXPECT_EQ(receiver.Problem(), "hung up by request");
}

TEST_F(ReceiverLineTest, TheSocketIsRemovedWithTheReceiver) {
    Folder folder;
    const std::string path = (folder.path / "line.sock").string();
    std::string error;
    { auto line = ListenSocketLine(path, error); }
    EXPECT_FALSE(std::filesystem::exists(path));
    std::ofstream(folder.path / "file") << "keep";
    EXPECT_EQ(ListenSocketLine((folder.path / "file").string(), error), nullptr);
    EXPECT_TRUE(std::filesystem::exists(folder.path / "file")) << "only a socket is replaced";
}
