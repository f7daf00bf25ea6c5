// Replays the transfer fuzzer's seed corpus through the same checks the
// fuzzer makes.
#include "built_path.h"
#include "link_stream_target.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

TEST(StreamCorpus, EverySeedKeepsTheTransferRules) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             BuiltPath("BCU_STREAM_CORPUS_DIR", BCU_STREAM_CORPUS_DIR))) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(
            TransferStreamOnce(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
            "")
            << entry.path();
        ++files;
    }
    EXPECT_GE(files, 10);
}
