#pragma once

#include "platform/afx.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUT_DIALOG, nullptr) {}
    void DoDataExchange() override {}
};
