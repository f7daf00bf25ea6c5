// What a screen reader is told of a transfer, on a display with the desktop's
// accessibility bus: a whole download sets a status for every block and
// steps the bar as often, and the reader is told them paced, with the first
// status, the end and an error at once, while every one is still painted.
#include "fixtures.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/widgets.h"
#include "resources.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>

namespace {

// What the toolkit's bridge would pass on to a screen reader.
struct Told {
    std::vector<std::string> statuses;
    int values = 0;
    QObject* status = nullptr;
    QObject* progress = nullptr;
    QObject* get = nullptr;
    // What the Get Data button said of itself when the first status was told,
    // and how often its state was told to have changed.
    std::optional<QAccessible::State> getWhileBusy;
    int getStateChanges = 0;
};
Told told;

QAccessibleInterface* Face(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

void Record(QAccessibleEvent* event) {
    if (event->object() == told.status && event->type() == QAccessible::NameChanged) {
        told.statuses.push_back(qobject_cast<QLabel*>(told.status)->text().toStdString());
        if (told.statuses.size() == 1 && told.get != nullptr) {
            // A screen reader's user presses Get Data while the transfer runs.
            told.getWhileBusy = Face(told.get)->state();
            Face(told.get)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        }
    } else if (event->object() == told.get && event->type() == QAccessible::StateChanged) {
        ++told.getStateChanges;
    } else if (event->object() == told.progress && event->type() == QAccessible::ValueChanged) {
        ++told.values;
    }
}

class AccessibilityTest : public DialogTest {
protected:
    void SetUp() override {
        if (!QAccessible::isActive()) {
            GTEST_SKIP() << "no accessibility bridge: run with tests/ui/with-accessibility-bus.sh";
        }
        DialogTest::SetUp();
        told = Told{};
        told.status = WidgetOf(*dlg->GetDlgItem(IDC_STATUS));
        told.progress = WidgetOf(*dlg->GetDlgItem(IDC_PROGRESS));
        SetAccessibilitySink(Record);
    }
    void TearDown() override {
        SetAccessibilitySink(nullptr);
        if (dlg) {
            DialogTest::TearDown();
        }
    }
    void Click(int id) { qobject_cast<QPushButton*>(WidgetOf(*dlg->GetDlgItem(id)))->click(); }
};

TEST_F(AccessibilityTest, AWholeDownloadIsToldPacedAndItsEndAtOnce) {
    auto peer = First(Pattern(kBlockCount));
    Click(IDC_GET);
    ASSERT_TRUE(peer.get()) << receiver->Problem();
    EXPECT_EQ(dlg->m_imageLength, kImageSize);
    EXPECT_EQ(ProgressPos(), kBlockCount) << "every step is still drawn";
    QTest::qWait(1500); // what is held back is told by then
    // Before pacing: 518 statuses and 512 values for this download.
    std::printf("told: %zu statuses, %d values\n", told.statuses.size(), told.values);
    ASSERT_FALSE(told.statuses.empty());
    EXPECT_EQ(told.statuses.front(), "Awaiting MDL query...");
    EXPECT_EQ(told.statuses.back(), "Download complete.");
    EXPECT_LE(told.statuses.size(), 12u) << "not one for each of 516 statuses";
    EXPECT_GE(told.values, 5);
    EXPECT_LE(told.values, 40) << "not one for each of 512 steps";
}

TEST_F(AccessibilityTest, AnErrorIsToldAtOnce) {
    ReceiverFaults bad;
    bad.badChecksumAt = 3;
    auto peer = First(Pattern(8), bad);
    Click(IDC_GET);
    peer.wait();
    ASSERT_FALSE(told.statuses.empty());
    EXPECT_EQ(told.statuses.back(), "ERROR: Invalid data from scanner");
}

TEST_F(AccessibilityTest, ControlsAreUnavailableWhileATransferRunsAndNamedByTheirLabels) {
    auto* port = WidgetOf(*dlg->GetDlgItem(IDC_PORT));
    EXPECT_EQ(Face(port)->text(QAccessible::Name).toStdString(), "COM Port:");
    EXPECT_EQ(Face(port)->text(QAccessible::Value).toStdString(), "COM1");
    EXPECT_EQ(
        Face(WidgetOf(*dlg->GetDlgItem(IDC_DESCRIPTION)))->text(QAccessible::Name).toStdString(),
        "Description:");
    EXPECT_EQ(Face(WidgetOf(*dlg->GetDlgItem(IDC_CONTENTS)))->text(QAccessible::Name).toStdString(),
              "Memory Contents:");
    told.get = WidgetOf(*dlg->GetDlgItem(IDC_GET));
    ASSERT_FALSE(Face(told.get)->state().disabled);
    EXPECT_EQ(Face(told.get)->text(QAccessible::Name).toStdString(), "Get Data");
    EXPECT_TRUE(Face(told.get)->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));

    auto peer = First(Pattern(8));
    Click(IDC_GET);
    ASSERT_TRUE(peer.get()) << receiver->Problem();
    QTest::qWait(500); // a press that got through would have started a new transfer by now
    ASSERT_TRUE(told.getWhileBusy.has_value());
    EXPECT_TRUE(told.getWhileBusy->disabled) << "reported unavailable during the transfer";
    EXPECT_TRUE(Enabled(IDC_GET)) << "and drawn as before";
    EXPECT_FALSE(Face(told.get)->state().disabled) << "available again after it";
    EXPECT_GE(told.getStateChanges, 2) << "both changes are told";
    EXPECT_EQ(Status(), "Download complete.") << "the press during the transfer did nothing";
}

} // namespace

// The toolkit on the display it is given, with the accessibility bridge on.
int main(int argc, char** argv) {
    QApplication toolkit(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    CWinApp app("bc245xlt");
    AfxSetResourceTable(&BackupResources());
    // The bridge reaches the accessibility bus a moment after the start.
    for (int waited = 0; !QAccessible::isActive() && waited < 5000; waited += 100) {
        QTest::qWait(100);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
