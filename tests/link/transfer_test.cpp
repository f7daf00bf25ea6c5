#include "fixtures.h"
#include "link/record.h"

#include <algorithm>
#include <cstring>

namespace {

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string Records(const std::vector<std::uint8_t>& image, int count) {
    std::string out;
    for (int n = 0; n < count; ++n) {
        out += FormatRecordLine(kBlockSize * n, image.data() + kBlockSize * n) + "\r";
    }
    return out;
}

} // namespace

class TransferTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        descriptorsBefore = CountOpenDescriptors();
    }

    // Every transfer, however it ended, leaves the port closed and free.
    void ExpectPortReleased() {
        EXPECT_EQ(dlg->m_hPort, nullptr);
        HANDLE again = OpenSerialPort("COM1");
        EXPECT_NE(again, INVALID_HANDLE_VALUE) << "another open of the device succeeds";
        CloseHandle(again);
        EXPECT_LE(CountOpenDescriptors(), descriptorsBefore + 1) << "no descriptor left open";
    }

    int Download() {
        EXPECT_EQ(dlg->OpenPort(), 1);
        return dlg->Download();
    }
    int Upload() {
        EXPECT_EQ(dlg->OpenPort(), 1);
        return dlg->Upload();
    }

    void FillImage(unsigned char value, std::int32_t length) {
        std::memset(dlg->m_image, value, sizeof dlg->m_image);
        dlg->m_imageLength = length;
    }

    int descriptorsBefore = 0;
};

TEST_F(TransferTest, FullDownloadFillsTheImageAndReportsEachBlock) {
    const auto image = Pattern(kBlockCount, 7);
    auto peer = First(image);
    ASSERT_EQ(Download(), 1);
    ASSERT_TRUE(peer.get()) << receiver->Problem();

    EXPECT_EQ(receiver->Wire(), "BC245XLT0\r" + Repeat("OK\r", kBlockCount));
    EXPECT_EQ(dlg->m_imageLength, kImageSize);
    EXPECT_EQ(0, std::memcmp(dlg->m_image, image.data(), kImageSize));
    EXPECT_EQ(Status(), "Download complete.");
    EXPECT_TRUE(Enabled(IDC_SAVE));
    EXPECT_FALSE(Enabled(IDC_SEND)) << "a download does not enable Send Data";
    EXPECT_EQ(ListingRows().size(), static_cast<std::size_t>(kBlockCount));
    EXPECT_EQ(ProgressPos(), kBlockCount);

    // What the status line painted, in order, as each step was reached.
    const auto& texts = statusPaints->texts;
    ASSERT_GE(texts.size(), 516u);
    EXPECT_EQ(texts[0], "Awaiting MDL query...");
    EXPECT_EQ(texts[1], "Writing model information...");
    EXPECT_EQ(texts[2], "Awaiting data for block 0000...");
    EXPECT_EQ(texts[2 + 26], "Awaiting data for block 01a0...");
    EXPECT_EQ(texts[2 + kBlockCount], "Awaiting data for block 2000...");
    EXPECT_EQ(texts.back(), "Download complete.");
    // The progress bar painted every step, one by one.
    ASSERT_EQ(progressPaints->values.size(), static_cast<std::size_t>(kBlockCount));
    EXPECT_EQ(progressPaints->values.front(), 1);
    EXPECT_EQ(progressPaints->values.back(), kBlockCount);
    // Each change painted exactly once: as many paints as steps and texts.
    EXPECT_EQ(progressPaints->paints, static_cast<std::size_t>(kBlockCount));
    EXPECT_EQ(statusPaints->paints, texts.size());
    ExpectPortReleased();
}

TEST_F(TransferTest, EndRightAfterTheModelReplyGivesAnEmptyImage) {
    FillImage(0x55, 64);
    dlg->RefreshListing();
    auto peer = First({});
    ASSERT_EQ(Download(), 1);
    ASSERT_TRUE(peer.get());
    EXPECT_EQ(receiver->Wire(), "BC245XLT0\r");
    EXPECT_EQ(dlg->m_imageLength, 0);
    EXPECT_TRUE(ListingRows().empty());
    EXPECT_TRUE(Enabled(IDC_SAVE));
    EXPECT_EQ(Status(), "Download complete.");
    EXPECT_EQ(ProgressPos(), 0);
    ExpectPortReleased();
}

TEST_F(TransferTest, CrLfLineEndsAndLowerCaseHexStillDownload) {
    const auto image = Pattern(30, 3);
    ReceiverFaults faults;
    faults.crlf = true;
    faults.lowerCaseHex = true;
    auto peer = First(image, faults);
    ASSERT_EQ(Download(), 1);
    ASSERT_TRUE(peer.get()) << receiver->Problem();
    EXPECT_EQ(receiver->Wire(), "BC245XLT0\r" + Repeat("OK\r", 30)) << "empty lines go unanswered";
    EXPECT_EQ(dlg->m_imageLength, 480);
    EXPECT_EQ(0, std::memcmp(dlg->m_image, image.data(), image.size()));
}

TEST_F(TransferTest, AWrongFirstLineFailsWithNothingSent) {
    VirtualReceiver& peer = AttachReceiver();
    for (const char* first : {"mdl\r", "MDL \r", "XMDL\r"}) {
        SCOPED_TRACE(first);
        FillImage(0x33, 48);
        statusPaints->texts.clear();
        ASSERT_EQ(dlg->OpenPort(), 1);
        peer.SendRaw(first);
        EXPECT_EQ(dlg->Download(), 0);
        EXPECT_EQ(Status(), "ERROR: Incorrect response to MDL query");
        EXPECT_EQ(peer.ReadAvailable(50), "");
        EXPECT_EQ(dlg->m_imageLength, 48);
        EXPECT_EQ(dlg->m_image[0], 0x33);
        ExpectPortReleased();
    }
}

// Every way a download can go wrong after the model query ends the same way:
// its own status text, the port closed, result 0, and the earlier image back.
TEST_F(TransferTest, FaultsAfterTheModelQueryFailAndGiveTheImageBack) {
    struct Case {
        const char* name;
        ReceiverFaults faults;
        int records;
        const char* status;
        int oksExpected; // records answered before the failure
    };
    std::vector<Case> cases;
    const auto add = [&](const char* name, int records, const char* status, int oks, auto set) {
        ReceiverFaults faults;
        set(faults);
        cases.push_back({name, faults, records, status, oks});
    };
    add("silent after the model reply", 10, "ERROR: No response from scanner", 0,
        [](ReceiverFaults& f) { f.silentAt = 0; });
    add("silent mid-transfer", 10, "ERROR: No response from scanner", 4,
        [](ReceiverFaults& f) { f.silentAt = 4; });
    add("silent before END", 3, "ERROR: No response from scanner", 3,
        [](ReceiverFaults& f) { f.silentAt = 3; });
    add("bad checksum", 10, "ERROR: Invalid data from scanner", 5,
        [](ReceiverFaults& f) { f.badChecksumAt = 5; });
    add("short line", 10, "ERROR: Invalid data from scanner", 2,
        [](ReceiverFaults& f) { f.shortLineAt = 2; });
    add("overlong line", 10, "ERROR: Invalid data from scanner", 7,
        [](ReceiverFaults& f) { f.longLineAt = 7; });
    add("hang-up", 10, "ERROR: Serial port read failed", 6,
        [](ReceiverFaults& f) { f.hangUpAt = 6; });
    add("513 records", 512, "ERROR: Too much data from scanner", 512,
        [](ReceiverFaults& f) { f.extraRecords = 1; });

    LinkTimeouts().lineMs = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillImage(0x77, 32);
        dlg->RefreshListing();
        auto peer = First(Pattern(c.records), c.faults);
        EXPECT_EQ(Download(), 0);
        peer.wait();
        EXPECT_EQ(Status(), c.status);
        EXPECT_EQ(receiver->Wire(), "BC245XLT0\r" + Repeat("OK\r", c.oksExpected));
        EXPECT_EQ(dlg->m_imageLength, 32);
        EXPECT_TRUE(std::all_of(dlg->m_image, dlg->m_image + CBackupDlg::kImageSize,
                                [](unsigned char b) { return b == 0x77; }));
        EXPECT_EQ(ListingRows().size(), 2u) << "the listing is not touched";
        EXPECT_FALSE(Enabled(IDC_SAVE));
        if (std::string(c.name) == "hang-up") {
            EXPECT_EQ(dlg->m_hPort, nullptr);
            receiver.reset();
        } else {
            ExpectPortReleased();
        }
    }
}

TEST_F(TransferTest, EndInAnotherCaseOrWithExtrasIsNotTheEndLine) {
    VirtualReceiver& peer = AttachReceiver();
    for (const char* end : {"end\r", "END \r", " END\r"}) {
        SCOPED_TRACE(end);
        ASSERT_EQ(dlg->OpenPort(), 1);
        peer.SendRaw(std::string("MDL\r") + end);
        EXPECT_EQ(dlg->Download(), 0);
        EXPECT_EQ(Status(), "ERROR: Invalid data from scanner");
        EXPECT_EQ(peer.ReadAvailable(50), "BC245XLT0\r");
    }
}

TEST_F(TransferTest, SilenceAtTheStartTimesOut) {
    LinkTimeouts().firstLineMs = 200;
    ReceiverFaults faults;
    faults.silentAtStart = true;
    auto peer = First({}, faults);
    EXPECT_EQ(Download(), 0);
    peer.wait();
    EXPECT_EQ(Status(), "ERROR: No response from scanner");
    EXPECT_EQ(receiver->Wire(), "");
    ExpectPortReleased();
}

TEST_F(TransferTest, NoOpenPortMeansNoTransfer) {
    dlg->m_hPort = nullptr;
    EXPECT_EQ(dlg->Download(), 0);
    EXPECT_EQ(dlg->Upload(), 0);
    EXPECT_EQ(Status(), "");
}

TEST_F(TransferTest, FullUploadSendsEveryRecordAndEnds) {
    const auto image = Pattern(kBlockCount, 11);
    std::memcpy(dlg->m_image, image.data(), image.size());
    dlg->m_imageLength = kImageSize;
    auto peer = Clone();
    ASSERT_EQ(Upload(), 1);
    ASSERT_TRUE(peer.get()) << receiver->Problem();
    EXPECT_EQ(receiver->Wire(), "MDL\r" + Records(image, kBlockCount) + "END\r");
    EXPECT_EQ(receiver->Received(), image);
    EXPECT_EQ(Status(), "Upload complete.");
    const auto& texts = statusPaints->texts;
    ASSERT_GE(texts.size(), 514u);
    EXPECT_EQ(texts[0], "Sending MDL query...");
    EXPECT_EQ(texts[1], "Writing data for block 0000...");
    EXPECT_EQ(texts[1 + 26], "Writing data for block 01a0...");
    EXPECT_EQ(texts.back(), "Upload complete.");
    EXPECT_EQ(ProgressPos(), kBlockCount);
    EXPECT_EQ(progressPaints->paints, static_cast<std::size_t>(kBlockCount));
    EXPECT_EQ(statusPaints->paints, texts.size()) << "each status painted once";
    ExpectPortReleased();
}

TEST_F(TransferTest, UploadLengthsThatAreNotWholeBlocks) {
    FillImage(0, 0);
    for (int i = 0; i < 32; ++i) {
        dlg->m_image[i] = static_cast<unsigned char>(i);
    }
    auto empty = Clone();
    ASSERT_EQ(Upload(), 1);
    ASSERT_TRUE(empty.get());
    EXPECT_EQ(receiver->Wire(), "MDL\rEND\r");
    EXPECT_EQ(Status(), "Upload complete.");
    EXPECT_EQ(ProgressPos(), 0);

    dlg->m_imageLength = 20;
    auto twenty = Clone();
    ASSERT_EQ(Upload(), 1);
    ASSERT_TRUE(twenty.get());
    EXPECT_EQ(receiver->Wire(), "MDL\r" + FormatRecordLine(0, dlg->m_image) + "\r" +
                                    FormatRecordLine(kBlockSize, dlg->m_image + kBlockSize) +
                                    "\rEND\r");
    EXPECT_EQ(ProgressPos(), 2);
}

TEST_F(TransferTest, UploadRejectedWithNgEndsTheExchange) {
    const auto image = Pattern(4);
    std::memcpy(dlg->m_image, image.data(), image.size());
    dlg->m_imageLength = 64;
    ReceiverFaults faults;
    faults.ngAt = 2;
    auto peer = Clone(faults);
    EXPECT_EQ(Upload(), 0);
    EXPECT_TRUE(peer.get());
    EXPECT_EQ(receiver->Wire(), "MDL\r" + Records(image, 3) + "END\r");
    EXPECT_EQ(ProgressPos(), 2);
    EXPECT_EQ(Status(), "ERROR: Data rejected by scanner");
    ASSERT_GE(statusPaints->texts.size(), 2u);
    EXPECT_EQ(statusPaints->texts[statusPaints->texts.size() - 2],
              "Writing data for block 0020...");
    ExpectPortReleased();
}

TEST_F(TransferTest, UploadRepliesOtherThanNgAcceptTheRecord) {
    VirtualReceiver& peer = AttachReceiver();
    FillImage(0xA5, kBlockSize * 5);
    ASSERT_EQ(dlg->OpenPort(), 1);
    // The replies are queued before they are asked for; each is read in turn,
    // and the empty lines between them answer nothing.
    peer.SendRaw(std::string("BC245XLT0\rOK\r\r\nng\rNG \rwhatever\r\n\0ok\r", 36));
    EXPECT_EQ(dlg->Upload(), 1);
    EXPECT_EQ(Status(), "Upload complete.");
    EXPECT_EQ(ProgressPos(), 5);
}

TEST_F(TransferTest, UploadFailuresCloseThePort) {
    struct Case {
        const char* name;
        ReceiverFaults faults;
        const char* status;
    };
    ReceiverFaults wrongModel;
    wrongModel.modelReply = "BC246T";
    ReceiverFaults silent;
    silent.silentAt = 1;
    ReceiverFaults mute;
    mute.silentAtStart = true;
    LinkTimeouts().lineMs = 300;
    for (const Case& c : {Case{"wrong model", wrongModel, "ERROR: Incorrect response to MDL query"},
                          Case{"silent at record 1", silent, "ERROR: No response from scanner"},
                          Case{"no model reply", mute, "ERROR: No response from scanner"}}) {
        SCOPED_TRACE(c.name);
        FillImage(1, 48);
        auto peer = Clone(c.faults);
        EXPECT_EQ(Upload(), 0);
        peer.wait();
        EXPECT_EQ(Status(), c.status);
        EXPECT_EQ(receiver->Wire().find("END"), std::string::npos);
        ExpectPortReleased();
    }
    ReceiverFaults hangUp;
    hangUp.hangUpAt = 0;
    FillImage(1, 48);
    auto peer = Clone(hangUp);
    EXPECT_EQ(Upload(), 0);
    peer.wait();
    EXPECT_EQ(Status(), "ERROR: Serial port read failed");
    EXPECT_EQ(dlg->m_hPort, nullptr);
}
