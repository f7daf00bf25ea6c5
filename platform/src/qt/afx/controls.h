// The toolkit widgets behind the controls of a layout, and where each goes.
#pragma once

#include "platform/afx/wnd.h"
#include "platform/qt/handles.h"

#include <QRect>
#include <QString>

class QWidget;

// The widget for a control of a layout, with the behaviour its style asks for.
QWidget* CreateControlWidget(const ControlTemplate& control, const DialogBaseUnits& units,
                             QWidget* parent);

// Where the widget goes: its layout rectangle, except that a list that drops
// down keeps only its closed height at the top of its rectangle, and an icon
// takes the icon's own size.
QRect ControlGeometry(const ControlTemplate& control, const DialogBaseUnits& units,
                      QWidget* widget);

int CompareNoCase(const QString& a, const QString& b);

// A control that keeps what has changed in it and is not painted yet; a paint
// that covers it, by the event loop or at once, clears it.
class PendingPaint {
public:
    virtual ~PendingPaint() = default;
    QRect pending;

protected:
    void Painted(const QRect& painted) {
        if (painted.contains(pending)) {
            pending = QRect();
        }
    }
};
// Marks a rectangle of the control as changed and not painted.
void MarkUnpainted(QWidget* widget, const QRect& rect);
// What is changed and not painted, for the caller to paint now.
QRect TakeUnpainted(QWidget* widget);

// Makes screen readers see the widget in the given role (a QAccessible::Role).
void SetAccessibleRole(QWidget* widget, int role);
inline constexpr char kAccessibleRoleProperty[] = "bcuAccessibleRole";
