#include "BackupApp.h"

#include "BackupDlg.h"
#include "resources.h"

CBackupApp::CBackupApp() {
    AfxSetResourceTable(&BackupResources());
}

const AFX_MSGMAP* CBackupApp::GetMessageMap() const {
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_COMMAND(ID_HELP, &CWinApp::OnHelp),
        END_MESSAGE_MAP(),
    };
    static const AFX_MSGMAP map = {CWinApp::GetMessageMap(), entries};
    return &map;
}

BOOL CBackupApp::InitInstance() {
    Enable3dControlsStatic();
    CBackupDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
