// Dialog units in pixels, as a layout's rectangles are placed on every system.
#include "platform/afx/wnd.h"

int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

PixelRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
    const int left = MulDiv(x, units.cx, 4);
    const int top = MulDiv(y, units.cy, 8);
    const int right = MulDiv(x + cx, units.cx, 4);
    const int bottom = MulDiv(y + cy, units.cy, 8);
    return {left, top, right - left, bottom - top};
}
