// The main window. It is the scanner link (the memory image, the port, the
// transfers) and owns the description and the icon; it shows what the link
// reports, and its handlers run the transfers and the backup files.
#pragma once

#include "link/ScannerLink.h"
#include "platform/afx.h"
#include "resource.h"

#include <cstdint>

// Where an icon is drawn to sit centred in a client area: (client - icon + 1) / 2
// on each axis, divided toward zero.
inline void CenteredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight,
                               int& x, int& y) {
    x = (clientWidth - iconWidth + 1) / 2;
    y = (clientHeight - iconHeight + 1) / 2;
}

class CBackupDlg : public CDialog, private LinkReport, public CScannerLink {
public:
    explicit CBackupDlg(CWnd* parent = nullptr);
    ~CBackupDlg() override;

    const AFX_MSGMAP* GetMessageMap() const override;
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnToolTipText(int id, CString& text) override;

    // Memory image
    void RefreshListing();

    // Backup files
    int LoadBackup(const CString& path);
    int SaveBackup(const CString& path);
    void OnLoad();
    void OnSave();

    // Main window
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnSendData();
    void OnGetData();

    CString m_description;
    HICON m_icon = nullptr;

private:
    // The window's side of what the link reports.
    CString PortName() override;
    void ShowStatus(const CString& text) override;
    void StepProgress() override;
    void ShowNow() override;
    bool KeepWaiting() override;
    void DownloadComplete() override;
    void TransferFailed(TransferFailure why) override;

    void PrepareForReadersAndKeyboard();
    CString PortFailureDetails();

    // Runs a transfer as the handlers do: user input is held back meanwhile,
    // Escape or a close request cancels it, and the pointer shows it is busy.
    int RunTransfer(int (CScannerLink::*transfer)());

    // What the window keeps while a transfer runs.
    struct TransferState {
        CInputGuard* guard = nullptr;
        bool cancelRequested = false;
        bool statusChanged = false;
        bool progressChanged = false;
        bool firstStatus = false; // the next status is a transfer's first
    } m_transfer;
};
