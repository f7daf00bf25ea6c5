// The window's side of a transfer: the port name from the list, the status
// line and the progress bar painted as the link reports, the listing rebuilt
// when a download completes, and input held back while the transfer runs.
#include "BackupDlg.h"

#include "core/listing.h"

CString CBackupDlg::PortName() {
    CString portName;
    GetDlgItem(IDC_PORT)->GetWindowText(portName);
    return portName;
}

void CBackupDlg::ShowStatus(const CString& text) {
    GetDlgItem(IDC_STATUS)->SetWindowText(text);
    m_transfer.statusChanged = true;
    if (m_transfer.firstStatus) {
        m_transfer.firstStatus = false;
        GetDlgItem(IDC_STATUS)->AnnounceWindowText();
    }
}

void CBackupDlg::TransferFailed(TransferFailure) {
    GetDlgItem(IDC_STATUS)->AnnounceWindowText();
}

void CBackupDlg::StepProgress() {
    GetDlgItem(IDC_PROGRESS)->SendMessage(PBM_STEPIT);
    m_transfer.progressChanged = true;
}

// The window is not painted by the event loop while a transfer holds the
// thread, so what changed is painted here, once, when the link asks for it:
// the status line and the progress bar together, in one repaint.
void CBackupDlg::ShowNow() {
    if (m_transfer.statusChanged || m_transfer.progressChanged) {
        m_transfer.statusChanged = false;
        m_transfer.progressChanged = false;
        UpdateWindow();
    }
}

bool CBackupDlg::KeepWaiting() {
    if (m_transfer.guard != nullptr) {
        m_transfer.guard->ProcessPendingEvents();
    }
    return !m_transfer.cancelRequested;
}

void CBackupDlg::DownloadComplete() {
    GetDlgItem(IDC_SAVE)->EnableWindow(TRUE);
    RefreshListing();
}

int CBackupDlg::RunTransfer(int (CScannerLink::*transfer)()) {
    m_transfer.cancelRequested = false;
    CInputGuard guard([this](UINT message, WPARAM key) {
        if (message == WM_CLOSE || (message == WM_KEYDOWN && key == VK_ESCAPE)) {
            m_transfer.cancelRequested = true;
        }
    });
    m_transfer.guard = &guard;
    m_transfer.firstStatus = true;
    const int result = (this->*transfer)();
    m_transfer.guard = nullptr;
    // The final status, a completion or an error, is told at once.
    GetDlgItem(IDC_STATUS)->AnnounceWindowText();
    return result;
}

void CBackupDlg::RefreshListing() {
    CWnd* contents = GetDlgItem(IDC_CONTENTS);
    contents->SendMessage(LB_RESETCONTENT);
    if (m_imageLength <= 0) {
        return;
    }
    // The image never holds more than its buffer; a last block may reach past
    // the valid count but never past the buffer.
    for (int offset = 0; offset < m_imageLength && offset + kBlockSize <= kImageSize;
         offset += kBlockSize) {
        const CString row = FormatListingRow(offset, m_image + offset);
        contents->SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
}
