// Dialogs as the framework defines them: the default commands, the controls
// by id, the system menu and the default handlers.
#include "platform/afx/dialog.h"

namespace {
const AFX_MSGMAP_ENTRY* DialogEntries() {
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_COMMAND(IDOK, &CDialog::OnOK),
        ON_COMMAND(IDCANCEL, &CDialog::OnCancel),
        END_MESSAGE_MAP(),
    };
    return entries;
}
} // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    DestroyWindow();
}

const AFX_MSGMAP* CDialog::GetMessageMap() const {
    static const AFX_MSGMAP map = {CCmdTarget::GetMessageMap(), DialogEntries()};
    return &map;
}

CWnd* CDialog::GetDlgItem(int id) const {
    if (id == -1) {
        return nullptr;
    }
    for (const auto& control : m_controls) {
        if (control->GetDlgCtrlID() == id) {
            return control.get();
        }
    }
    return nullptr;
}

CWnd* CDialog::StaticWithText(const CString& text) const {
    for (const auto& control : m_controls) {
        CString shown;
        control->GetWindowText(shown);
        if (control->WindowClass() == WC_STATIC && shown == text) {
            return control.get();
        }
    }
    return nullptr;
}

CMenu* CDialog::GetSystemMenu(BOOL) {
    return m_systemMenu.get();
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::OnOK() {
    DoDataExchange();
    EndDialog(IDOK);
}

BOOL CDialog::OnToolTipText(int, CString&) {
    return FALSE;
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}
