// The Qt side of the dialog layer, for the code that draws or looks at the
// widgets behind its windows: the widget of a window, the dialog font and its
// units, the images of icons.
#pragma once

#include "platform/afx/dialog.h"
#include "platform/afx/wnd.h"
#include "platform/qt/handles.h"
#include "platform/qt/icons.h"

#include <QFont>
#include <QRect>

inline QWidget* WidgetOf(const CWnd& window) {
    return WidgetOf(window.GetSafeHwnd());
}

// The stand-in for a layout's "MS Sans Serif" at the given size: the desktop's
// general font, scaled by pointSize / kLayoutPointSize.
QFont DialogFont(int pointSize);
DialogBaseUnits BaseUnitsOf(const QFont& font);

// The base units a layout is shown with: those of its font, made wide enough
// that every static text of the layout fits its rectangle. The layouts were
// drawn for a narrower face than the desktop's, whose texts would be cut.
DialogBaseUnits UnitsForLayout(const QFont& font, const DialogTemplate& layout);

// What has changed in the window and is not painted yet, in its own
// coordinates; whoever takes it paints it.
QRect TakeUnpainted(const CWnd& window);
