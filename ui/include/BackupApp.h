#pragma once

#include "platform/afx.h"

class CBackupApp : public CWinApp {
public:
    CBackupApp();
    const AFX_MSGMAP* GetMessageMap() const override;
    BOOL InitInstance() override;
};
