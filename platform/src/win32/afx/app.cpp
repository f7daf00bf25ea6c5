// The program's start on Windows: the common controls, the application's
// name, InitInstance.
#include "platform/afx/app.h"

#include "common/afx_backend.h"
#include "system_window.h"
#include "text.h"

void KeepNoProfile() {
    // The system keeps nothing for a program that does not ask it to.
}

int AfxWinMain(int, char**) {
    win::InitControls();
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    if (app->m_pszAppName.empty()) {
        app->m_pszAppName = AnsiOfWide(win::ProgramBaseName());
    }
    app->InitInstance();
    return 0;
}
