// The backup file format with no window, against files that misbehave: a
// load never hangs, never takes unbounded memory and changes nothing when it
// fails; a save never goes through another user's link and leaves nothing
// behind.
#include "backup/format.h"
#include "platform/archive.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr uid_t kNobody = 65534;
constexpr unsigned char kOldByte = 0x5A;

class FormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bc245xlt-format-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        std::memset(image, kOldByte, sizeof image);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // A load that must fail without giving anything back, and in bounded time.
    void ExpectRefused(const fs::path& path) {
        CString description = "before";
        std::int32_t length = 7;
        const auto start = std::chrono::steady_clock::now();
        int result = -1;
        try {
            result = ReadBackupFile(path.string(), description, length, image);
        } catch (const CException&) {
            result = 0;
        }
        EXPECT_EQ(result, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_EQ(description, "before");
        EXPECT_EQ(length, 7);
        EXPECT_EQ(image[0], kOldByte);
    }

    static std::string Backup(const std::string& description, int length) {
        std::string bytes = std::string(kBackupHeader) + "\n" + description + "\n";
        bytes.push_back(static_cast<char>(length & 0xFF));
        bytes.push_back(static_cast<char>((length >> 8) & 0xFF));
        bytes.append(2, '\0');
        bytes.append(static_cast<std::size_t>(length), '\x11');
        return bytes;
    }

    void Write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    fs::path dir;
    unsigned char image[kImageSize];
};

TEST_F(FormatTest, FilesThatAreNotPlainFilesAreRefusedAtOnce) {
    const fs::path fifo = dir / "fifo.mrv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefused(fifo); // nobody writes to it: opening it normally would wait for ever
    ExpectRefused("/dev/zero");
    ExpectRefused("/dev/null");
    ExpectRefused(dir);
}

TEST_F(FormatTest, HugeFilesAreRefusedInBoundedMemoryAndTime) {
    constexpr off_t kTwoGiB = off_t{2} << 30;
    // Without a line end the header can no longer match after 17 bytes.
    const fs::path noLineEnd = dir / "no-line-end.mrv";
    Write(noLineEnd, "BC245XLT MRVv1.0 and on");
    ASSERT_EQ(::truncate(noLineEnd.c_str(), kTwoGiB), 0);
    // A description that never ends, and one over the limit.
    const fs::path endless = dir / "endless.mrv";
    Write(endless, std::string(kBackupHeader) + "\nxyz");
    ASSERT_EQ(::truncate(endless.c_str(), kTwoGiB), 0);
    const fs::path tooLong = dir / "too-long.mrv";
    Write(tooLong, Backup(std::string(kMaxDescriptionLength + 1, 'd'), 16));

    // The whole test runs with far less memory than the files hold.
    const pid_t child = ::fork();
    if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__)
        // (AddressSanitizer reserves more address space than this at start.)
        const rlimit limit{256u << 20, 256u << 20};
        ::setrlimit(RLIMIT_AS, &limit);
#endif
        for (const fs::path& path : {noLineEnd, endless, tooLong}) {
            CString description;
            std::int32_t length = 0;
            unsigned char bytes[kImageSize];
            if (ReadBackupFile(path.string(), description, length, bytes) != 0) {
                ::_exit(1);
            }
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST_F(FormatTest, TheLongestDescriptionThatCanBeSavedCanBeLoaded) {
    const std::string longest(kMaxDescriptionLength, 'L');
    const fs::path path = dir / "longest.mrv";
    unsigned char bytes[kImageSize] = {1, 2, 3};
    ASSERT_EQ(WriteBackupFile(path.string(), longest, 16, bytes), 1);
    CString description;
    std::int32_t length = 0;
    ASSERT_EQ(ReadBackupFile(path.string(), description, length, image), 1);
    EXPECT_EQ(description, longest);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(image[2], 3);
}

// Each line's limit counts its bytes, zero bytes included, so that no line can
// end inside what is then read as the next field.
TEST_F(FormatTest, ZeroBytesCountTowardsEachLinesLimit) {
    const std::string header = kBackupHeader;
    const std::string zero(1, '\0');
    const auto withImage = [](std::string lines) {
        lines += std::string("\x10\0\0\0", 4) + std::string(16, '\x22');
        return lines;
    };
    const std::string fits = zero + std::string(kMaxDescriptionLength - 1, 'A');
    const std::string tooLong = zero + std::string(kMaxDescriptionLength, 'A');
    // A description line that hides a length and an image of its own after
    // the limit, before its line end.
    const std::string smuggled = tooLong.substr(0, kMaxDescriptionLength + 1) +
                                 std::string("\x10\0\0\0", 4) + std::string(16, '\x66');
    struct Case {
        const char* name;
        std::string bytes;
        bool loads;
        std::string description;
    };
    const std::vector<Case> cases = {
        // Read up to its zero byte, either would pass for a header line with
        // the description after it.
        {"header, zero at its end", withImage(header + zero + "\n"), false, ""},
        {"header, zero and more text", withImage(header + zero + "abc\n"), false, ""},
        {"header, zero at its start", withImage(zero + header + "\nabc\n"), false, ""},
        {"header, zero in its middle", withImage("BC245XLT" + zero + "RVv1.0\nabc\n"), false, ""},
        {"description, zero at its start", withImage(header + "\n" + zero + "abc\n"), true, ""},
        {"description, zero in its middle", withImage(header + "\nab" + zero + "cd\n"), true, "ab"},
        {"description, zero at its end", withImage(header + "\nabc" + zero + "\n"), true, "abc"},
        {"32767 bytes, zero first", withImage(header + "\n" + fits + "\n"), true, ""},
        {"32767 bytes, no zero",
         withImage(header + "\n" + std::string(kMaxDescriptionLength, 'B') + "\n"), true,
         std::string(kMaxDescriptionLength, 'B')},
        {"32768 bytes, zero first", withImage(header + "\n" + tooLong + "\n"), false, ""},
        {"32768 bytes, zero last",
         withImage(header + "\n" + std::string(kMaxDescriptionLength, 'C') + zero + "\n"), false,
         ""},
        {"32768 bytes, no zero",
         withImage(header + "\n" + std::string(kMaxDescriptionLength + 1, 'D') + "\n"), false, ""},
        {"a length and image smuggled into the description line",
         withImage(header + "\n" + smuggled + "\n"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(image, kOldByte, sizeof image);
        const fs::path path = dir / "zero.mrv";
        Write(path, c.bytes);
        if (!c.loads) {
            ExpectRefused(path);
            continue;
        }
        CString description;
        std::int32_t length = 0;
        ASSERT_EQ(ReadBackupFile(path.string(), description, length, image), 1);
        EXPECT_EQ(description, c.description);
        EXPECT_EQ(length, 16);
        EXPECT_EQ(image[0], 0x22);
    }
}

TEST_F(FormatTest, ALinkPlantedInASharedFolderIsNotFollowed) {
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const fs::path mine = dir / "mine.mrv";
    Write(mine, "precious");
    const fs::path link = shared / "backup.mrv";
    fs::create_symlink(mine, link);
    unsigned char bytes[kImageSize] = {};

    // The saver's own link is followed: its target is replaced.
    ASSERT_EQ(WriteBackupFile(link.string(), "x", 16, bytes), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(mine), 22u + 1 + 16);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link of another user needs root to make";
    }
    Write(mine, "precious");
    ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
    CString error;
    EXPECT_EQ(WriteBackupFile(link.string(), "x", 16, bytes, &error), 0);
    EXPECT_NE(error.find("could not be accessed"), std::string::npos) << error;
    EXPECT_EQ(fs::file_size(mine), 8u) << "the file the link points at is untouched";

    // Outside a shared folder another user's link is followed as before.
    const fs::path plain = dir / "plain.mrv";
    fs::create_symlink(mine, plain);
    ASSERT_EQ(::lchown(plain.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(WriteBackupFile(plain.string(), "x", 16, bytes), 1);
}

TEST_F(FormatTest, ALaterSaveRemovesWhatAKilledSaveLeftBehind) {
    const fs::path target = dir / "backup.mrv";
    const pid_t child = ::fork();
    if (child == 0) {
        CFile file(target.string(), CFile::modeCreate | CFile::modeWrite);
        file.Write("half a backup", 13);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::vector<fs::path> leftovers;
    for (const auto& entry : fs::directory_iterator(dir)) {
        leftovers.push_back(entry.path());
    }
    ASSERT_EQ(leftovers.size(), 1u) << "the killed save left its temporary file";
    const fs::path leftover = leftovers[0];
    EXPECT_EQ(leftover.filename().string().rfind(".backup.mrv.saving-", 0), 0u);
    // A fresh one might belong to a save still running: it stays.
    const fs::path fresh = dir / ".backup.mrv.saving-FRESH1";
    Write(fresh, "being written");
    const fs::path other = dir / ".other.mrv.saving-OTHER1";
    Write(other, "another target's");
    const timeval twoMinutesAgo[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimes(leftover.c_str(), twoMinutesAgo), 0);
    ASSERT_EQ(::utimes(other.c_str(), twoMinutesAgo), 0);

    unsigned char bytes[kImageSize] = {};
    ASSERT_EQ(WriteBackupFile(target.string(), "", 16, bytes), 1);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_EQ(fs::file_size(target), 22u + 16);
}

} // namespace
