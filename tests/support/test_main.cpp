// Every test program runs the real widgets on the toolkit's offscreen platform
// under an application object named like the program.
#include "platform/afx.h"
#include "resources.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication toolkit(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    CWinApp app("bc245xlt");
    AfxSetResourceTable(&BackupResources());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
