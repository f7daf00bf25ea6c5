// What assistive technology is told of a control while user input is held
// back: the toolkit's own description of the control, except that a control
// the user could otherwise work is reported unavailable, and its actions do
// nothing, until the input is let through again. What is drawn is untouched.
// A drop-down list keeps the name it was given.
#include "held_input.h"

#include "platform/afx/input_guard.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

bool creatingInner = false;

bool HoldsInput(QObject* object) {
    return qobject_cast<QAbstractButton*>(object) != nullptr ||
           qobject_cast<QComboBox*>(object) != nullptr ||
           qobject_cast<QLineEdit*>(object) != nullptr;
}

class HeldInputAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit HeldInputAccessible(QAccessibleInterface* inner) : m_inner(inner) {}
    ~HeldInputAccessible() override {
        // The toolkit's own description is in its cache; it goes with this one.
        if (QAccessible::Id id = QAccessible::uniqueId(m_inner)) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    bool isValid() const override { return m_inner->isValid(); }
    QObject* object() const override { return m_inner->object(); }
    QWindow* window() const override { return m_inner->window(); }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        return m_inner->relations(match);
    }
    QAccessibleInterface* focusChild() const override { return m_inner->focusChild(); }
    QAccessibleInterface* childAt(int x, int y) const override { return m_inner->childAt(x, y); }
    QAccessibleInterface* parent() const override { return m_inner->parent(); }
    QAccessibleInterface* child(int index) const override { return m_inner->child(index); }
    int childCount() const override { return m_inner->childCount(); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return m_inner->indexOfChild(child);
    }
    QString text(QAccessible::Text kind) const override {
        auto* widget = qobject_cast<QWidget*>(object());
        // The toolkit names a drop-down list by its value on some systems,
        // whatever name it was given.
        if (kind == QAccessible::Name && qobject_cast<QComboBox*>(widget) != nullptr &&
            !widget->accessibleName().isEmpty()) {
            return widget->accessibleName();
        }
        return m_inner->text(kind);
    }
    void setText(QAccessible::Text kind, const QString& text) override {
        m_inner->setText(kind, text);
    }
    QRect rect() const override { return m_inner->rect(); }
    QAccessible::Role role() const override { return m_inner->role(); }
    QAccessible::State state() const override {
        QAccessible::State state = m_inner->state();
        if (CInputGuard::Active() && HoldsInput(object())) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }
    QColor foregroundColor() const override { return m_inner->foregroundColor(); }
    QColor backgroundColor() const override { return m_inner->backgroundColor(); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) {
            return InnerActions() != nullptr ? static_cast<QAccessibleActionInterface*>(this)
                                             : nullptr;
        }
        return m_inner->interface_cast(type);
    }

    // The toolkit's actions, done only while input is let through.
    QStringList actionNames() const override { return InnerActions()->actionNames(); }
    QString localizedActionName(const QString& name) const override {
        return InnerActions()->localizedActionName(name);
    }
    QString localizedActionDescription(const QString& name) const override {
        return InnerActions()->localizedActionDescription(name);
    }
    void doAction(const QString& name) override {
        if (!CInputGuard::Active()) {
            InnerActions()->doAction(name);
        }
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return InnerActions()->keyBindingsForAction(name);
    }

private:
    QAccessibleActionInterface* InnerActions() const { return m_inner->actionInterface(); }

    QAccessibleInterface* m_inner;
};

} // namespace

QAccessibleInterface* AccessibleForHeldInput(QObject* object) {
    if (creatingInner || !HoldsInput(object)) {
        return nullptr;
    }
    // The toolkit's own description, made by its factory as if this one were
    // not installed.
    creatingInner = true;
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(object);
    creatingInner = false;
    return inner != nullptr ? new HeldInputAccessible(inner) : nullptr;
}

void TellInputHeld() {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessible::State changed;
    changed.disabled = true;
    changed.focusable = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) {
            continue;
        }
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (HoldsInput(widget) && widget->isEnabled() && widget->isVisible()) {
                QAccessibleStateChangeEvent event(widget, changed);
                QAccessible::updateAccessibility(&event);
            }
        }
    }
}
