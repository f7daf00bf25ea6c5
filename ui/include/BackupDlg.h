// The main window. It owns the memory image, the description, the serial port
// and the icon; the operations of the listing, the scanner link and the backup
// files are its member functions, each defined in its own module.
#pragma once

#include "platform/afx.h"
#include "platform/serial.h"
#include "resource.h"

#include <cstdint>

// How a wait for a line from the receiver ended.
enum class LineResult {
    Ok,
    TimedOut,
    ReadFailed,
    Cancelled,
};

// Where an icon is drawn to sit centred in a client area: (client - icon + 1) / 2
// on each axis, divided toward zero.
inline void CenteredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight,
                               int& x, int& y) {
    x = (clientWidth - iconWidth + 1) / 2;
    y = (clientHeight - iconHeight + 1) / 2;
}

class CBackupDlg : public CDialog {
public:
    static constexpr int kImageSize = 8192;

    explicit CBackupDlg(CWnd* parent = nullptr);
    ~CBackupDlg() override;

    const AFX_MSGMAP* GetMessageMap() const override;
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnToolTipText(int id, CString& text) override;

    // Memory image
    void RefreshListing();

    // Scanner link
    int OpenPort();
    LineResult ReadLine(CString& line, int timeoutMs);
    void SendText(const char* text);
    int Download();
    int Upload();
    void FormatRecord(int offset, CString& record);
    void DecodeRecord(const CString& line, int offset);

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

    std::int32_t m_imageLength = 0;
    HANDLE m_hPort = nullptr;
    unsigned char m_image[kImageSize] = {};
    CString m_description;
    HICON m_icon = nullptr;

private:
    // Window operations the transfers report through.
    void ShowStatus(const CString& text);
    void StepProgress();
    void ClosePort();
    // Ends a transfer through its failure path: the text on the status line,
    // the port closed, 0 for the caller.
    int FailTransfer(const CString& status);
    int FailRead(LineResult result);
};
