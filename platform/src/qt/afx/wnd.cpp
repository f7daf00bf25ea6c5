// Windows and controls: text, enabling and the messages the controls answer;
// the system menu's items; dialog units.
#include "platform/afx/wnd.h"
#include "platform/qt/handles.h"
#include "platform/qt/icons.h"

#include "accessibility.h"
#include "controls.h"
#include "platform/afx/prompts.h"
#include "platform/qt/ansi.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

// ---------------------------------------------------------------------------
// Windows

namespace {

// The part of a bar that a change of its value from one position to another
// repaints: the strip between the two ends of the filled part, with a margin
// for the end's own edge; the whole bar when it starts over.
QRect BarStrip(const QProgressBar& bar, int from, int to) {
    const int span = bar.maximum() - bar.minimum();
    if (to < from || span <= 0) {
        return bar.rect();
    }
    const QRect all = bar.rect();
    const auto at = [&](int value) {
        return all.left() + static_cast<int>(static_cast<long long>(all.width()) *
                                             (value - bar.minimum()) / span);
    };
    constexpr int kEdge = 8; // covers the drawn end of the filled part
    return QRect(QPoint(at(from) - kEdge, all.top()), QPoint(at(to) + kEdge, all.bottom()))
        .intersected(all);
}

} // namespace

void CWnd::SetWindowText(const CString& text) {
    const QString value = AnsiToQString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(WidgetOf(m_hWnd))) {
        edit->setText(value);
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(WidgetOf(m_hWnd))) {
        if (label->text() != value) {
            label->setText(value);
            MarkUnpainted(label, label->rect());
        }
    } else if (auto* button = qobject_cast<QPushButton*>(WidgetOf(m_hWnd))) {
        button->setText(value);
    } else if (WidgetOf(m_hWnd) != nullptr && WidgetOf(m_hWnd)->isWindow()) {
        WidgetOf(m_hWnd)->setWindowTitle(value);
    }
}

void CWnd::GetWindowText(CString& text) const {
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(WidgetOf(m_hWnd))) {
        value = edit->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(WidgetOf(m_hWnd))) {
        value = combo->currentText();
    } else if (auto* label = qobject_cast<QLabel*>(WidgetOf(m_hWnd))) {
        value = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(WidgetOf(m_hWnd))) {
        value = button->text();
    } else if (WidgetOf(m_hWnd) != nullptr && WidgetOf(m_hWnd)->isWindow()) {
        value = WidgetOf(m_hWnd)->windowTitle();
    }
    text = QStringToAnsi(value);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    if (WidgetOf(m_hWnd) == nullptr) {
        return FALSE;
    }
    const bool wasDisabled = !WidgetOf(m_hWnd)->isEnabled();
    WidgetOf(m_hWnd)->setEnabled(enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    return WidgetOf(m_hWnd) != nullptr && WidgetOf(m_hWnd)->isEnabled() ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return WidgetOf(m_hWnd) != nullptr && WidgetOf(m_hWnd)->window()->isMinimized() ? TRUE : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (WidgetOf(m_hWnd) != nullptr && WidgetOf(m_hWnd)->isWindow()) {
        return WindowProc(message, wParam, lParam);
    }
    return ControlMessage(message, wParam, lParam);
}

void CWnd::SetAccessibleName(const CString& name) {
    if (WidgetOf(m_hWnd) != nullptr) {
        WidgetOf(m_hWnd)->setAccessibleName(AnsiToQString(name));
    }
}

void CWnd::UseFixedPitchFont() {
    if (WidgetOf(m_hWnd) != nullptr) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(WidgetOf(m_hWnd)->font().pointSizeF());
        WidgetOf(m_hWnd)->setFont(fixed);
    }
}

void CWnd::UpdateWindow() {
    if (WidgetOf(m_hWnd) == nullptr || !WidgetOf(m_hWnd)->isVisible()) {
        return;
    }
    const QRect changed = TakeUnpainted(WidgetOf(m_hWnd));
    if (!changed.isEmpty()) {
        WidgetOf(m_hWnd)->repaint(changed);
    } else {
        WidgetOf(m_hWnd)->repaint();
    }
}

void CWnd::PaceAccessibleUpdates() {
    if (WidgetOf(m_hWnd) != nullptr) {
        ::PaceAccessibleUpdates(WidgetOf(m_hWnd));
    }
}

void CWnd::AnnounceWindowText() {
    if (WidgetOf(m_hWnd) != nullptr) {
        AnnounceAccessibleText(WidgetOf(m_hWnd));
    }
}

void CWnd::SetAccessibleRole(AccessibleRole role) {
    if (WidgetOf(m_hWnd) != nullptr && role == AccessibleRole::StatusBar) {
        ::SetAccessibleRole(WidgetOf(m_hWnd), QAccessible::StatusBar);
    }
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_SETICON && WidgetOf(m_hWnd) != nullptr) {
        if (auto* icon = reinterpret_cast<HICON>(lParam)) {
            WidgetOf(m_hWnd)->setWindowIcon(AfxIconImage(icon));
        }
    }
    return 0;
}

LRESULT CWnd::ControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto* list = qobject_cast<QListWidget*>(WidgetOf(m_hWnd))) {
        switch (message) {
        case LB_RESETCONTENT:
            list->clear();
            return 0;
        case LB_ADDSTRING:
            list->addItem(AnsiToQString(reinterpret_cast<const char*>(lParam)));
            return list->count() - 1;
        default:
            return 0;
        }
    }
    if (auto* combo = qobject_cast<QComboBox*>(WidgetOf(m_hWnd))) {
        switch (message) {
        case CB_ADDSTRING: {
            const QString text = AnsiToQString(reinterpret_cast<const char*>(lParam));
            int at = combo->count();
            if ((m_style & CBS_SORT) != 0) {
                at = 0;
                while (at < combo->count() && CompareNoCase(combo->itemText(at), text) <= 0) {
                    ++at;
                }
            }
            combo->insertItem(at, text);
            return at;
        }
        case CB_SETCURSEL:
            combo->setCurrentIndex(static_cast<int>(wParam));
            return combo->currentIndex();
        case CB_GETCOUNT:
            return combo->count();
        case CB_GETLBTEXTLEN:
        case CB_GETLBTEXT: {
            const int index = static_cast<int>(wParam);
            if (index < 0 || index >= combo->count()) {
                return -1;
            }
            const std::string text = QStringToAnsi(combo->itemText(index));
            if (message == CB_GETLBTEXT && lParam != 0) {
                std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
            }
            return static_cast<LRESULT>(text.size());
        }
        default:
            return 0;
        }
    }
    if (auto* bar = qobject_cast<QProgressBar*>(WidgetOf(m_hWnd))) {
        const int previous = m_pos;
        switch (message) {
        case PBM_SETRANGE:
            m_rangeMin = static_cast<int>(LOWORD(static_cast<std::uintptr_t>(lParam)));
            m_rangeMax = static_cast<int>(HIWORD(static_cast<std::uintptr_t>(lParam)));
            bar->setRange(m_rangeMin, m_rangeMax);
            m_pos = std::clamp(m_pos, m_rangeMin, m_rangeMax);
            break;
        case PBM_SETSTEP:
            m_step = static_cast<int>(wParam);
            return 0;
        case PBM_SETPOS:
            m_pos = std::clamp(static_cast<int>(wParam), m_rangeMin, m_rangeMax);
            break;
        case PBM_STEPIT:
            m_pos += m_step;
            // Past the maximum the bar starts over from its beginning.
            if (m_pos > m_rangeMax && m_rangeMax > m_rangeMin) {
                m_pos = m_rangeMin + (m_pos - m_rangeMin) % (m_rangeMax - m_rangeMin);
            }
            break;
        case PBM_GETPOS:
            return m_pos;
        default:
            return 0;
        }
        // The bar would repaint itself whole at once for some steps and not
        // for others. Only the strip that changed is marked instead, for the
        // event loop or UpdateWindow to paint once; a position that stays
        // marks nothing.
        if (message != PBM_SETRANGE && bar->value() == m_pos) {
            return previous;
        }
        const QRect changed =
            message == PBM_SETRANGE ? bar->rect() : BarStrip(*bar, bar->value(), m_pos);
        bar->setAttribute(Qt::WA_UpdatesDisabled, true);
        bar->setValue(m_pos);
        bar->setAttribute(Qt::WA_UpdatesDisabled, false);
        bar->update(changed);
        MarkUnpainted(bar, changed);
        return previous;
    }
    return 0;
}