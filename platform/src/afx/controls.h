// The toolkit widgets behind the controls of a layout, and where each goes.
#pragma once

#include "platform/afx/wnd.h"

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
