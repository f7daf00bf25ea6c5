// What the window tests ask of the system directly, behind plain types: the
// tests' own code sees the framework's headers, which the system's clash with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace helpers {

// Whether windows can be made here: not under Wine without a display.
bool CanMakeWindows();

// The common controls' classes (the progress bar), as a program registers them.
void InitControls();

struct Place {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Place&) const = default;
};

// The system's class name of a window.
std::string ClassOf(void* window);
// Where a control is in its parent's client area, in pixels.
Place PlaceOf(void* window);
// The client area's size, in pixels.
Place ClientOf(void* window);
// A rectangle in the dialog's units, as the system maps it for that dialog.
Place DialogUnitsToPixels(void* dialog, int x, int y, int cx, int cy);
std::vector<void*> Children(void* window);
// The text of the last item of the window's system menu.
std::string LastSystemMenuItem(void* window);
std::intptr_t SendTo(void* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
void PostTo(void* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// Runs what is pending in this thread's queue through the dialog manager.
void Pump(void* dialog);
constexpr unsigned kButtonClick = 0x00F5; // BM_CLICK

} // namespace helpers
