// Windows and controls addressed by id, the text, enabling and message calls
// made on them, the system menu's items, and the mapping of dialog units to
// pixels.
#pragma once

#include "platform/afx/msgmap.h"

#include <memory>
#include <vector>

// Dialog units

struct DialogBaseUnits {
    int cx; // average character width in pixels
    int cy; // character height in pixels
};

struct PixelRect {
    int left, top, width, height;
};

// The size the layouts' "MS Sans Serif" was made for.
constexpr int kLayoutPointSize = 8;
int MulDiv(int number, int numerator, int denominator);
PixelRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);

class CMenu {
public:
    struct Item {
        UINT flags;
        UINT id;
        CString text;
    };
    BOOL AppendMenu(UINT flags, UINT id = 0, const char* text = nullptr);
    const std::vector<Item>& Items() const { return m_items; }

private:
    std::vector<Item> m_items;
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(HWND window, const char* windowClass, DWORD style, int id);
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    void SetWindowText(const CString& text);
    void GetWindowText(CString& text) const;
    BOOL EnableWindow(BOOL enable);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Paints what has changed in the window now, without waiting for the
    // event loop. A dialog paints what has changed in all of its controls in
    // one repaint.
    virtual void UpdateWindow();
    // The name screen readers give the control.
    void SetAccessibleName(const CString& name);
    // Paces what screen readers are told of the control's changes: a text
    // is told once it has stood for half a second, a value when it has moved
    // a tenth of its range or a second has passed. What is drawn is not paced.
    void PaceAccessibleUpdates();
    // Tells screen readers the control's text now, whatever the pacing.
    void AnnounceWindowText();
    // What screen readers take the control for, where its kind does not say.
    enum class AccessibleRole { StatusBar };
    void SetAccessibleRole(AccessibleRole role);
    // Shows the control's text in the desktop's fixed-width font, at the size
    // of the font it has.
    void UseFixedPitchFont();

    HWND GetSafeHwnd() const { return m_hWnd; }
    int GetDlgCtrlID() const { return m_id; }
    DWORD GetStyle() const { return m_style; }
    const CString& WindowClass() const { return m_class; }

protected:
    // The one place where messages meet their handlers. An error that escapes
    // a handler ends that handler and is shown by the general error report.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Hands the message being handled to the default handling.
    LRESULT Default();
    void Attach(HWND window, const char* windowClass, DWORD style, int id);

private:
    LRESULT ControlMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    CString m_class;
    DWORD m_style = 0;
    int m_id = 0;
    int m_rangeMin = 0, m_rangeMax = 100, m_step = 10, m_pos = 0; // progress bars
    struct Current {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    } m_current;

    friend class CDialogWindow;
};
