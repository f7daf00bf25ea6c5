// The widget behind a window handle of the dialog layer, and back.
#pragma once

#include "platform/types.h"

#include <QWidget>

inline QWidget* WidgetOf(HWND window) {
    return reinterpret_cast<QWidget*>(window);
}
inline HWND HwndOf(QWidget* widget) {
    return reinterpret_cast<HWND>(widget);
}
