// Backup files on Windows: the safe save and what makes it fail, names beyond
// ASCII, and the same bytes as on Linux.
#include "backup/format.h"
#include "platform/console.h"
#include "system_helpers.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = helpers::NewFolder();
        for (int i = 0; i < kImageSize; ++i) {
            image[i] = static_cast<unsigned char>(i * 7);
        }
    }
    void TearDown() override { helpers::RemoveTree(folder); }

    std::string At(const std::string& name) const { return folder + "\\" + name; }

    // The whole content of a file, or "" when it cannot be read.
    static std::string Content(const std::string& path) {
        std::string bytes;
        if (std::FILE* in = OpenFile(path, "rb")) {
            char buffer[4096];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
                bytes.append(buffer, got);
            }
            std::fclose(in);
        }
        return bytes;
    }

    bool Save(const std::string& path, const char* description, CString& error) {
        return WriteBackupFile(path, description, kImageSize, image, &error) != 0;
    }

    std::string folder;
    unsigned char image[kImageSize];
};

TEST_F(WindowsFiles, ASavedFileIsTheLinuxBytesAndLoadsAgain) {
    CString error;
    const std::string path = At("Prüfung – 東京.mrv");
    ASSERT_TRUE(Save(path, "Weekend\r\nscanning", error)) << error;
    std::string expected = std::string(kBackupHeader) + "\nWeekend  scanning\n";
    expected += std::string("\x00\x20\x00\x00", 4);
    expected.append(reinterpret_cast<const char*>(image), kImageSize);
    EXPECT_EQ(Content(path), expected) << "single line feeds, the length little-endian";

    CString description;
    std::int32_t length = 0;
    unsigned char loaded[kImageSize] = {};
    ASSERT_EQ(ReadBackupFile(path, description, length, loaded, &error), 1) << error;
    EXPECT_EQ(description, "Weekend  scanning");
    EXPECT_EQ(length, kImageSize);
    EXPECT_EQ(std::memcmp(loaded, image, kImageSize), 0);
}

TEST_F(WindowsFiles, AFailedSaveKeepsTheEarlierFileAndLeavesNothing) {
    CString error;
    const std::string path = At("kept.mrv");
    ASSERT_TRUE(Save(path, "first", error)) << error;
    const std::string first = Content(path);

    // Read-only: refused by our own rule, whatever the system would allow.
    helpers::SetReadOnly(path, true);
    image[0] ^= 0xFF;
    EXPECT_FALSE(Save(path, "second", error));
    EXPECT_NE(error.find("could not be accessed"), CString::npos) << error;
    helpers::SetReadOnly(path, false);
    EXPECT_EQ(Content(path), first);

    // Held open by another program with no sharing.
    void* held = helpers::HoldOpen(path);
    EXPECT_FALSE(Save(path, "third", error));
    helpers::Release(held);
    EXPECT_EQ(Content(path), first);

    // A folder that is not there, and a folder where the file should be.
    EXPECT_FALSE(Save(At("missing\\file.mrv"), "x", error));
    EXPECT_NE(error.find("was not found"), CString::npos) << error;
    EXPECT_FALSE(Save(folder, "x", error));

    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(helpers::Names(folder), std::vector<std::string>{"kept.mrv"});
    EXPECT_TRUE(Save(path, "fourth", error)) << "and the file can be saved again: " << error;
}

TEST_F(WindowsFiles, ALaterSaveRemovesWhatAKilledSaveLeftBehind) {
    const std::string leftover = At(".old.mrv.saving-abc123");
    const std::string recent = At(".old.mrv.saving-xyz789");
    for (const std::string& name : {leftover, recent}) {
        std::FILE* out = OpenFile(name, "wb");
        ASSERT_NE(out, nullptr);
        std::fclose(out);
    }
    helpers::Age(leftover, 120);
    CString error;
    ASSERT_TRUE(Save(At("old.mrv"), "new", error)) << error;
    EXPECT_EQ(KindOfPath(leftover), PathKind::Missing) << "older than a minute";
    EXPECT_EQ(KindOfPath(recent), PathKind::File) << "another save may still be writing it";
}

TEST_F(WindowsFiles, OnlyFilesOnDiskAreRead) {
    CString description = "before";
    std::int32_t length = 7;
    unsigned char loaded[kImageSize] = {};
    CString error;
    for (const std::string& path :
         {std::string("NUL"), std::string("CON"), folder, At("none.mrv")}) {
        EXPECT_EQ(ReadBackupFile(path, description, length, loaded, &error), 0) << path;
        EXPECT_EQ(description, "before");
        EXPECT_EQ(length, 7);
    }
}

TEST(WindowsPaths, FoldersOfWindowsPaths) {
    EXPECT_EQ(FolderOfPath("C:\\Users\\me\\scan.mrv"), "C:\\Users\\me");
    EXPECT_EQ(FolderOfPath("C:/Users/me/scan.mrv"), "C:/Users/me");
    EXPECT_EQ(FolderOfPath("C:\\scan.mrv"), "C:\\");
    EXPECT_EQ(FolderOfPath("C:scan.mrv"), "C:");
    EXPECT_EQ(FolderOfPath("scan.mrv"), ".");
    EXPECT_EQ(FolderOfPath("\\scan.mrv"), "\\");
}

} // namespace
