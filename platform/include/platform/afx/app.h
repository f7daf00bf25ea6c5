// The application object: one per program, named after the program file; it
// creates the toolkit and runs InitInstance.
#pragma once

#include "platform/afx/wnd.h"

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    virtual BOOL InitInstance() { return FALSE; }
    void OnHelp() {}
    BOOL Enable3dControlsStatic() { return TRUE; }

    CString m_pszAppName;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
CString AfxGetAppName();
CWnd* AfxGetMainWnd();
// Creates the toolkit, names the application after its program file, runs
// InitInstance and returns the process exit status.
int AfxWinMain(int argc, char** argv);
