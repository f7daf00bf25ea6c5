#include "core/listing.h"
#include "fixtures.h"

#include <cstring>

TEST(ListingRow, OffsetTabAndSixteenBytesEachFollowedByASpace) {
    unsigned char data[16];
    for (int i = 0; i < 16; ++i) {
        data[i] = static_cast<unsigned char>(i);
    }
    const CString row = FormatListingRow(32, data);
    EXPECT_EQ(row, "0020\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
    EXPECT_EQ(row.size(), 53u);

    unsigned char high[16];
    std::memset(high, 0xFF, sizeof high);
    high[1] = 0x0A;
    high[2] = 0x80;
    EXPECT_EQ(FormatListingRow(0x1FF0, high),
              "1FF0\tFF 0A 80 FF FF FF FF FF FF FF FF FF FF FF FF FF ");
}

using ListingTest = DialogTest;

TEST_F(ListingTest, RowsFollowTheValidLength) {
    for (int i = 0; i < CBackupDlg::kImageSize; ++i) {
        dlg->m_image[i] = static_cast<unsigned char>(i);
    }
    struct Case {
        std::int32_t length;
        std::size_t rows;
    };
    for (const Case c : {Case{16, 1}, Case{20, 2}, Case{8192, 512}, Case{0, 0}, Case{-5, 0},
                         Case{-2147483647 - 1, 0}, Case{17, 2}}) {
        SCOPED_TRACE(c.length);
        dlg->m_imageLength = c.length;
        dlg->RefreshListing();
        const auto rows = ListingRows();
        ASSERT_EQ(rows.size(), c.rows);
        if (!rows.empty()) {
            EXPECT_EQ(rows.front().substr(0, 5), "0000\t");
        }
    }
    // A length of 20 shows the whole second block, past the valid count.
    dlg->m_imageLength = 20;
    dlg->RefreshListing();
    EXPECT_EQ(ListingRows()[1], "0010\t10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ");

    dlg->m_imageLength = 8192;
    dlg->RefreshListing();
    dlg->RefreshListing();
    const auto rows = ListingRows();
    ASSERT_EQ(rows.size(), 512u) << "a second refresh replaces the rows";
    EXPECT_EQ(rows.back().substr(0, 5), "1FF0\t");
}
