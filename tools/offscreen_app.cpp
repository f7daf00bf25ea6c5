#include "offscreen_app.h"

#include "resources.h"

OffscreenApp::OffscreenPlatform::OffscreenPlatform() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

OffscreenApp::OffscreenApp(int& argc, char** argv) : m_toolkit(argc, argv), m_app("bc245xlt") {
    QApplication::setStyle(QStringLiteral("Fusion"));
    AfxSetResourceTable(&BackupResources());
}
