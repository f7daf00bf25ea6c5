// Windows and controls on the system's own: text in the framework's code
// page, enabling, and messages, with the strings and icons they carry turned
// into the system's.
#include "platform/afx/wnd.h"

#include "icons.h"
#include "system_window.h"
#include "text.h"

#include <algorithm>
#include <cstring>

namespace {

win::Window W(HWND window) {
    return static_cast<win::Window>(window);
}

constexpr UINT kStyleWindowWithCaption = WS_CAPTION;

} // namespace

// A static's new text is painted by the next UpdateWindow or by the message
// loop, not inside the call: a transfer sets one between a reply and the next
// record and paints it once that record is on its way.
void CWnd::SetWindowText(const CString& text) {
    if (m_hWnd != nullptr) {
        win::SetText(W(m_hWnd), WideOfAnsi(text), m_class == WC_STATIC);
    }
}

void CWnd::GetWindowText(CString& text) const {
    text = m_hWnd != nullptr ? AnsiOfWide(win::GetText(W(m_hWnd))) : CString();
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return m_hWnd != nullptr && win::Enable(W(m_hWnd), enable != FALSE) ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    return m_hWnd != nullptr && win::IsEnabled(W(m_hWnd)) ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != nullptr && win::IsIconic(W(m_hWnd)) ? TRUE : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr) {
        return 0;
    }
    switch (message) {
    case LB_RESETCONTENT:
        // A list that is emptied is filled again at once, row by row: it is
        // drawn again once, when the program next waits for messages.
        win::DeferRedraw(W(m_hWnd));
        return win::Send(W(m_hWnd), message, wParam, lParam);
    case LB_ADDSTRING:
    case CB_ADDSTRING:
        return win::SendText(W(m_hWnd), message, wParam,
                             WideOfAnsi(reinterpret_cast<const char*>(lParam)));
    case CB_GETLBTEXTLEN:
    case CB_GETLBTEXT: {
        if (static_cast<LRESULT>(wParam) < 0 ||
            static_cast<LRESULT>(wParam) >= win::Send(W(m_hWnd), CB_GETCOUNT, 0, 0)) {
            return -1;
        }
        const CString text = AnsiOfWide(win::ComboEntry(W(m_hWnd), static_cast<int>(wParam)));
        if (message == CB_GETLBTEXT && lParam != 0) {
            std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        }
        return static_cast<LRESULT>(text.size());
    }
    case PBM_STEPIT:
    case PBM_SETPOS:
        // Painted by the next UpdateWindow, as a static's new text is.
        return win::SendUnpainted(W(m_hWnd), message, wParam, lParam);
    case WM_SETICON:
        win::SetIcon(W(m_hWnd), wParam == ICON_BIG,
                     IconHandle(reinterpret_cast<HICON>(lParam), wParam == ICON_BIG));
        return 0;
    default:
        return win::Send(W(m_hWnd), message, wParam, lParam);
    }
}

void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr && win::IsVisible(W(m_hWnd))) {
        win::PaintNow(W(m_hWnd), false);
    }
}

// A window without a title bar shows no text; its text is still the name
// screen readers give it. The system's controls are named by the label that
// stands before them.
void CWnd::SetAccessibleName(const CString& name) {
    if (m_hWnd != nullptr && (m_style & WS_CHILD) == 0 &&
        (m_style & kStyleWindowWithCaption) != kStyleWindowWithCaption) {
        win::SetText(W(m_hWnd), WideOfAnsi(name));
    }
}

// The system's screen readers are told of a static's and a progress bar's
// changes by the controls themselves; there is nothing to pace or announce.
void CWnd::PaceAccessibleUpdates() {}

void CWnd::AnnounceWindowText() {}

void CWnd::SetAccessibleRole(AccessibleRole) {}

void CWnd::UseFixedPitchFont() {
    if (m_hWnd != nullptr) {
        win::UseFixedPitchFont(W(m_hWnd));
    }
}

LRESULT CWnd::DefWindowProc(UINT, WPARAM, LPARAM) {
    return 0;
}
