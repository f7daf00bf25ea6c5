#pragma once

#include "platform/afx.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUT_DIALOG, nullptr) {}
    void DoDataExchange() override {}
    // The box has no caption; screen readers still give it a name.
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetAccessibleName("About BC245XLT Morvane Utility");
        return TRUE;
    }
};
