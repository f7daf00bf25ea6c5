// The window's side of backup files: Load and Save ask for a file, read or
// write it through the backup format, and show what became of it.
#include "BackupDlg.h"

#include "backup/format.h"

#include <cstring>

int CBackupDlg::LoadBackup(const CString& path) {
    // Everything is read into locals first: a load that fails in any way, the
    // end-of-file errors that escape to the general error report included,
    // leaves the image and the description as they were.
    CString description;
    std::int32_t length = 0;
    unsigned char image[kImageSize];
    if (ReadBackupFile(path, description, length, image) == 0) {
        return 0;
    }
    m_description = description;
    m_imageLength = length;
    std::memcpy(m_image, image, static_cast<std::size_t>(length));
    RefreshListing();
    GetDlgItem(IDC_DESCRIPTION)->SetWindowText(m_description);
    GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
    GetDlgItem(IDC_SAVE)->EnableWindow(TRUE);
    return 1;
}

int CBackupDlg::SaveBackup(const CString& path) {
    GetDlgItem(IDC_DESCRIPTION)->GetWindowText(m_description);
    return WriteBackupFile(path, m_description, m_imageLength, m_image);
}

namespace {

// Runs the open or the save dialog, both set up alike: the backup files'
// filter, no default extension, a question before replacing a file. True with
// the full path when the user confirmed one.
bool AskForBackupFile(BOOL open, CString& path) {
    CFileDialog dlg(open, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kBackupFilter,
                    nullptr);
    if (dlg.DoModal() != IDOK) {
        return false;
    }
    path = dlg.GetPathName();
    return true;
}

} // namespace

void CBackupDlg::OnLoad() {
    CString path;
    if (!AskForBackupFile(TRUE, path)) {
        return;
    }
    if (LoadBackup(path) == 0) {
        AfxMessageBox("There was an error loading '" + path +
                      "'.  The file may not be found or the format may be incorrect.  Check the "
                      "file and/or filename and try again.");
    }
}

void CBackupDlg::OnSave() {
    CString path;
    if (!AskForBackupFile(FALSE, path)) {
        return;
    }
    if (SaveBackup(path) == 0) {
        AfxMessageBox("There was an error saving '" + path +
                      "'.  Check the destination path and try again.");
    }
}
