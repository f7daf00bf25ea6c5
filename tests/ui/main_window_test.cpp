#include "AboutDlg.h"
#include "fixtures.h"
#include "holder_process.h"
#include "link/port_info.h"
#include "platform/qt/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char kGetPrompt[] = "Place the BC245XLT in FIRST mode and press E until FIRST flashes in the "
                          "display.\nWhen finished, click OK to start the download.";
const char kSendPrompt[] =
    "Place the BC245XLT in CLONE mode and press E until CLONE flashes in the display.\nWhen "
    "finished, click OK to start the upload.\n\nWARNING: This will replace the contents of your "
    "BC245XLT's memory!  If you are unsure you want to do this, click CANCEL.";
const char kPortError[] = "There was an error setting up the serial port.";
const char kTransferError[] = "There was an error during data transfer.  Check the scanner setup "
                              "and the serial port connection and try again.";
constexpr UINT kExclamationOk = MB_OK | MB_ICONEXCLAMATION;

} // namespace

class MainWindowTest : public DialogTest {
protected:
    QWidget* Item(int id) const { return WidgetOf(*dlg->GetDlgItem(id)); }
    void Click(int id) { qobject_cast<QPushButton*>(Item(id))->click(); }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : prompts->boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }
    bool Open() const { return WidgetOf(*dlg) != nullptr && WidgetOf(*dlg)->isVisible(); }
};

TEST_F(MainWindowTest, StateWhenTheWindowOpens) {
    EXPECT_EQ(WidgetOf(*dlg)->windowTitle(), "BC245XLT Morvane Utility");
    EXPECT_FALSE(Enabled(IDC_SEND));
    EXPECT_FALSE(Enabled(IDC_SAVE));
    for (int id : {IDC_GET, IDC_LOAD, IDCANCEL, IDC_PORT, IDC_DESCRIPTION, IDC_CONTENTS}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    auto* port = qobject_cast<QComboBox*>(Item(IDC_PORT));
    EXPECT_FALSE(port->isEditable());
    ASSERT_EQ(port->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(port->itemText(i).toStdString(), "COM" + std::to_string(i + 1));
    }
    EXPECT_EQ(port->currentText(), "COM1");
    EXPECT_EQ(qobject_cast<QLineEdit*>(Item(IDC_DESCRIPTION))->text(), "");
    EXPECT_TRUE(ListingRows().empty());
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(ProgressPos(), 0);
    EXPECT_EQ(WidgetOf(*dlg)->focusWidget(), Item(IDCANCEL)) << "Quit has the focus";
    EXPECT_FALSE(WidgetOf(*dlg)->windowIcon().isNull());
    EXPECT_EQ(reinterpret_cast<HICON>(dlg->SendMessage(WM_QUERYDRAGICON)), dlg->m_icon);

    // The system menu: Close, then a separator and the About item, added once.
    const auto& items = dlg->GetSystemMenu(FALSE)->Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].id, SC_CLOSE);
    EXPECT_EQ(items[1].flags & MF_SEPARATOR, MF_SEPARATOR);
    EXPECT_EQ(items[2].id, IDM_ABOUT);
    EXPECT_EQ(items[2].text, "&About BC245XLT Morvane Utility...");
}

TEST_F(MainWindowTest, ControlsKeepTheirLayoutRectangles) {
    const DialogBaseUnits units = dlg->BaseUnits();
    const DialogBaseUnits font = BaseUnitsOf(DialogFont(8));
    EXPECT_GE(units.cx, font.cx) << "as wide as the font's, or wider where a text needs it";
    EXPECT_EQ(units.cy, font.cy);
    EXPECT_GT(units.cx, 3);
    const PixelRect client = MapDialogRect(units, 0, 0, 317, 132);
    EXPECT_EQ(WidgetOf(*dlg)->width(), client.width);
    EXPECT_EQ(WidgetOf(*dlg)->height(), client.height);

    const auto& layout = dlg->Template()->controls;
    ASSERT_EQ(layout.size(), 15u);
    std::vector<QRect> placed;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const ControlTemplate& c = layout[i];
        SCOPED_TRACE(std::to_string(i) + " " + (c.text != nullptr ? c.text : ""));
        const PixelRect r = MapDialogRect(units, c.x, c.y, c.cx, c.cy);
        const QRect actual = WidgetOf(*dlg->Controls()[i])->geometry();
        EXPECT_EQ(actual.left(), MulDiv(c.x, units.cx, 4));
        EXPECT_EQ(actual.top(), MulDiv(c.y, units.cy, 8));
        EXPECT_EQ(actual.width(), r.width);
        if (std::string(c.windowClass) == WC_COMBOBOX) {
            // Closed, the list is only as tall as its text box.
            EXPECT_LE(actual.height(), r.height);
            EXPECT_GE(actual.height(), units.cy);
        } else {
            EXPECT_EQ(actual.height(), r.height);
        }
        placed.push_back(actual);
        if (auto* label = qobject_cast<QLabel*>(WidgetOf(*dlg->Controls()[i]));
            label != nullptr && !label->text().isEmpty()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), actual.width())
                << "the label's text is not cut";
        }
    }
    for (std::size_t a = 0; a < placed.size(); ++a) {
        for (std::size_t b = a + 1; b < placed.size(); ++b) {
            EXPECT_FALSE(placed[a].intersects(placed[b])) << "controls " << a << " and " << b;
        }
        EXPECT_TRUE(WidgetOf(*dlg)->rect().contains(placed[a])) << "control " << a;
    }
    // Tab order follows the layout, from Quit on.
    EXPECT_EQ(Item(IDCANCEL)->nextInFocusChain(), Item(IDC_DESCRIPTION));
}

TEST_F(MainWindowTest, AboutBoxLayoutAndLook) {
    CAboutDlg about;
    ASSERT_TRUE(about.Create());
    QWidget* box = WidgetOf(about);
    EXPECT_TRUE(box->windowFlags() & Qt::FramelessWindowHint) << "no title bar";
    const PixelRect client = MapDialogRect(about.BaseUnits(), 0, 0, 235, 54);
    EXPECT_EQ(box->size(), QSize(client.width, client.height));
    auto* ok = qobject_cast<QPushButton*>(WidgetOf(*about.GetDlgItem(IDOK)));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(box->focusWidget(), ok);
    EXPECT_TRUE(ok->isDefault());
    const auto& controls = about.Controls();
    ASSERT_EQ(controls.size(), 4u);
    EXPECT_EQ(qobject_cast<QLabel*>(WidgetOf(*controls[0]))->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(qobject_cast<QLabel*>(WidgetOf(*controls[1]))->text(),
              "BC245XLT Morvane Utility v1.0");
    EXPECT_EQ(qobject_cast<QLabel*>(WidgetOf(*controls[2]))->text().count('\n'), 2);
    EXPECT_EQ(about.GetSystemMenu(FALSE), nullptr);
    about.DestroyWindow();
}

// Opens the About box through a system command and reports whether a box
// appeared; the box is closed with the given key.
static bool AboutOpensFor(CBackupDlg& dlg, UINT id, Qt::Key closeWith = Qt::Key_Escape) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget();
            box != nullptr && box != WidgetOf(dlg)) {
            opened = true;
            QTest::keyClick(box, closeWith);
        }
    });
    dlg.SendMessage(WM_SYSCOMMAND, id, 0);
    QCoreApplication::processEvents();
    return opened;
}

TEST_F(MainWindowTest, AboutCommandIgnoresTheLowFourBits) {
    for (UINT id = 16; id <= 31; ++id) {
        EXPECT_TRUE(AboutOpensFor(*dlg, id)) << id;
    }
    EXPECT_TRUE(AboutOpensFor(*dlg, 16, Qt::Key_Return));
    EXPECT_FALSE(AboutOpensFor(*dlg, 32));
    EXPECT_FALSE(AboutOpensFor(*dlg, 15));
    EXPECT_TRUE(Open()) << "the About box changes nothing";
    EXPECT_TRUE(prompts->boxes.empty());
    dlg->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(Open()) << "Close ends the window as Quit does";
    EXPECT_EQ(dlg->ModalResult(), IDCANCEL);
}

TEST_F(MainWindowTest, EnterDoesNotEndTheWindowButQuitAndEscapeDo) {
    for (int id : {IDC_DESCRIPTION, IDC_PORT, IDC_CONTENTS}) {
        Item(id)->setFocus();
        QTest::keyClick(Item(id), Qt::Key_Return);
        QTest::keyClick(Item(id), Qt::Key_Enter);
        EXPECT_TRUE(Open()) << id;
    }
    EXPECT_TRUE(prompts->boxes.empty());
    // Enter on a push button presses it.
    Item(IDCANCEL)->setFocus();
    QTest::keyClick(Item(IDCANCEL), Qt::Key_Return);
    EXPECT_FALSE(Open());
    EXPECT_EQ(dlg->ModalResult(), IDCANCEL);

    ASSERT_TRUE(dlg->Create());
    QTest::keyClick(Item(IDC_DESCRIPTION), Qt::Key_Escape);
    EXPECT_FALSE(Open());

    ASSERT_TRUE(dlg->Create());
    WidgetOf(*dlg)->close();
    EXPECT_FALSE(Open()) << "the close button ends it too";
}

TEST_F(MainWindowTest, GetDataPromptsThenDownloadsHoweverThePromptCloses) {
    prompts->answers = {IDCANCEL};
    auto peer = First(Pattern(100));
    Click(IDC_GET);
    ASSERT_TRUE(peer.get()) << receiver->Problem();
    ASSERT_EQ(prompts->boxes.size(), 1u);
    EXPECT_EQ(prompts->boxes[0].text, kGetPrompt);
    EXPECT_EQ(prompts->boxes[0].type, kExclamationOk);
    EXPECT_EQ(prompts->boxes[0].caption, "bc245xlt");
    EXPECT_EQ(dlg->m_imageLength, 1600);
    EXPECT_TRUE(Enabled(IDC_SAVE));
    EXPECT_FALSE(Enabled(IDC_SEND));
    EXPECT_EQ(ProgressPos(), 100);
}

TEST_F(MainWindowTest, APortThatCannotBeOpenedGivesOneBoxAndChangesNothing) {
    qobject_cast<QComboBox*>(Item(IDC_PORT))->setCurrentIndex(2);
    Click(IDC_GET);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kGetPrompt, kPortError}));
    prompts->boxes.clear();
    Click(IDC_SEND);
    EXPECT_TRUE(prompts->boxes.empty()) << "a greyed button does nothing";
    dlg->GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
    Click(IDC_SEND);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kSendPrompt, kPortError}));
    EXPECT_EQ(prompts->boxes[0].type, MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(prompts->boxes[1].type, kExclamationOk);
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(Enabled(IDC_SAVE));
}

TEST_F(MainWindowTest, CancellingTheUploadPromptOpensNoPort) {
    dlg->GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
    prompts->answers = {IDCANCEL};
    Click(IDC_SEND);
    // Had a port been tried, COM1 (missing here) would have given the port error box.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSendPrompt});
    EXPECT_EQ(Status(), "");
}

TEST_F(MainWindowTest, AFailedTransferShowsItsErrorOnlyAfterTheTransfer) {
    LinkTimeouts().lineMs = 200;
    ReceiverFaults faults;
    faults.silentAt = 3;
    auto peer = First(Pattern(10), faults);
    Click(IDC_GET);
    peer.wait();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kGetPrompt, kTransferError}));
    EXPECT_EQ(prompts->boxes[1].type, kExclamationOk);
    EXPECT_FALSE(prompts->boxDuringTransfer);
    EXPECT_EQ(Status(), "ERROR: No response from scanner");
    EXPECT_EQ(dlg->m_hPort, nullptr);
}

TEST_F(MainWindowTest, EscapeOrACloseRequestCancelsARunningTransfer) {
    LinkTimeouts().firstLineMs = 10000;
    ReceiverFaults faults;
    faults.silentAtStart = true;
    for (const bool viaClose : {false, true}) {
        SCOPED_TRACE(viaClose ? "close request" : "Escape");
        prompts->boxes.clear();
        prompts->fileRequests.clear();
        auto peer = First({}, faults);
        QTimer::singleShot(150, [&] {
            // Input to other controls is dropped meanwhile.
            QTest::mouseClick(Item(IDC_LOAD), Qt::LeftButton);
            QTest::keyClick(Item(IDC_DESCRIPTION), Qt::Key_A);
            if (viaClose) {
                WidgetOf(*dlg)->close();
            } else {
                QTest::keyClick(Item(IDC_CONTENTS), Qt::Key_Escape);
            }
        });
        const auto start = std::chrono::steady_clock::now();
        Click(IDC_GET);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        peer.wait();
        EXPECT_EQ(Status(), "ERROR: Transfer cancelled");
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kGetPrompt, kTransferError}));
        EXPECT_TRUE(prompts->fileRequests.empty()) << "Load did not react";
        EXPECT_EQ(qobject_cast<QLineEdit*>(Item(IDC_DESCRIPTION))->text(), "");
        EXPECT_TRUE(Open()) << "the window itself stays";
        EXPECT_EQ(dlg->m_hPort, nullptr);
        receiver->WaitForClose(1000);
    }
}

TEST_F(MainWindowTest, ProgressGoesOnAcrossTransfersAndStartsOverPast512) {
    auto first = First(Pattern(100));
    Click(IDC_GET);
    ASSERT_TRUE(first.get());
    EXPECT_EQ(ProgressPos(), 100);
    receiver->WaitForClose(1000);
    auto second = First(Pattern(412));
    Click(IDC_GET);
    ASSERT_TRUE(second.get());
    EXPECT_EQ(ProgressPos(), 512);
    receiver->WaitForClose(1000);
    dlg->GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
    dlg->m_imageLength = 32;
    auto upload = Clone();
    Click(IDC_SEND);
    ASSERT_TRUE(upload.get());
    EXPECT_EQ(ProgressPos(), 2) << "the step past 512 started the bar over";
}

TEST_F(MainWindowTest, SendDataStaysEnabledOnceALoadEnabledIt) {
    TempDir files;
    const fs::path file = files.path() / "a.mrv";
    {
        std::ofstream out(file, std::ios::binary);
        out << "BC245XLT MRVv1.0\nloaded\n" << std::string("\x20\0\0\0", 4) << std::string(32, 'L');
    }
    prompts->files = {file.string(), (files.path() / "missing.mrv").string()};
    Click(IDC_LOAD);
    EXPECT_TRUE(Enabled(IDC_SEND));
    Click(IDC_LOAD); // fails
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_TRUE(Enabled(IDC_SAVE));
    auto peer = First(Pattern(3, 9));
    Click(IDC_GET);
    ASSERT_TRUE(peer.get());
    EXPECT_TRUE(Enabled(IDC_SEND));
    receiver->WaitForClose(1000);
    // Send Data now sends the downloaded image.
    auto clone = Clone();
    Click(IDC_SEND);
    ASSERT_TRUE(clone.get());
    EXPECT_EQ(receiver->Received(), Pattern(3, 9));
}

// The whole round: Get Data, Save, Load, Send Data; the receiver gets back
// exactly what it gave.
TEST_F(MainWindowTest, GetSaveLoadSendRoundTrip) {
    const auto image = Pattern(512, 21);
    auto give = First(image);
    Click(IDC_GET);
    ASSERT_TRUE(give.get()) << receiver->Problem();
    receiver->WaitForClose(1000);

    TempDir files;
    const fs::path saved = files.path() / "scanner";
    qobject_cast<QLineEdit*>(Item(IDC_DESCRIPTION))->setText("Saturday backup");
    prompts->files = {saved.string(), saved.string()};
    Click(IDC_SAVE);
    // Something else in between, then the file again.
    std::memset(dlg->m_image, 0, sizeof dlg->m_image);
    qobject_cast<QLineEdit*>(Item(IDC_DESCRIPTION))->setText("");
    Click(IDC_LOAD);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Item(IDC_DESCRIPTION))->text(), "Saturday backup");
    EXPECT_EQ(ListingRows().size(), 512u);

    auto take = Clone();
    Click(IDC_SEND);
    ASSERT_TRUE(take.get()) << receiver->Problem();
    EXPECT_EQ(receiver->Received(), image);
    EXPECT_EQ(Status(), "Upload complete.");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kGetPrompt, kSendPrompt}));
}

TEST_F(MainWindowTest, PortListTooltipSaysWhatEveryNameLeadsTo) {
    AttachReceiver();
    QWidget* port = Item(IDC_PORT);
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), port->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(port, &hover);
    QStringList lines = QToolTip::text().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].toStdString(),
              "COM1: " + (devices->path() / "COM1").string() + " -> " + receiver->DevicePath());
    EXPECT_TRUE(lines[3].startsWith("COM4: no such device (")) << lines[3].toStdString();
    qobject_cast<QComboBox*>(port)->setCurrentIndex(3);
    QCoreApplication::sendEvent(port, &hover);
    lines = QToolTip::text().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("COM4: no such device (")) << "the selected entry first";
    EXPECT_TRUE(lines[1].startsWith("COM1: ")) << lines[1].toStdString();
    QToolTip::hideText();
}

// Another program that has the port open keeps it: the tooltip and the error
// box's details name it, and nothing is sent.
TEST_F(MainWindowTest, APortAnotherProgramHasOpenIsBusyAndItsHolderIsNamed) {
    AttachReceiver();
    auto holding = std::make_unique<HolderProcess>(
        [&] { return OpenAndHold(receiver->DevicePath(), false); }, true);
    ASSERT_TRUE(holding->Ready());
    const int holder = holding->Pid();
    const std::string named = "busy: held by process " + std::to_string(holder) + " (";
    QWidget* port = Item(IDC_PORT);
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), port->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(port, &hover);
    const QStringList lines = QToolTip::text().split('\n');
    QToolTip::hideText();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[1].toStdString().rfind(named, 0), 0u) << lines[1].toStdString();

    Click(IDC_GET);
    holding.reset();
    ASSERT_EQ(prompts->boxes.size(), 2u);
    EXPECT_EQ(prompts->boxes[1].text, "There was an error setting up the serial port.");
    EXPECT_NE(prompts->boxes[1].details.find(named), std::string::npos)
        << prompts->boxes[1].details;
    EXPECT_EQ(receiver->ReadAvailable(100), "") << "nothing was sent";
}

TEST_F(MainWindowTest, ThePortErrorBoxSaysWhyInItsDetails) {
    Click(IDC_GET);
    ASSERT_EQ(prompts->boxes.size(), 2u);
    EXPECT_EQ(prompts->boxes[1].text, "There was an error setting up the serial port.");
    EXPECT_EQ(prompts->boxes[1].details.rfind("COM1: no such device (looked for ", 0), 0u)
        << prompts->boxes[1].details;
}

TEST(MinimisedIcon, CentredWithDivisionTowardZero) {
    int x = 0, y = 0;
    CenteredIconOrigin(36, 36, 32, 32, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);
    CenteredIconOrigin(0, 32, 32, 32, x, y);
    EXPECT_EQ(x, -15);
    EXPECT_EQ(y, 0);
}
