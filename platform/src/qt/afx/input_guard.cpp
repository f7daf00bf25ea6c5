// Holding back user input: an application-wide event filter that drops input
// and close requests, after telling the guard's observer of key presses and
// close requests.
#include "platform/afx/input_guard.h"
#include "platform/qt/widgets.h"

#include "held_input.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>

namespace {
int guards = 0;
} // namespace

class CInputGuard::Filter : public QObject {
public:
    explicit Filter(Observer observer) : m_observer(std::move(observer)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const bool escape = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
            Tell(WM_KEYDOWN, escape ? VK_ESCAPE : 0);
            return true;
        }
        case QEvent::Close:
            event->ignore();
            Tell(WM_CLOSE, 0);
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            return true;
        default:
            return false;
        }
    }

private:
    void Tell(UINT message, WPARAM wParam) {
        if (m_observer) {
            m_observer(message, wParam);
        }
    }

    Observer m_observer;
};

CInputGuard::CInputGuard(Observer observer) {
    ++guards;
    if (QCoreApplication::instance() != nullptr) {
        m_filter = new Filter(std::move(observer));
        QCoreApplication::instance()->installEventFilter(m_filter);
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            if (guards == 1) {
                TellInputHeld();
            }
        }
    }
}

CInputGuard::~CInputGuard() {
    if (m_filter != nullptr) {
        if (QCoreApplication::instance() != nullptr) {
            // Input that arrived meanwhile has been dropped; what is still
            // queued is flushed before the filter goes.
            QCoreApplication::processEvents();
            QCoreApplication::instance()->removeEventFilter(m_filter);
            if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
                QApplication::restoreOverrideCursor();
            }
        }
        delete m_filter;
    }
    if (--guards == 0 && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        TellInputHeld();
    }
}

bool CInputGuard::Active() {
    return guards > 0;
}

void CInputGuard::ProcessPendingEvents() {
    if (m_filter != nullptr) {
        QCoreApplication::processEvents();
    }
}
