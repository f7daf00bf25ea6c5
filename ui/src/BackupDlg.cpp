#include "BackupDlg.h"

#include "AboutDlg.h"
#include "link/port_info.h"

CBackupDlg::CBackupDlg(CWnd* parent)
    : CDialog(IDD_MAIN_DIALOG, parent), CScannerLink(static_cast<LinkReport&>(*this)) {
    m_description = "";
    m_icon = AfxLoadIcon(IDI_MAIN_ICON);
}

CBackupDlg::~CBackupDlg() = default;

const AFX_MSGMAP* CBackupDlg::GetMessageMap() const {
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_WM_SYSCOMMAND(&CBackupDlg::OnSysCommand),
        ON_WM_PAINT(&CBackupDlg::OnPaint),
        ON_WM_QUERYDRAGICON(&CBackupDlg::OnQueryDragIcon),
        ON_BN_CLICKED(IDC_SEND, &CBackupDlg::OnSendData),
        ON_BN_CLICKED(IDC_GET, &CBackupDlg::OnGetData),
        ON_BN_CLICKED(IDC_LOAD, &CBackupDlg::OnLoad),
        ON_BN_CLICKED(IDC_SAVE, &CBackupDlg::OnSave),
        END_MESSAGE_MAP(),
    };
    static const AFX_MSGMAP map = {CDialog::GetMessageMap(), entries};
    return &map;
}

void CBackupDlg::DoDataExchange() {}

BOOL CBackupDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        CString aboutItem;
        if (AfxLoadString(IDS_ABOUT_ITEM, aboutItem)) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUT, aboutItem.c_str());
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    GetDlgItem(IDC_SEND)->EnableWindow(FALSE);
    GetDlgItem(IDC_SAVE)->EnableWindow(FALSE);

    GetDlgItem(IDC_PORT)->SendMessage(CB_SETCURSEL, 0);

    CWnd* progress = GetDlgItem(IDC_PROGRESS);
    progress->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 512));
    progress->SendMessage(PBM_SETSTEP, 1);
    progress->SendMessage(PBM_SETPOS, 0);

    PrepareForReadersAndKeyboard();
    return TRUE;
}

// Screen readers name each control after its label (the progress bar after
// what it shows) and hear the status line as a status bar, and the labels' mnemonics reach their
// controls. The listing is in the desktop's fixed-width font, so that its byte columns line up.
void CBackupDlg::PrepareForReadersAndKeyboard() {
    LinkLabel("Description:", IDC_DESCRIPTION);
    LinkLabel("Memory Contents:", IDC_CONTENTS);
    LinkLabel("COM Port:", IDC_PORT);
    GetDlgItem(IDC_PROGRESS)->SetAccessibleName("Transfer progress");
    // A new status is announced, as a status bar's is. A transfer sets one
    // for every block and steps the bar as often: screen readers are told
    // them paced, and the first status, the last and every error at once.
    GetDlgItem(IDC_STATUS)->SetAccessibleRole(CWnd::AccessibleRole::StatusBar);
    GetDlgItem(IDC_STATUS)->PaceAccessibleUpdates();
    GetDlgItem(IDC_PROGRESS)->PaceAccessibleUpdates();
    GetDlgItem(IDC_CONTENTS)->UseFixedPitchFont();
}

// Enter outside a push button gives the OK command. It does nothing here, so
// that Enter in the description field cannot end the program and lose an
// image that was not saved; Quit, Escape and the close button end it.
void CBackupDlg::OnOK() {}

// The port list's tooltip says what each name leads to on this machine, the
// selected one first.
BOOL CBackupDlg::OnToolTipText(int id, CString& text) {
    if (id != IDC_PORT) {
        return FALSE;
    }
    CWnd* ports = GetDlgItem(IDC_PORT);
    const CString selected = PortName();
    text = DescribePort(selected);
    const auto count = static_cast<int>(ports->SendMessage(CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        CString name(static_cast<std::size_t>(ports->SendMessage(CB_GETLBTEXTLEN, i)), '\0');
        ports->SendMessage(CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name.data()));
        if (name != selected) {
            text.append("\n").append(DescribePort(name));
        }
    }
    return TRUE;
}

// What the port name led to and why it could not be opened, for the details
// of the port error box.
CString CBackupDlg::PortFailureDetails() {
    return ExplainPortFailure(PortName(), LastSerialError(), LastSerialLockHolder());
}

void CBackupDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == IDM_ABOUT) {
        CAboutDlg about;
        about.DoModal();
    } else {
        DefWindowProc(WM_SYSCOMMAND, id, lParam);
    }
}

void CBackupDlg::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, static_cast<WPARAM>(dc.Handle()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(this, rect);
    int x = 0;
    int y = 0;
    CenteredIconOrigin(rect.Width(), rect.Height(), cxIcon, cyIcon, x, y);
    DrawIcon(dc.Handle(), x, y, m_icon);
}

HICON CBackupDlg::OnQueryDragIcon() {
    return m_icon;
}

void CBackupDlg::OnSendData() {
    if (AfxMessageBox("Place the BC245XLT in CLONE mode and press E until CLONE flashes in the "
                      "display.\nWhen finished, click OK to start the upload.\n\nWARNING: This "
                      "will replace the contents of your BC245XLT's memory!  If you are unsure "
                      "you want to do this, click CANCEL.",
                      MB_OKCANCEL) != IDOK) {
        return;
    }
    if (OpenPort() == 0) {
        AfxMessageBox("There was an error setting up the serial port.", MB_OK,
                      PortFailureDetails());
        return;
    }
    if (RunTransfer(&CScannerLink::Upload) == 0) {
        AfxMessageBox("There was an error during data transfer.  Check the scanner setup and the "
                      "serial port connection and try again.",
                      MB_OK);
    }
}

void CBackupDlg::OnGetData() {
    AfxMessageBox("Place the BC245XLT in FIRST mode and press E until FIRST flashes in the "
                  "display.\nWhen finished, click OK to start the download.",
                  MB_OK);
    if (OpenPort() == 0) {
        AfxMessageBox("There was an error setting up the serial port.", MB_OK,
                      PortFailureDetails());
        return;
    }
    if (RunTransfer(&CScannerLink::Download) == 0) {
        AfxMessageBox("There was an error during data transfer.  Check the scanner setup and the "
                      "serial port connection and try again.",
                      MB_OK);
    }
}
