#include "BackupDlg.h"
#include "backup/format.h"
#include "platform/file.h"

#include <algorithm>
#include <cstring>

CString DescriptionLine(const CString& description) {
    CString line = description;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    return line;
}

int CBackupDlg::LoadBackup(const CString& path) {
    try {
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load);

        CString header;
        if (!ar.ReadString(header) || header != kBackupHeader) {
            return 0;
        }
        // Everything is read into locals first: a load that fails in any way,
        // the end-of-file errors that escape to the general error report
        // included, leaves the image and the description as they were.
        CString description;
        if (!ar.ReadString(description)) {
            return 0;
        }
        std::uint32_t storedLength = 0;
        ar >> storedLength;
        if (storedLength == 0 || storedLength > static_cast<std::uint32_t>(kImageSize)) {
            return 0;
        }
        unsigned char image[kImageSize];
        if (ar.Read(image, storedLength) < storedLength) {
            // A file cut short inside the image is not a backup to send to a receiver.
            return 0;
        }

        m_description = description;
        m_imageLength = static_cast<std::int32_t>(storedLength);
        std::memcpy(m_image, image, storedLength);
        RefreshListing();
        GetDlgItem(IDC_DESCRIPTION)->SetWindowText(m_description);
        GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
        GetDlgItem(IDC_SAVE)->EnableWindow(TRUE);
        ar.Close();
        file.Close();
        return 1;
    } catch (const CFileException&) {
        return 0;
    }
}

int CBackupDlg::SaveBackup(const CString& path) {
    GetDlgItem(IDC_DESCRIPTION)->GetWindowText(m_description);
    try {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteString(kBackupHeader);
        ar.WriteString("\n");
        ar.WriteString(DescriptionLine(m_description).c_str());
        ar.WriteString("\n");
        const std::int32_t length = std::clamp(m_imageLength, 0, kImageSize);
        ar << static_cast<std::uint32_t>(length);
        ar.Write(m_image, static_cast<UINT>(length));
        ar.Close();
        file.Close();
        return 1;
    } catch (const CFileException&) {
        return 0;
    }
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
