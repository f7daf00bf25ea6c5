// Replays the fuzzer's seed corpus through the same checks the fuzzer makes.
#include "fixtures.h"
#include "load_backup_target.h"

#include <fstream>

TEST_F(DialogTest, LoaderSeedCorpusKeepsItsRules) {
    TempDir scratch;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(BCU_CORPUS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(LoadBackupOnce(*dlg, (scratch.path() / "f.mrv").string(),
                                 reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  "")
            << entry.path();
        ++files;
    }
    EXPECT_GE(files, 5);
}
