// The COM port backend against a peer on a Linux pseudo-terminal, under Wine.
// The Windows lane starts each case with BCU_PEER_PORT naming the COM port it
// mapped to the terminal, and plays the peer's part for that case; without
// it the cases are skipped.
#include "link/ScannerLink.h"
#include "link/port_info.h"
#include "platform/serial.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The port the link opens, and nothing else of a report.
class PortOnly : public LinkReport {
public:
    explicit PortOnly(CString port) : m_port(std::move(port)) {}
    CString PortName() override { return m_port; }
    void ShowStatus(const CString&) override {}
    void StepProgress() override {}
    bool KeepWaiting() override { return true; }
    void DownloadComplete() override {}

private:
    CString m_port;
};

class SerialPeer : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("BCU_PEER_PORT");
        if (port == nullptr || *port == '\0') {
            GTEST_SKIP() << "run by the Windows lane, with a peer behind BCU_PEER_PORT";
        }
        name = port;
        report = std::make_unique<PortOnly>(name);
        link = std::make_unique<CScannerLink>(*report);
        // The receiver's line, as the link sets it.
        ASSERT_EQ(link->OpenPort(), 1)
            << ExplainPortFailure(name, LastSerialError(), LastSerialLockHolder());
        handle = link->m_hPort;
    }

    // Reads until a carriage return or the deadline.
    std::string ReadReply(std::chrono::milliseconds within) {
        std::string reply;
        const auto deadline = Clock::now() + within;
        while (Clock::now() < deadline) {
            std::uint8_t byte = 0;
            if (ReadFile(handle, byte, 50) == ReadResult::Ok) {
                if (byte == '\r') {
                    break;
                }
                reply.push_back(static_cast<char>(byte));
            }
        }
        return reply;
    }

    std::string name;
    std::unique_ptr<PortOnly> report;
    std::unique_ptr<CScannerLink> link; // closes the port at the end
    HANDLE handle = nullptr;
};

TEST_F(SerialPeer, TheLineIsSetAsTheReceiverNeedsIt) {
    ASSERT_TRUE(WriteFile(handle, "?", 1));
    // The peer reads the terminal's settings and says what is wrong, if anything.
    EXPECT_EQ(ReadReply(5s), "OK");
}

TEST_F(SerialPeer, EveryByteArrivesOneReadAtATime) {
    ASSERT_TRUE(WriteFile(handle, "?", 1));
    constexpr int kBytes = 27652; // a whole download's record lines
    const auto start = Clock::now();
    for (int i = 0; i < kBytes; ++i) {
        std::uint8_t byte = 0;
        ASSERT_EQ(ReadFile(handle, byte, 5000), ReadResult::Ok) << "byte " << i;
        ASSERT_EQ(byte, static_cast<std::uint8_t>(i * 31 + 7)) << "byte " << i;
    }
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST_F(SerialPeer, AReadEndsAtItsDeadline) {
    for (const int ms : {500, 200, 15}) {
        std::uint8_t byte = 0;
        const auto start = Clock::now();
        EXPECT_EQ(ReadFile(handle, byte, ms), ReadResult::TimedOut);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_GE(took.count(), ms - 5) << ms;
        EXPECT_LE(took.count(), ms + 100) << ms;
    }
}

TEST_F(SerialPeer, AHungUpLineFailsAtOnce) {
    ASSERT_TRUE(WriteFile(handle, "?", 1));
    // The link reads in slices of 15 ms: the first slice after the hang-up
    // tells, not the reply's deadline seconds later.
    const auto start = Clock::now();
    ReadResult result = ReadResult::TimedOut;
    while (result == ReadResult::TimedOut && Clock::now() - start < 10s) {
        std::uint8_t byte = 0;
        result = ReadFile(handle, byte, 15);
    }
    EXPECT_EQ(result, ReadResult::Failed);
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(SerialPeer, ASecondOpenerIsRefusedAsBusy) {
    const HANDLE second = OpenSerialPort(name);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSerialError(), EBUSY);
    EXPECT_EQ(ExplainPortFailure(name, LastSerialError(), LastSerialLockHolder()),
              name + ": busy: in use by another program");
    link.reset();
    const HANDLE again = OpenSerialPort(name);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "free again once closed";
    CloseHandle(again);
}

} // namespace
