// Dialogs: built from a layout in dialog units, initialised, centred, run
// modally or shown modelessly, ended with a result; their painting and the
// minimised window's icon.
#pragma once

#include "platform/afx/wnd.h"

class CDialogWindow;

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    // Creates the window and its controls, initialises it and shows it without
    // a modal loop of its own. Returns false when the layout is missing.
    bool Create();
    // Creates the window, runs it modally and destroys it; returns the result
    // given to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal();
    void EndDialog(int result);
    void DestroyWindow();

    CWnd* GetDlgItem(int id) const;
    // Makes the static text labelText the label of the control id: screen
    // readers name the control after it, and its mnemonic moves the focus
    // there. False when there is no such label or control.
    bool LinkLabel(const CString& labelText, int id);
    CMenu* GetSystemMenu(BOOL revert);
    // Control windows in layout order, addressed or not.
    const std::vector<std::unique_ptr<CWnd>>& Controls() const { return m_controls; }
    const DialogTemplate* Template() const { return m_template; }
    DialogBaseUnits BaseUnits() const { return m_units; }
    int ModalResult() const { return m_result; }

    const AFX_MSGMAP* GetMessageMap() const override;

    virtual BOOL OnInitDialog();
    void UpdateWindow() override;
    virtual void DoDataExchange() {}
    // Asked when the pointer rests on a control: its tooltip text, worked out
    // at that moment. False shows none.
    virtual BOOL OnToolTipText(int id, CString& text);
    virtual void OnOK();
    virtual void OnCancel();

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Paints the standard dialog background; for WM_PAINT's default handling.
    void DefaultPaint();

private:
    bool CreateDialogWindow();
    // The static control that shows that text, or null.
    CWnd* StaticWithText(const CString& text) const;

    UINT m_templateId;
    CWnd* m_parent;
    const DialogTemplate* m_template = nullptr;
    CDialogWindow* m_window = nullptr;
    std::vector<std::unique_ptr<CWnd>> m_controls;
    std::unique_ptr<CMenu> m_systemMenu;
    DialogBaseUnits m_units{};
    int m_result = 0;

    friend class CDialogWindow;
    friend class CPaintDC;
};

// A painter for the window being painted, valid inside a WM_PAINT handler.
class CPaintDC {
public:
    explicit CPaintDC(CDialog* dialog);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    // The system's painter for the window, for DrawIcon.
    LPARAM Handle() const { return m_handle; }

private:
    LPARAM m_handle = 0;
};

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

void GetClientRect(const CWnd* window, CRect& rect);
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
int GetSystemMetrics(int index);
void DrawIcon(LPARAM paintHandle, int x, int y, HICON icon);
