// The program's start: the toolkit, the application's name, InitInstance.
#include "platform/afx/app.h"
#include "platform/qt/widgets.h"

#include "common/afx_backend.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

void KeepNoProfile() {
    // An application keeps no profile. The toolkit would keep one of its own
    // (the file dialogs' history, sizes and view): its settings are sent
    // where no file can be made, so that nothing is read from or written to
    // the user's configuration.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
        }
    }
}

int AfxWinMain(int argc, char** argv) {
    QApplication toolkit(argc, argv);
    // The style is the user's (-style, QT_STYLE_OVERRIDE) or the desktop's;
    // the toolkit falls back to Fusion.
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    if (app->m_pszAppName.empty()) {
        // Named after the program file: its base name without folder or extension.
        app->m_pszAppName = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : ""))
                                .completeBaseName()
                                .toStdString();
    }
    app->InitInstance();
    return 0;
}