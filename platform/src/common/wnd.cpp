// Windows and menus as the framework keeps them, and the one place where
// messages meet their handlers.
#include "platform/afx/wnd.h"

#include "platform/afx/prompts.h"

#include <new>

// Menus

BOOL CMenu::AppendMenu(UINT flags, UINT id, const char* text) {
    m_items.push_back({flags, id, text != nullptr ? CString(text) : CString()});
    return TRUE;
}
CWnd::CWnd(HWND window, const char* windowClass, DWORD style, int id) {
    Attach(window, windowClass, style, id);
}

CWnd::~CWnd() = default;

void CWnd::Attach(HWND window, const char* windowClass, DWORD style, int id) {
    m_hWnd = window;
    m_class = windowClass != nullptr ? windowClass : "";
    m_style = style;
    m_id = id;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const Current saved = m_current;
    m_current = {message, wParam, lParam};
    LRESULT result = 0;
    try {
        if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, wParam)) {
            result = CallHandler(*entry, wParam, lParam);
        } else {
            result = DefWindowProc(message, wParam, lParam);
        }
    } catch (const CException& error) {
        const CString text = error.GetErrorMessage();
        AfxMessageBox(text.empty() ? CString("Internal application error.") : text,
                      MB_OK | MB_ICONSTOP);
    } catch (const std::bad_alloc&) {
        AfxMessageBox("Out of memory.", MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    } catch (const std::exception&) {
        AfxMessageBox("Internal application error.", MB_OK | MB_ICONSTOP);
    }
    m_current = saved;
    return result;
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}
