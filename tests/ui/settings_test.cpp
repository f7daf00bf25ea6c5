// The window writes nothing but the backup files the user saves: after
// loading, saving, cancelling both file dialogs and opening the About box,
// with the toolkit's own dialogs, a fresh home folder and configuration
// folder hold what they held before.
#include "BackupDlg.h"
#include "offscreen_app.h"
#include "platform/qt/widgets.h"
#include "temp_folder.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

Folder* home = nullptr;
Folder* config = nullptr;

// Every path below a folder, with its size.
std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        entries.insert(entry.path().string() +
                       (entry.is_regular_file() ? " " + std::to_string(entry.file_size()) : ""));
    }
    return entries;
}

// Answers the toolkit's modal dialogs as they come: a file dialog with the
// next path ("" cancels), a message box with its default button.
class DialogAnswers {
public:
    explicit DialogAnswers(std::deque<std::string> files) : m_files(std::move(files)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Answer(); });
        m_timer.start(20);
    }
    int fileDialogs = 0;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (files != nullptr && !files->property("answered").toBool()) {
            files->setProperty("answered", true);
            ++fileDialogs;
            const std::string path = m_files.empty() ? "" : m_files.front();
            if (!m_files.empty()) {
                m_files.pop_front();
            }
            if (path.empty()) {
                files->reject();
            } else {
                // Typed into the name field, as a user would.
                auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                name->setText(QString::fromStdString(path));
                static_cast<QDialog*>(files)->accept(); // the dialog's own accept, as OK
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(modal);
                   box != nullptr && files == nullptr) {
            box->accept();
        }
    }
    std::deque<std::string> m_files;
    QTimer m_timer;
};

} // namespace

TEST(Settings, TheWindowWritesNothingButBackupFiles) {
    const auto homeBefore = Listing(home->path);
    const auto configBefore = Listing(config->path);
    Folder saves;
    const std::string backup = (saves.path / "weekend.mrv").string();

    CBackupDlg dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.m_imageLength = 32;
    dlg.m_image[0] = 0x42;
    dlg.GetDlgItem(IDC_SAVE)->EnableWindow(TRUE);
    const auto click = [&](int id) {
        qobject_cast<QPushButton*>(WidgetOf(*dlg.GetDlgItem(id)))->click();
        QCoreApplication::processEvents();
    };
    {
        DialogAnswers answers({backup, "", backup, ""});
        click(IDC_SAVE); // saved
        click(IDC_SAVE); // cancelled
        dlg.m_image[0] = 0;
        click(IDC_LOAD); // loaded
        click(IDC_LOAD); // cancelled
        EXPECT_EQ(answers.fileDialogs, 4) << "the toolkit's own file dialogs were used";
    }
    EXPECT_EQ(dlg.m_image[0], 0x42) << "what was saved was loaded again";
    QTimer::singleShot(50, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    dlg.SendMessage(WM_SYSCOMMAND, 16, 0); // the About box
    dlg.DestroyWindow();
    AfxGetApp()->m_pMainWnd = nullptr;
    QCoreApplication::processEvents();

    EXPECT_TRUE(fs::exists(backup));
    EXPECT_EQ(Listing(home->path), homeBefore);
    EXPECT_EQ(Listing(config->path), configBefore);
}

int main(int argc, char** argv) {
    // A home and a configuration folder of the test's own, in place before
    // the toolkit looks for either.
    Folder homeFolder, configFolder;
    home = &homeFolder;
    config = &configFolder;
    std::ofstream(homeFolder.path / ".profile") << "# a file that was there before\n";
    ::setenv("HOME", homeFolder.path.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", configFolder.path.c_str(), 1);
    OffscreenApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
