// The transfers against in-memory ports: every way a receiver can fail ends
// through the failure path with its status text, the port closed, and the
// image as it was.
#include "fake_port.h"
#include "link/record.h"
#include "link/timeouts.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kNoResponse[] = "ERROR: No response from scanner";
constexpr char kReadFailed[] = "ERROR: Serial port read failed";
constexpr char kWriteFailed[] = "ERROR: Serial port write failed";
constexpr char kBadModel[] = "ERROR: Incorrect response to MDL query";
constexpr char kInvalid[] = "ERROR: Invalid data from scanner";
constexpr char kTooMuch[] = "ERROR: Too much data from scanner";
constexpr char kRejected[] = "ERROR: Data rejected by scanner";
constexpr char kCancelled[] = "ERROR: Transfer cancelled";
constexpr int kLineMs = 120;
constexpr std::uint8_t kOldByte = 0x5A;
constexpr std::int32_t kOldLength = 48;

std::string Record(int block, std::uint8_t seed = 0) {
    unsigned char data[kBlockSize];
    for (int i = 0; i < kBlockSize; ++i) {
        data[i] = static_cast<unsigned char>(seed + block * kBlockSize + i);
    }
    return FormatRecordLine(block * kBlockSize, data);
}

std::string Records(int count, const char* end = "\r") {
    std::string out;
    for (int n = 0; n < count; ++n) {
        out += Record(n) + end;
    }
    return out;
}

class LinkCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = LinkTimeouts();
        LinkTimeouts() = {kLineMs, kLineMs};
        std::memset(link.m_image, kOldByte, sizeof link.m_image);
        link.m_imageLength = kOldLength;
    }
    void TearDown() override { LinkTimeouts() = saved; }

    FakePort& Attach() {
        auto* port = new FakePort(wire);
        link.m_hPort = port;
        return *port;
    }

    // The end every failed transfer must reach.
    // Each failure's reason, as a caller maps it to what it does (the
    // command-line tool to its exit status): a change of wording changes none.
    static TransferFailure ReasonOf(const std::string& status) {
        const std::pair<const char*, TransferFailure> reasons[] = {
            {kNoResponse, TransferFailure::NoResponse},
            {kReadFailed, TransferFailure::ReadFailed},
            {kWriteFailed, TransferFailure::WriteFailed},
            {kBadModel, TransferFailure::WrongModel},
            {kInvalid, TransferFailure::InvalidData},
            {kTooMuch, TransferFailure::TooMuchData},
            {kRejected, TransferFailure::Rejected},
            {kCancelled, TransferFailure::Cancelled},
        };
        for (const auto& [text, reason] : reasons) {
            if (status == text) {
                return reason;
            }
        }
        ADD_FAILURE() << "no reason for " << status;
        return TransferFailure::NoResponse;
    }

    void ExpectFailedCleanly(int result, const char* status) {
        EXPECT_EQ(result, 0);
        ASSERT_FALSE(report.statuses.empty());
        EXPECT_EQ(report.statuses.back(), status);
        EXPECT_EQ(report.failures, std::vector<TransferFailure>{ReasonOf(status)})
            << "one reason, the one its status says";
        EXPECT_TRUE(wire->closed) << "port closed";
        EXPECT_EQ(link.m_hPort, nullptr);
        EXPECT_EQ(report.completed, 0);
    }

    void ExpectImageUntouched() {
        EXPECT_EQ(link.m_imageLength, kOldLength);
        for (const unsigned char byte : link.m_image) {
            ASSERT_EQ(byte, kOldByte);
        }
    }

    CloneTimeouts saved;
    RecordingReport report;
    CScannerLink link{report};
    std::shared_ptr<FakeWire> wire = std::make_shared<FakeWire>();
};

struct DownloadCase {
    const char* name;
    std::function<void(FakePort&)> script;
    const char* status;
    int okSent; // "OK\r" answers the computer sent
};

TEST_F(LinkCoreTest, EveryFailedDownloadEndsCleanlyAndKeepsTheImage) {
    const std::string model = "MDL\r";
    const std::vector<DownloadCase> cases = {
        {"silent", [](FakePort&) {}, kNoResponse, 0},
        {"reads fail", [](FakePort& p) { p.then = FakePort::Then::Fail; }, kReadFailed, 0},
        {"garbage", [](FakePort& p) { p.input = "\x7f garbage\x01"; }, kBadModel, 0},
        {"short garbage, then silence",
         [&](FakePort& p) { p.input = model + Records(2) + "CLN 00"; }, kNoResponse, 2},
        {"hang-up after 3 records",
         [&](FakePort& p) {
             p.input = model + Records(3);
             p.then = FakePort::Then::Fail;
         },
         kReadFailed, 3},
        {"flood without a line end",
         [&](FakePort& p) {
             p.input = model;
             p.then = FakePort::Then::Flood;
         },
         kNoResponse, 0},
        {"control bytes dripping",
         [&](FakePort& p) {
             p.input = model + Records(1);
             p.then = FakePort::Then::Drip;
         },
         kNoResponse, 1},
        {"CR LF drip between records",
         [&](FakePort& p) {
             p.input = model + Records(2, "\r\n");
             p.then = FakePort::Then::Drip;
             p.dripMs = kLineMs / 4;
         },
         kNoResponse, 2},
        {"empty lines, then something else than the query",
         [](FakePort& p) { p.input = "\n\n\x01MDX\r"; }, kBadModel, 0},
        {"empty lines, then silence", [](FakePort& p) { p.input = "\n\n"; }, kNoResponse, 0},
        {"bad checksum",
         [&](FakePort& p) {
             std::string bad = Record(1);
             bad.back() = bad.back() == '0' ? '1' : '0';
             p.input = model + Records(1) + bad + "\r";
         },
         kInvalid, 1},
        {"more than 512 records", [&](FakePort& p) { p.input = model + Records(513) + "END\r"; },
         kTooMuch, kBlockCount},
        {"OK cannot be written",
         [&](FakePort& p) {
             p.input = model + Records(5) + "END\r";
             p.failWrite = 3; // the model reply, then OK, OK, and this one
         },
         kWriteFailed, 2},
        {"model reply cannot be written",
         [&](FakePort& p) {
             p.input = model + Records(5) + "END\r";
             p.failWrite = 0;
             p.shortWrite = 4;
         },
         kWriteFailed, 0},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        wire = std::make_shared<FakeWire>();
        report = RecordingReport{};
        c.script(Attach());
        const auto start = Clock::now();
        ExpectFailedCleanly(link.Download(), c.status);
        EXPECT_LT(Clock::now() - start, 4 * std::chrono::milliseconds(kLineMs) + 200ms)
            << "one deadline per record, whatever arrives";
        ExpectImageUntouched();
        std::string oks;
        for (int i = 0; i < c.okSent; ++i) {
            oks += "OK\r";
        }
        if (wire->written.rfind("BC245XLT0\r", 0) == 0) {
            EXPECT_EQ(wire->written.substr(10), oks);
        }
    }
}

TEST_F(LinkCoreTest, ACompleteDownloadReplacesOnlyWhatCame) {
    FakePort& port = Attach();
    port.input = "MDL\r" + Records(3, "\r\n") + "END\r\n";
    ASSERT_EQ(link.Download(), 1);
    EXPECT_EQ(link.m_imageLength, 3 * kBlockSize);
    for (int i = 0; i < 3 * kBlockSize; ++i) {
        EXPECT_EQ(link.m_image[i], i);
    }
    EXPECT_EQ(link.m_image[3 * kBlockSize], kOldByte) << "bytes past the new length stay";
    EXPECT_EQ(wire->written, "BC245XLT0\rOK\rOK\rOK\r");
    EXPECT_EQ(report.statuses.back(), "Download complete.");
    EXPECT_EQ(report.completed, 1);
    EXPECT_EQ(report.steps, 3);
    EXPECT_TRUE(wire->closed);
}

TEST_F(LinkCoreTest, WhatALastCrLfLeftBeforeTheQueryIsSkipped) {
    FakePort& port = Attach();
    port.input = "\n\nMDL\r" + Records(2) + "END\r";
    ASSERT_EQ(link.Download(), 1);
    EXPECT_EQ(link.m_imageLength, 2 * kBlockSize);
    EXPECT_EQ(wire->written, "BC245XLT0\rOK\rOK\r");
}

TEST_F(LinkCoreTest, TheFirstLineMayTakeLongerThanTheOthers) {
    constexpr int kLate = 300;
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "waits swapped" : "as set");
        wire = std::make_shared<FakeWire>();
        report = RecordingReport{};
        LinkTimeouts() =
            swapped ? CloneTimeouts{kLate / 3, 3 * kLate} : CloneTimeouts{3 * kLate, kLate / 3};
        FakePort& port = Attach();
        port.firstByteAfterMs = kLate;
        port.input = "MDL\r" + Records(2) + "END\r";
        const int result = link.Download();
        if (swapped) {
            EXPECT_EQ(result, 0) << "the first wait is the first line's";
            EXPECT_EQ(report.statuses.back(), kNoResponse);
        } else {
            EXPECT_EQ(result, 1);
        }
    }
}

TEST_F(LinkCoreTest, TheUserCanCancelAWaitThatNeverEnds) {
    LinkTimeouts() = {60000, 60000};
    for (const auto then : {FakePort::Then::Silence, FakePort::Then::Flood}) {
        wire = std::make_shared<FakeWire>();
        report = RecordingReport{};
        report.cancelAfter = 10;
        FakePort& port = Attach();
        port.input = "MDL\r";
        port.then = then;
        ExpectFailedCleanly(link.Download(), kCancelled);
        ExpectImageUntouched();
        for (std::size_t i = 1; i < report.waits.size(); ++i) {
            EXPECT_LE(report.waits[i] - report.waits[i - 1], 50ms)
                << "asked at least every 50 ms, also while bytes pour in";
            EXPECT_GE(report.waits[i] - report.waits[i - 1], 14ms) << "and no more than needed";
        }
    }
}

// A receiver in CLONE mode: answers the model query, then each record with
// the reply the test gives, ending every line as told.
std::function<std::string(const std::string&)> Receiver(std::function<std::string(int)> reply,
                                                        const std::string& end = "\r") {
    auto records = std::make_shared<int>(0);
    return [=](const std::string& text) -> std::string {
        if (text == "MDL\r") {
            return "BC245XLT0" + end;
        }
        if (text.rfind("CLN ", 0) == 0) {
            return reply((*records)++) + end;
        }
        return "";
    };
}

std::string SentRecords(const CScannerLink& link, int count) {
    std::string out;
    for (int n = 0; n < count; ++n) {
        out += FormatRecordLine(n * kBlockSize, link.m_image + n * kBlockSize) + "\r";
    }
    return out;
}

TEST_F(LinkCoreTest, AnUploadNeverReportsSuccessForARejectedRecord) {
    constexpr int kRecords = 32;
    link.m_imageLength = kRecords * kBlockSize;
    for (const char* end : {"\r", "\r\n", "\n\r"}) {
        for (const int ngAt : {0, kRecords / 2, kRecords - 1}) {
            SCOPED_TRACE(std::string("NG at ") + std::to_string(ngAt) + ", ending " +
                         (end[1] == 0      ? "CR"
                          : end[0] == '\r' ? "CR LF"
                                           : "LF CR"));
            wire = std::make_shared<FakeWire>();
            report = RecordingReport{};
            FakePort& port = Attach();
            port.respond = Receiver([=](int n) { return n == ngAt ? "NG" : "OK"; }, end);
            ExpectFailedCleanly(link.Upload(), kRejected);
            EXPECT_EQ(report.steps, ngAt);
            EXPECT_EQ(wire->written, "MDL\r" + SentRecords(link, ngAt + 1) + "END\r")
                << "the NG answers the record it follows";
        }
    }
}

TEST_F(LinkCoreTest, LineNoiseAcceptsNoRecord) {
    link.m_imageLength = 32 * kBlockSize;
    FakePort& port = Attach();
    port.input = "BC245XLT0\r" + std::string(40, '\0');
    ExpectFailedCleanly(link.Upload(), kNoResponse);
    EXPECT_EQ(report.steps, 0);
}

TEST_F(LinkCoreTest, EveryFailedWriteEndsTheUpload) {
    link.m_imageLength = 4 * kBlockSize;
    for (const int failing : {0, 2, 5}) { // the query, a record, the end line
        SCOPED_TRACE("write " + std::to_string(failing));
        wire = std::make_shared<FakeWire>();
        report = RecordingReport{};
        FakePort& port = Attach();
        port.failWrite = failing;
        port.shortWrite = 4;
        port.respond = Receiver([](int) { return "OK"; });
        ExpectFailedCleanly(link.Upload(), kWriteFailed);
        for (const CString& status : report.statuses) {
            EXPECT_NE(status, "Upload complete.");
        }
    }
}

TEST_F(LinkCoreTest, UploadFaultsEndCleanly) {
    link.m_imageLength = 3 * kBlockSize;
    const std::vector<DownloadCase> cases = {
        {"silent", [](FakePort&) {}, kNoResponse, 0},
        {"wrong model", [](FakePort& p) { p.input = "BC246T\r"; }, kBadModel, 0},
        {"hang-up at the second reply",
         [](FakePort& p) {
             p.respond = [count = 0](const std::string&) mutable -> std::string {
                 ++count;
                 return count == 1 ? "BC245XLT0\r" : count == 2 ? "OK\r" : "";
             };
             p.then = FakePort::Then::Fail;
         },
         kReadFailed, 0},
        {"drip instead of a reply",
         [](FakePort& p) {
             p.input = "BC245XLT0\r";
             p.then = FakePort::Then::Drip;
         },
         kNoResponse, 0},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        wire = std::make_shared<FakeWire>();
        report = RecordingReport{};
        c.script(Attach());
        ExpectFailedCleanly(link.Upload(), c.status);
        EXPECT_EQ(wire->written.find("END\r"), std::string::npos) << "no end line after a fault";
    }
}

TEST_F(LinkCoreTest, AStatusIsPaintedAfterTheWriteItAnnounces) {
    link.m_imageLength = kBlockSize;
    FakePort& port = Attach();
    std::vector<bool> announcedUnpainted; // at each write
    port.respond = [&, inner = Receiver([](int) { return "OK"; })](const std::string& text) {
        announcedUnpainted.push_back(report.statusesWhenShown < report.statuses.size());
        return inner(text);
    };
    ASSERT_EQ(link.Upload(), 1);
    // Each status that announces a write was set before it and painted after it.
    EXPECT_EQ(announcedUnpainted, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(report.statusesWhenShown, report.statuses.size()) << "all painted at the end";
}

} // namespace
