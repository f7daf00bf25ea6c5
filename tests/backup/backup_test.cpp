#include "backup/format.h"
#include "fixtures.h"
#include "platform/qt/widgets.h"

#include <QLineEdit>
#include <QPushButton>
#include <csignal>
#include <fstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Counting(int count, int from = 0) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<char>(from + i));
    }
    return bytes;
}

std::string LengthField(std::uint32_t n) {
    return std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 24)};
}

// The worked example: description "Test", 16 bytes 00 to 0F.
const std::string kExample =
    std::string("BC245XLT MRVv1.0\nTest\n") + LengthField(16) + Counting(16);

const char kEndOfFile[] = "An attempt was made to access an unnamed file past its end.";

} // namespace

class BackupTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        folder = std::make_unique<TempDir>();
    }
    void TearDown() override {
        folder.reset();
        DialogTest::TearDown();
    }

    fs::path Path(const char* name) const { return folder->path() / name; }

    void Click(int id) { qobject_cast<QPushButton*>(WidgetOf(*dlg->GetDlgItem(id)))->click(); }

    // Loads through the Load button with the open dialog answering path.
    void LoadThroughButton(const fs::path& path) {
        prompts->files.push_back(path.string());
        Click(IDC_LOAD);
    }
    void SaveThroughButton(const fs::path& path) {
        prompts->files.push_back(path.string());
        Click(IDC_SAVE);
    }

    CString Field() const {
        CString text;
        dlg->GetDlgItem(IDC_DESCRIPTION)->GetWindowText(text);
        return text;
    }
    void SetField(const QString& text) {
        qobject_cast<QLineEdit*>(WidgetOf(*dlg->GetDlgItem(IDC_DESCRIPTION)))->setText(text);
    }

    // A loaded image and description to see whether a failed load keeps them.
    void StartFrom(const char* description, unsigned char fill, std::int32_t length) {
        WriteFile(Path("start.mrv"),
                  std::string("BC245XLT MRVv1.0\n") + description + "\n" +
                      LengthField(static_cast<std::uint32_t>(length)) +
                      std::string(static_cast<std::size_t>(length), static_cast<char>(fill)));
        ASSERT_EQ(dlg->LoadBackup(Path("start.mrv").string()), 1);
        std::memset(dlg->m_image + length, 0xEE,
                    sizeof dlg->m_image - static_cast<std::size_t>(length));
    }

    struct Snapshot {
        std::int32_t length;
        std::vector<unsigned char> image;
        CString description;
        CString field;
        std::vector<std::string> rows;
        bool send, save;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() const {
        return {dlg->m_imageLength,
                std::vector<unsigned char>(dlg->m_image, dlg->m_image + CBackupDlg::kImageSize),
                dlg->m_description,
                Field(),
                ListingRows(),
                Enabled(IDC_SEND),
                Enabled(IDC_SAVE)};
    }

    std::string LoadError(const fs::path& path) const {
        return "There was an error loading '" + path.string() +
               "'.  The file may not be found or the format may be incorrect.  Check the file "
               "and/or filename and try again.";
    }

    std::unique_ptr<TempDir> folder;
};

TEST_F(BackupTest, WorkedExamplesLoadAndSaveByteForByte) {
    WriteFile(Path("example.mrv"), kExample);
    LoadThroughButton(Path("example.mrv"));
    EXPECT_TRUE(prompts->boxes.empty());
    EXPECT_EQ(dlg->m_description, "Test");
    EXPECT_EQ(Field(), "Test");
    EXPECT_EQ(dlg->m_imageLength, 16);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dlg->m_image), 16), Counting(16));
    EXPECT_EQ(ListingRows(),
              std::vector<std::string>{"0000\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "});
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_TRUE(Enabled(IDC_SAVE));
    EXPECT_EQ(Status(), "") << "loads leave the status line alone";

    SaveThroughButton(Path("again.mrv"));
    EXPECT_TRUE(prompts->boxes.empty());
    EXPECT_EQ(ReadFile(Path("again.mrv")), kExample);

    SetField("");
    SaveThroughButton(Path("empty.mrv"));
    const std::string empty = ReadFile(Path("empty.mrv"));
    EXPECT_EQ(empty.size(), 38u);
    EXPECT_EQ(empty, std::string("BC245XLT MRVv1.0\n\n") + LengthField(16) + Counting(16));
    SetField("changed");
    ASSERT_EQ(dlg->LoadBackup(Path("empty.mrv").string()), 1);
    EXPECT_EQ(Field(), "");
    EXPECT_EQ(dlg->m_description, "");
}

TEST_F(BackupTest, LineEndsAndHeaderVariants) {
    WriteFile(Path("crlf.mrv"),
              std::string("BC245XLT MRVv1.0\r\nTest\r\n") + LengthField(16) + Counting(16));
    ASSERT_EQ(dlg->LoadBackup(Path("crlf.mrv").string()), 1);
    EXPECT_EQ(dlg->m_description, "Test");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dlg->m_image), 16), Counting(16));

    // A carriage return and another byte: that byte ends the description.
    WriteFile(Path("cr.mrv"),
              std::string("BC245XLT MRVv1.0\nTest\rX") + LengthField(16) + Counting(16, 1));
    ASSERT_EQ(dlg->LoadBackup(Path("cr.mrv").string()), 1);
    EXPECT_EQ(dlg->m_description, "TestX");
    EXPECT_EQ(dlg->m_image[0], 1);

    const Snapshot before = Take();
    for (const char* header : {"BC245XLT MRVv1.0 \n", "bc245xlt mrvv1.0\n", "BC245XLT MRVv1.0\rX\n",
                               " BC245XLT MRVv1.0\n", "BC245XLT MRVv1.1\n", "BC245XLT MRVv1.\n"}) {
        SCOPED_TRACE(header);
        WriteFile(Path("bad.mrv"), header + std::string("Test\n") + LengthField(16) + Counting(16));
        EXPECT_EQ(dlg->LoadBackup(Path("bad.mrv").string()), 0);
        EXPECT_EQ(Take(), before);
    }
}

TEST_F(BackupTest, StoredLengthsThatAreNotAFullImage) {
    // Twenty bytes are taken as they are: two rows, the second past the count.
    WriteFile(Path("twenty.mrv"),
              std::string("BC245XLT MRVv1.0\nx\n") + LengthField(20) + Counting(20) + "trailing");
    ASSERT_EQ(dlg->LoadBackup(Path("twenty.mrv").string()), 1);
    EXPECT_EQ(dlg->m_imageLength, 20);
    EXPECT_EQ(ListingRows().size(), 2u);

    const Snapshot before = Take();
    for (const std::uint32_t length : {0u, 8193u, 0x80000000u, 0xFFFFFFFFu, 32u}) {
        SCOPED_TRACE(length);
        // Enough bytes for any length up to the image size, but only 10 for 32.
        const std::string bytes = length == 32 ? Counting(10) : Counting(200);
        WriteFile(Path("n.mrv"),
                  std::string("BC245XLT MRVv1.0\nx\n") + LengthField(length) + bytes);
        EXPECT_EQ(dlg->LoadBackup(Path("n.mrv").string()), 0);
        EXPECT_EQ(Take(), before);
    }
}

// A file cut short at any byte loads, fails with the load error box, or ends
// in the general error report, and only a whole file changes anything.
TEST_F(BackupTest, EveryPrefixOfAFile) {
    StartFrom("Earlier", 0x42, 48);
    SetField("typed");
    const Snapshot before = Take();
    for (std::size_t cut = 0; cut <= kExample.size(); ++cut) {
        SCOPED_TRACE(cut);
        prompts->boxes.clear();
        const fs::path path = Path("prefix.mrv");
        WriteFile(path, kExample.substr(0, cut));
        LoadThroughButton(path);
        if (cut == kExample.size()) {
            EXPECT_TRUE(prompts->boxes.empty());
            EXPECT_EQ(dlg->m_imageLength, 16);
            continue;
        }
        ASSERT_EQ(prompts->boxes.size(), 1u);
        const ShownBox& box = prompts->boxes.front();
        EXPECT_EQ(box.caption, "bc245xlt");
        const bool endOfFileReport = cut >= 18 && cut <= 25;
        if (endOfFileReport) {
            EXPECT_EQ(box.text, kEndOfFile);
            EXPECT_EQ(box.type, MB_OK | MB_ICONSTOP);
        } else {
            EXPECT_EQ(box.text, LoadError(path));
            EXPECT_EQ(box.type, MB_OK | MB_ICONEXCLAMATION);
        }
        EXPECT_EQ(Take(), before);
    }
}

TEST_F(BackupTest, FilesThatCannotBeReadGiveTheLoadErrorBox) {
    LoadThroughButton(Path("missing.mrv"));
    ASSERT_EQ(prompts->boxes.size(), 1u);
    EXPECT_EQ(prompts->boxes[0].text, LoadError(Path("missing.mrv")));

    // A file that another opener holds.
    WriteFile(Path("held.mrv"), kExample);
    const int holder = ::open(Path("held.mrv").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(dlg->LoadBackup(Path("held.mrv").string()), 0);
    ::close(holder);
    EXPECT_EQ(dlg->LoadBackup(Path("held.mrv").string()), 1);
    // A folder is not a backup file.
    EXPECT_EQ(dlg->LoadBackup(folder->path().string()), 0);
    // Without an extension, through the all-files choice.
    WriteFile(Path("noext"), kExample);
    EXPECT_EQ(dlg->LoadBackup(Path("noext").string()), 1);
}

TEST_F(BackupTest, CancelledDialogsChangeAndShowNothing) {
    StartFrom("kept", 1, 16);
    const Snapshot before = Take();
    prompts->files.push_back("");
    Click(IDC_LOAD);
    prompts->files.push_back("");
    Click(IDC_SAVE);
    EXPECT_TRUE(prompts->boxes.empty());
    EXPECT_EQ(Take(), before);
    ASSERT_EQ(prompts->fileRequests.size(), 2u);
    for (const auto& request : prompts->fileRequests) {
        EXPECT_EQ(request.filter, kBackupFilter);
        EXPECT_EQ(request.flags, 6u);
    }
    EXPECT_TRUE(prompts->fileRequests[0].open);
    EXPECT_FALSE(prompts->fileRequests[1].open);
    EXPECT_EQ(ParseFileFilter(kBackupFilter),
              (std::vector<std::pair<CString, CString>>{{"BC245XLT Morvane Files (*.mrv)", "*.mrv"},
                                                        {"All Files (*.*)", "*.*"}}));
}

TEST_F(BackupTest, ReplacingAFileKeepsItsModeAndFollowsLinks) {
    StartFrom("new", 7, 16);
    const fs::path target = Path("target.mrv");
    WriteFile(target, std::string(5000, 'x'));
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, Path("link.mrv"));
    SaveThroughButton(Path("link.mrv"));
    EXPECT_TRUE(prompts->boxes.empty());
    EXPECT_TRUE(fs::is_symlink(Path("link.mrv")));
    EXPECT_EQ(ReadFile(target),
              std::string("BC245XLT MRVv1.0\nnew\n") + LengthField(16) + std::string(16, '\7'))
        << "the old, longer contents are gone entirely";
    struct stat info {};
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder->path()), fs::directory_iterator()), 3)
        << "no temporary file is left";
}

TEST_F(BackupTest, FailedSavesLeaveTheEarlierFileIntact) {
    StartFrom("new", 7, 16);
    const fs::path target = Path("old.mrv");
    WriteFile(target, kExample);
    const auto expectSaveError = [&](const fs::path& path) {
        prompts->boxes.clear();
        SaveThroughButton(path);
        ASSERT_EQ(prompts->boxes.size(), 1u);
        EXPECT_EQ(prompts->boxes[0].text, "There was an error saving '" + path.string() +
                                              "'.  Check the destination path and try again.");
        EXPECT_EQ(prompts->boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(ReadFile(target), kExample);
    };

    expectSaveError(folder->path() / "no-such-folder" / "x.mrv");

    ::chmod(target.c_str(), 0444);
    expectSaveError(target);
    ::chmod(target.c_str(), 0644);

    const int holder = ::open(target.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    expectSaveError(target);
    ::close(holder);

    // A write that fails part-way: the file-size limit stops it.
    const std::string big = std::string("BC245XLT MRVv1.0\n") + std::string(6000, 'd') + "\n" +
                            LengthField(8192) + std::string(8192, 'i');
    WriteFile(Path("big.mrv"), big);
    ASSERT_EQ(dlg->LoadBackup(Path("big.mrv").string()), 1);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 6000;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    expectSaveError(target);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder->path()), fs::directory_iterator()), 3)
        << "no temporary file is left";

    EXPECT_EQ(dlg->m_description, std::string(6000, 'd')) << "the field was taken first";
    EXPECT_EQ(dlg->m_imageLength, 8192) << "a failed save changes nothing else";
}

TEST_F(BackupTest, DescriptionsAreOneLineOfWindows1252Text) {
    StartFrom("x", 3, 16);
    SetField(QString::fromUtf8("two\nlines\rhere"));
    ASSERT_EQ(dlg->SaveBackup(Path("lines.mrv").string()), 1);
    EXPECT_EQ(ReadFile(Path("lines.mrv")).substr(17, 15), "two lines here\n");
    ASSERT_EQ(dlg->LoadBackup(Path("lines.mrv").string()), 1);
    EXPECT_EQ(dlg->m_imageLength, 16) << "the file loads back";

    WriteFile(Path("ansi.mrv"), std::string("BC245XLT MRVv1.0\nCaf\xE9 \x80 \x9F\n") +
                                    LengthField(16) + Counting(16));
    ASSERT_EQ(dlg->LoadBackup(Path("ansi.mrv").string()), 1);
    auto* edit = qobject_cast<QLineEdit*>(WidgetOf(*dlg->GetDlgItem(IDC_DESCRIPTION)));
    EXPECT_EQ(edit->text(), QString::fromUtf8("Café € Ÿ"));
    ASSERT_EQ(dlg->SaveBackup(Path("ansi2.mrv").string()), 1);
    EXPECT_EQ(ReadFile(Path("ansi2.mrv")), ReadFile(Path("ansi.mrv")))
        << "round trip byte for byte";

    SetField(QString::fromUtf8("Snow \u2603 and \xC3\x9C"));
    ASSERT_EQ(dlg->SaveBackup(Path("snow.mrv").string()), 1);
    EXPECT_EQ(ReadFile(Path("snow.mrv")).substr(17, 13), "Snow ? and \xDC\n");

    // Bytes after a zero byte are not part of the description.
    WriteFile(Path("zero.mrv"),
              std::string("BC245XLT MRVv1.0\nab\0cd\n", 23) + LengthField(16) + Counting(16));
    ASSERT_EQ(dlg->LoadBackup(Path("zero.mrv").string()), 1);
    EXPECT_EQ(dlg->m_description, "ab");
}
