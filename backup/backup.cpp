#include "BackupDlg.h"

int CBackupDlg::LoadBackup(const CString&) { return 0; }
int CBackupDlg::SaveBackup(const CString&) { return 0; }
void CBackupDlg::OnLoad() {}
void CBackupDlg::OnSave() {}
