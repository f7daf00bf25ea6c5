// The application object: one per program, found by the framework's calls.
#include "platform/afx/app.h"

#include "common/afx_backend.h"

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName != nullptr ? appName : "") {
    theApplication = this;
    KeepNoProfile();
}

CWinApp::~CWinApp() {
    if (theApplication == this) {
        theApplication = nullptr;
    }
}

CWinApp* AfxGetApp() {
    return theApplication;
}

CString AfxGetAppName() {
    return theApplication != nullptr ? theApplication->m_pszAppName : "";
}

CWnd* AfxGetMainWnd() {
    return theApplication != nullptr ? theApplication->m_pMainWnd : nullptr;
}
