// Dialogs on the system's dialog manager: made from the layout tables, their
// messages dispatched through the message maps, the default handling left to
// the system.
#include "platform/afx/dialog.h"

#include "platform/afx/app.h"
#include "platform/afx/input_guard.h"

#include "dialog_layout.h"
#include "held_input.h"
#include "icons.h"
#include "system_window.h"
#include "text.h"

#include <cstring>
#include <map>
#include <utility>

namespace {

win::Window W(HWND window) {
    return static_cast<win::Window>(window);
}

constexpr UINT kInitDialog = 0x0110; // WM_INITDIALOG
constexpr UINT kNotify = 0x004E;     // WM_NOTIFY
constexpr UINT kNcDestroy = 0x0082;  // WM_NCDESTROY
constexpr UINT kLimitText = 0x00C5;  // EM_LIMITTEXT

} // namespace

// What a dialog's window keeps between its messages.
class CDialogWindow {
public:
    explicit CDialogWindow(CDialog* owner) : m_owner(owner) {
        hook.procedure = &CDialogWindow::Procedure;
        hook.context = this;
    }

    win::DialogHook hook;
    std::vector<std::uint16_t> layout;
    // Set while a handler runs: whether it asked for the default handling.
    bool* defaultAsked = nullptr;

private:
    static std::intptr_t Procedure(void* context, win::Window dialog, unsigned message,
                                   std::uintptr_t wParam, std::intptr_t lParam, bool& handled) {
        return static_cast<CDialogWindow*>(context)->Handle(dialog, message, wParam, lParam,
                                                            handled);
    }

    std::intptr_t Handle(win::Window dialog, UINT message, WPARAM wParam, LPARAM lParam,
                         bool& handled) {
        if (message == kInitDialog) {
            handled = true;
            return Start(dialog);
        }
        if (message == kNcDestroy) {
            m_owner->m_controls.clear();
            m_owner->Attach(nullptr, "#32770", 0, 0);
            return 0;
        }
        if (HoldBack(message, wParam)) {
            handled = true;
            return 0;
        }
        if (message == kNotify) {
            handled = win::AnswerToolTip(lParam, [this](win::Window control, std::wstring& text) {
                return ToolTipText(control, text);
            });
            return 0;
        }
        // What no map names reaches DefWindowProc, which leaves it to the
        // system as a handler's Default() does.
        bool asked = false;
        bool* outer = std::exchange(defaultAsked, &asked);
        const LRESULT result = m_owner->WindowProc(message, wParam, lParam);
        defaultAsked = outer;
        handled = !asked;
        return result;
    }

    // The framework's start of a dialog: its controls in layout order, the
    // lists' initial entries, icons, then OnInitDialog, the system menu's new
    // items and the place on the screen.
    std::intptr_t Start(win::Window dialog) {
        const DialogTemplate& layout = *m_owner->m_template;
        m_owner->Attach(static_cast<HWND>(dialog), "#32770", layout.style, 0);
        const std::vector<win::Window> children = win::ChildWindows(dialog);
        std::vector<win::Window> withTips;
        for (std::size_t i = 0; i < children.size() && i < layout.controls.size(); ++i) {
            const ControlTemplate& control = layout.controls[i];
            auto wnd = std::make_unique<CWnd>(static_cast<HWND>(children[i]), control.windowClass,
                                              control.style, control.id);
            const std::string windowClass = control.windowClass;
            for (const char* entry : control.initStrings) {
                const UINT add = windowClass == WC_LISTBOX ? LB_ADDSTRING : CB_ADDSTRING;
                wnd->SendMessage(add, 0, reinterpret_cast<LPARAM>(entry));
            }
            if (windowClass == WC_STATIC && (control.style & SS_TYPEMASK) == SS_ICON) {
                win::SetStaticIcon(children[i], IconHandle(AfxLoadIcon(control.iconId), true));
            }
            // The system's face may set a label wider than the face the
            // layout was made for; it keeps its place and grows to the right.
            if (windowClass == WC_STATIC && (control.style & SS_TYPEMASK) == SS_LEFT &&
                control.text != nullptr && std::strchr(control.text, '\n') == nullptr) {
                win::FitTextWidth(children[i]);
            }
            if (windowClass == WC_EDIT) {
                wnd->SendMessage(kLimitText, kEditTextLimit);
            }
            if (control.id != -1) {
                withTips.push_back(children[i]);
            }
            m_owner->m_controls.push_back(std::move(wnd));
        }
        win::AddToolTips(dialog, withTips);
        const BOOL defaultFocus = m_owner->OnInitDialog();
        if (m_owner->m_systemMenu != nullptr) {
            for (const CMenu::Item& item : m_owner->m_systemMenu->Items()) {
                win::AppendSystemMenu(dialog, item.id,
                                      (item.flags & MF_SEPARATOR) != 0 ? std::wstring()
                                                                       : WideOfAnsi(item.text));
            }
        }
        win::CenterWindow(dialog, W(OwnerOf(*m_owner)));
        return defaultFocus;
    }

    bool ToolTipText(win::Window control, std::wstring& text) {
        for (const auto& wnd : m_owner->m_controls) {
            CString tip;
            if (W(wnd->GetSafeHwnd()) == control && wnd->GetDlgCtrlID() != -1 &&
                m_owner->OnToolTipText(wnd->GetDlgCtrlID(), tip) != FALSE) {
                text = WideOfDisplayText(tip);
                return true;
            }
        }
        return false;
    }

public:
    // The dialog's owner: its parent, or else the main window unless it is
    // the main window itself.
    static HWND OwnerOf(const CDialog& dialog) {
        CWnd* owner = dialog.m_parent != nullptr ? dialog.m_parent : AfxGetMainWnd();
        return owner != nullptr && owner != &dialog ? owner->GetSafeHwnd() : nullptr;
    }

private:
    CDialog* m_owner;
};

bool CDialog::CreateDialogWindow() {
    DestroyWindow();
    m_template = AfxFindDialogTemplate(m_templateId);
    if (m_template == nullptr) {
        return false;
    }
    m_window = new CDialogWindow(this);
    m_window->layout = BuildDialogLayout(*m_template);
    if ((m_template->style & WS_SYSMENU) != 0) {
        m_systemMenu = std::make_unique<CMenu>();
    }
    return true;
}

bool CDialog::Create() {
    if (!CreateDialogWindow()) {
        return false;
    }
    if (win::CreateModelessDialog(m_window->layout, W(CDialogWindow::OwnerOf(*this)),
                                  m_window->hook) == nullptr) {
        DestroyWindow();
        return false;
    }
    win::Show(W(GetSafeHwnd()));
    return true;
}

INT_PTR CDialog::DoModal() {
    if (!CreateDialogWindow()) {
        return -1;
    }
    const std::intptr_t result =
        win::RunModalDialog(m_window->layout, W(CDialogWindow::OwnerOf(*this)), m_window->hook);
    DestroyWindow();
    return result == -1 ? -1 : m_result;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    if (GetSafeHwnd() != nullptr) {
        win::EndDialog(W(GetSafeHwnd()), result);
    }
}

void CDialog::DestroyWindow() {
    if (win::IsWindow(W(GetSafeHwnd()))) {
        win::DestroyWindow(W(GetSafeHwnd()));
    }
    m_controls.clear();
    m_systemMenu.reset();
    Attach(nullptr, "#32770", 0, 0);
    delete m_window;
    m_window = nullptr;
}

// The system names a control after the static that comes before it among
// the dialog's windows: the label is moved there.
bool CDialog::LinkLabel(const CString& labelText, int id) {
    CWnd* control = GetDlgItem(id);
    CWnd* label = StaticWithText(labelText);
    if (control == nullptr || label == nullptr) {
        return false;
    }
    win::PlaceBefore(W(label->GetSafeHwnd()), W(control->GetSafeHwnd()));
    return true;
}

// Each control that has changed paints itself now; the others are left.
void CDialog::UpdateWindow() {
    if (GetSafeHwnd() == nullptr || !win::IsVisible(W(GetSafeHwnd()))) {
        return;
    }
    for (const auto& control : m_controls) {
        control->UpdateWindow();
    }
}

// Asked from inside a handler: the system's default dialog handling takes the
// message once the handler returns.
LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) {
    if (m_window != nullptr && m_window->defaultAsked != nullptr) {
        *m_window->defaultAsked = true;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Painting

namespace {
struct Painting {
    win::Window window;
    void* state;
};
std::map<LPARAM, Painting>& Paintings() {
    static std::map<LPARAM, Painting> paintings;
    return paintings;
}
} // namespace

CPaintDC::CPaintDC(CDialog* dialog) {
    if (dialog != nullptr && dialog->GetSafeHwnd() != nullptr) {
        void* state = nullptr;
        const win::Window window = W(dialog->GetSafeHwnd());
        m_handle = reinterpret_cast<LPARAM>(win::BeginPaint(window, state));
        Paintings()[m_handle] = {window, state};
    }
}

CPaintDC::~CPaintDC() {
    if (auto found = Paintings().find(m_handle); found != Paintings().end()) {
        win::EndPaint(found->second.window, found->second.state);
        Paintings().erase(found);
    }
}

void GetClientRect(const CWnd* window, CRect& rect) {
    rect = {};
    if (window != nullptr && window->GetSafeHwnd() != nullptr) {
        const win::ClientSize size = win::GetClientSize(W(window->GetSafeHwnd()));
        rect.right = size.width;
        rect.bottom = size.height;
    }
}

int GetSystemMetrics(int index) {
    return win::SystemMetric(index);
}

void DrawIcon(LPARAM paintHandle, int x, int y, HICON icon) {
    if (paintHandle != 0) {
        win::DrawIcon(reinterpret_cast<win::Painter>(paintHandle), x, y, IconHandle(icon, true));
    }
}
