#include "link/record.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(RecordLine, KnownVectors) {
    unsigned char data[16];
    for (int i = 0; i < 16; ++i) {
        data[i] = static_cast<unsigned char>(i);
    }
    EXPECT_EQ(FormatRecordLine(0x10, data), "CLN 0010 000102030405060708090A0B0C0D0E0F~0880");

    std::memset(data, 0, sizeof data);
    EXPECT_EQ(FormatRecordLine(0, data), "CLN 0000 00000000000000000000000000000000~07DD");

    std::memset(data, 0xFF, sizeof data);
    const CString ff = FormatRecordLine(0, data);
    EXPECT_EQ(ff.substr(41), "~0A9D");
    EXPECT_EQ(ff.size(), kRecordLineLength);
    EXPECT_EQ(FormatRecordLine(0x1A0, data).substr(0, 9), "CLN 01A0 ");
}

TEST(RecordLine, ValidationAcceptsOnlyWellFormedLines) {
    const std::string good = "CLN 0010 000102030405060708090A0B0C0D0E0F~0880";
    EXPECT_TRUE(IsValidRecordLine(good));
    // Lower-case data digits are hex too; the checksum covers their codes.
    unsigned char data[16];
    std::memset(data, 0xAB, sizeof data);
    std::string lower = FormatRecordLine(0, data);
    for (std::size_t i = 9; i <= 40; ++i) {
        lower[i] = static_cast<char>(std::tolower(lower[i]));
    }
    char sum[8];
    std::snprintf(sum, sizeof sum, "%04X", RecordChecksum(lower));
    lower.replace(42, 4, sum);
    EXPECT_TRUE(IsValidRecordLine(lower));
    // The address field is not judged.
    std::string address = good;
    address.replace(4, 4, "ZZZZ");
    address.replace(42, 4, [&] {
        std::snprintf(sum, sizeof sum, "%04X", RecordChecksum(address));
        return std::string(sum);
    }());
    EXPECT_TRUE(IsValidRecordLine(address));

    const auto with = [&](std::size_t at, char c) {
        std::string line = good;
        line[at] = c;
        return line;
    };
    EXPECT_FALSE(IsValidRecordLine(""));
    EXPECT_FALSE(IsValidRecordLine("END"));
    EXPECT_FALSE(IsValidRecordLine(good.substr(0, 45)));
    EXPECT_FALSE(IsValidRecordLine(good + "0"));
    EXPECT_FALSE(IsValidRecordLine(with(0, 'c')));
    EXPECT_FALSE(IsValidRecordLine(with(3, '_')));
    EXPECT_FALSE(IsValidRecordLine(with(8, '0')));
    EXPECT_FALSE(IsValidRecordLine(with(9, 'G')));
    EXPECT_FALSE(IsValidRecordLine(with(40, ' ')));
    EXPECT_FALSE(IsValidRecordLine(with(41, '-')));
    EXPECT_FALSE(IsValidRecordLine(with(45, '1')));
    EXPECT_FALSE(IsValidRecordLine(with(43, 'x')));
}
