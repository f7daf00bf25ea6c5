// The toolkit window behind a dialog: it turns key presses, clicks, close
// requests, tooltips and the right-click menu into the framework's commands
// and messages, and lets none through while an input guard holds input back.
#pragma once

#include "platform/afx/app.h"
#include "platform/afx/dialog.h"
#include "platform/afx/input_guard.h"
#include "platform/qt/ansi.h"
#include "platform/qt/widgets.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QToolTip>

class CDialogWindow : public QDialog {
public:
    CDialogWindow(CDialog* owner, QWidget* parent, Qt::WindowFlags flags)
        : QDialog(parent, flags), m_owner(owner) {}

    QPaintEvent* m_paintEvent = nullptr;
    bool m_ending = false;

    void Command(int id) {
        // A transfer owns the thread: nothing of the window reacts until it ends.
        if (CInputGuard::Active()) {
            return;
        }
        m_owner->WindowProc(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED), 0);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        m_paintEvent = event;
        m_owner->WindowProc(WM_PAINT, 0, 0);
        m_paintEvent = nullptr;
    }

    void keyPressEvent(QKeyEvent* event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        switch (event->key()) {
        case Qt::Key_Escape:
            Command(IDCANCEL);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter presses the push button that has the focus; anywhere else
            // it is the OK command.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                if (button->isEnabled()) {
                    button->click();
                }
            } else {
                Command(IDOK);
            }
            return;
        case Qt::Key_Menu:
        case Qt::Key_F10:
            if (IsMenuKey(event)) {
                ShowWindowMenu(KeyboardMenuPosition());
                return;
            }
            QWidget::keyPressEvent(event);
            return;
        case Qt::Key_F1:
            if (CWinApp* app = AfxGetApp(); plain && app != nullptr) {
                const WPARAM help = MAKEWPARAM(ID_HELP, BN_CLICKED);
                if (const AFX_MSGMAP_ENTRY* entry = app->FindMessageEntry(WM_COMMAND, help)) {
                    app->CallHandler(*entry, help, 0);
                }
            }
            return;
        default:
            QWidget::keyPressEvent(event);
        }
    }

    void closeEvent(QCloseEvent* event) override {
        if (m_ending) {
            event->accept();
            return;
        }
        event->ignore();
        if (!CInputGuard::Active()) {
            m_owner->WindowProc(WM_SYSCOMMAND, SC_CLOSE, 0);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && IsMenuKey(static_cast<QKeyEvent*>(event))) {
            ShowWindowMenu(KeyboardMenuPosition());
            return true;
        }
        if (event->type() != QEvent::ToolTip) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        for (const auto& control : m_owner->m_controls) {
            CString text;
            if (WidgetOf(*control) == widget && control->GetDlgCtrlID() != -1 &&
                m_owner->OnToolTipText(control->GetDlgCtrlID(), text) != FALSE) {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                   DisplayTextToQString(text), widget);
                return true;
            }
        }
        QToolTip::hideText();
        return true;
    }

    void reject() override { Command(IDCANCEL); }
    void accept() override { Command(IDOK); }

    void contextMenuEvent(QContextMenuEvent* event) override { ShowWindowMenu(event->globalPos()); }

    // The window manager owns the title bar's menu; the window's own menu
    // stands in for the system menu. A right click, the Menu key or
    // Shift+F10 opens it.
    void ShowWindowMenu(const QPoint& at) {
        CMenu* menu = m_owner->m_systemMenu.get();
        if (menu == nullptr || CInputGuard::Active()) {
            return;
        }
        QMenu popup(this);
        for (const CMenu::Item& item : menu->Items()) {
            if ((item.flags & MF_SEPARATOR) != 0) {
                popup.addSeparator();
            } else {
                popup.addAction(AnsiToQString(item.text))->setData(item.id);
            }
        }
        if (QAction* chosen = popup.exec(at)) {
            m_owner->WindowProc(
                WM_SYSCOMMAND, chosen->data().toUInt(),
                MAKELPARAM(static_cast<unsigned>(at.x()), static_cast<unsigned>(at.y())));
        }
    }

    // Where a menu opened from the keyboard appears: at the control that has
    // the focus, or at the window's corner.
    QPoint KeyboardMenuPosition() const {
        const QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
        return focus->mapToGlobal(QPoint(0, focus->height() / 2));
    }

    static bool IsMenuKey(const QKeyEvent* key) {
        return key->key() == Qt::Key_Menu ||
               (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    }

private:
    CDialog* m_owner;
};