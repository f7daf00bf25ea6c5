// Dialogs: creation from a layout, the framework's initialisation, centring,
// the modal run and its end, the default commands and painting.
#include "platform/afx/dialog.h"
#include "platform/qt/widgets.h"

#include "controls.h"
#include "dialog_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <qdrawutil.h>

#include <algorithm>

QFont DialogFont(int pointSize) {
    // The desktop's general font, family and size, in the place of the 8 point
    // face the layouts were made for; a layout that asks for another size gets
    // the same proportion of the desktop's.
    QFont font = QApplication::font();
    if (pointSize != kLayoutPointSize && font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * pointSize / kLayoutPointSize);
    }
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average width of the 52 letters, rounded to the nearest pixel.
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect TakeUnpainted(const CWnd& window) {
    return TakeUnpainted(WidgetOf(window.GetSafeHwnd()));
}

DialogBaseUnits UnitsForLayout(const QFont& font, const DialogTemplate& layout) {
    DialogBaseUnits units = BaseUnitsOf(font);
    const QFontMetrics metrics(font);
    for (const ControlTemplate& control : layout.controls) {
        const DWORD type = control.style & SS_TYPEMASK;
        if (std::string(control.windowClass) != WC_STATIC || type == SS_ICON ||
            type == SS_ETCHEDHORZ || control.text == nullptr || control.cx <= 0) {
            continue;
        }
        for (const QString& line : AnsiToQString(control.text).split(QLatin1Char('\n'))) {
            // The average width that gives this text's rectangle room for it.
            const int width = metrics.horizontalAdvance(line);
            units.cx = std::max(units.cx, (width * 4 + control.cx - 1) / control.cx);
        }
    }
    return units;
}

bool CDialog::CreateDialogWindow() {
    DestroyWindow();
    m_template = AfxFindDialogTemplate(m_templateId);
    if (m_template == nullptr) {
        return false;
    }
    CWnd* owner = m_parent != nullptr ? m_parent : AfxGetMainWnd();
    if (owner == this) {
        owner = nullptr;
    }
    QWidget* parentWidget = owner != nullptr ? WidgetOf(*owner) : nullptr;
    // A modal frame is a fixed size, with no minimise and no maximise button.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint;
    if ((m_template->style & WS_CAPTION) != 0) {
        flags |= Qt::WindowTitleHint;
        if ((m_template->style & WS_SYSMENU) != 0) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
    } else {
        flags = Qt::Dialog | Qt::FramelessWindowHint;
    }
    m_window = new CDialogWindow(this, parentWidget, flags);
    Attach(HwndOf(m_window), "#32770", m_template->style, 0);
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->setSizeGripEnabled(false);
    m_window->setModal(true);

    const QFont font = DialogFont(m_template->pointSize);
    m_window->setFont(font);
    m_units = UnitsForLayout(font, *m_template);
    const PixelRect client = MapDialogRect(m_units, 0, 0, m_template->cx, m_template->cy);
    m_window->setFixedSize(client.width, client.height);
    m_window->setWindowTitle(
        AnsiToQString(m_template->caption != nullptr ? m_template->caption : ""));

    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : m_template->controls) {
        QWidget* widget = CreateControlWidget(control, m_units, m_window);
        widget->setFont(font);
        widget->setGeometry(ControlGeometry(control, m_units, widget));
        // Statics never take the focus; other controls take it by Tab only
        // when they are tab stops.
        const bool isStatic = std::string(control.windowClass) == WC_STATIC;
        if (isStatic) {
            // A static keeps the size of its layout rectangle: a new text
            // asks no layout of the window.
            widget->setFixedSize(widget->size());
        }
        widget->setFocusPolicy((control.style & WS_TABSTOP) != 0 ? Qt::StrongFocus
                               : isStatic                        ? Qt::NoFocus
                                                                 : Qt::ClickFocus);
        if ((control.style & WS_TABSTOP) != 0) {
            if (previousTabStop != nullptr) {
                QWidget::setTabOrder(previousTabStop, widget);
            }
            previousTabStop = widget;
        }
        auto wnd =
            std::make_unique<CWnd>(HwndOf(widget), control.windowClass, control.style, control.id);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const int id = control.id;
            QObject::connect(button, &QPushButton::clicked, m_window,
                             [window = m_window, id] { window->Command(id); });
        }
        widget->installEventFilter(m_window);
        m_controls.push_back(std::move(wnd));
    }
    if ((m_template->style & WS_SYSMENU) != 0) {
        m_systemMenu = std::make_unique<CMenu>();
        m_systemMenu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
    }
    return true;
}

bool CDialog::Create() {
    if (!CreateDialogWindow()) {
        return false;
    }
    // The framework's own initialisation: the lists' initial entries.
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        for (const char* entry : m_template->controls[i].initStrings) {
            const UINT add =
                m_controls[i]->WindowClass() == WC_LISTBOX ? LB_ADDSTRING : CB_ADDSTRING;
            m_controls[i]->SendMessage(add, 0, reinterpret_cast<LPARAM>(entry));
        }
    }
    const bool defaultFocus = OnInitDialog() != FALSE;
    // Centred on the owner, or on the screen's work area when there is none,
    // and kept inside that work area.
    QScreen* screen = m_window->parentWidget() != nullptr ? m_window->parentWidget()->screen()
                                                          : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect around = m_window->parentWidget() != nullptr
                             ? m_window->parentWidget()->window()->frameGeometry()
                             : area;
    QRect frame(QPoint(0, 0), m_window->size());
    frame.moveCenter(around.center());
    frame.moveLeft(
        std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width())));
    frame.moveTop(
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height())));
    m_window->move(frame.topLeft());
    m_window->show();
    if (defaultFocus) {
        for (const auto& control : m_controls) {
            if ((control->GetStyle() & WS_TABSTOP) != 0 && WidgetOf(*control)->isEnabled()) {
                WidgetOf(*control)->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
    return true;
}

INT_PTR CDialog::DoModal() {
    if (!Create()) {
        return -1;
    }
    m_window->exec();
    const INT_PTR result = m_result;
    DestroyWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    if (m_window != nullptr) {
        m_window->m_ending = true;
        m_window->done(result);
    }
}

void CDialog::DestroyWindow() {
    m_controls.clear();
    m_systemMenu.reset();
    if (m_window != nullptr) {
        CDialogWindow* window = m_window;
        m_window = nullptr;
        Attach(nullptr, "#32770", 0, 0);
        window->hide();
        delete window;
    }
}

bool CDialog::LinkLabel(const CString& labelText, int id) {
    CWnd* control = GetDlgItem(id);
    CWnd* shown = StaticWithText(labelText);
    auto* label = shown != nullptr ? qobject_cast<QLabel*>(WidgetOf(*shown)) : nullptr;
    if (control == nullptr || label == nullptr) {
        return false;
    }
    label->setBuddy(WidgetOf(*control));
    CString name = labelText;
    name.erase(std::remove(name.begin(), name.end(), '&'), name.end());
    control->SetAccessibleName(name);
    return true;
}

// What has changed in the controls is painted in one repaint of the region it
// covers, flushed to the screen once.
void CDialog::UpdateWindow() {
    QWidget* window = WidgetOf(*this);
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    QRegion changed;
    for (const auto& control : m_controls) {
        const QRect rect = TakeUnpainted(*control);
        if (!rect.isEmpty() && WidgetOf(*control) != nullptr && WidgetOf(*control)->isVisible()) {
            changed += QRect(WidgetOf(*control)->mapTo(window, rect.topLeft()), rect.size());
        }
    }
    if (!changed.isEmpty()) {
        window->repaint(changed);
    }
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            return WindowProc(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        return 0;
    case WM_PAINT:
        DefaultPaint();
        return 0;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}

void CDialog::DefaultPaint() {
    if (m_window == nullptr || m_template == nullptr || m_window->m_paintEvent == nullptr) {
        return;
    }
    if ((m_template->style & WS_CAPTION) == 0 && (m_template->style & DS_MODALFRAME) != 0) {
        // A frame with no title bar: draw the raised dialog border ourselves.
        QPainter painter(m_window);
        qDrawWinPanel(&painter, m_window->rect(), m_window->palette(), false);
    }
}

// ---------------------------------------------------------------------------
// Painting

CPaintDC::CPaintDC(CDialog* dialog) {
    if (dialog != nullptr && dialog->m_window != nullptr) {
        m_handle = reinterpret_cast<LPARAM>(new QPainter(dialog->m_window));
    }
}

CPaintDC::~CPaintDC() {
    delete reinterpret_cast<QPainter*>(m_handle);
}

void GetClientRect(const CWnd* window, CRect& rect) {
    rect = {};
    if (window != nullptr && WidgetOf(*window) != nullptr) {
        rect.right = WidgetOf(*window)->width();
        rect.bottom = WidgetOf(*window)->height();
    }
}

int GetSystemMetrics(int index) {
    return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}

void DrawIcon(LPARAM paintHandle, int x, int y, HICON icon) {
    auto* painter = reinterpret_cast<QPainter*>(paintHandle);
    if (painter != nullptr && icon != nullptr) {
        painter->drawPixmap(x, y, AfxIconImage(icon).pixmap(32, 32));
    }
}