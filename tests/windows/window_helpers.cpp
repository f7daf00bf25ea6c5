#include "window_helpers.h"

#include <windows.h>

#include <commctrl.h>

namespace helpers {

namespace {
HWND H(void* window) {
    return static_cast<HWND>(window);
}
} // namespace

bool CanMakeWindows() {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return !wine || GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0;
}

void InitControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}

std::string ClassOf(void* window) {
    char name[128] = {};
    GetClassNameA(H(window), name, sizeof name);
    return name;
}

Place PlaceOf(void* window) {
    RECT rect{};
    GetWindowRect(H(window), &rect);
    MapWindowPoints(nullptr, GetParent(H(window)), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

Place ClientOf(void* window) {
    RECT rect{};
    GetClientRect(H(window), &rect);
    return {0, 0, rect.right, rect.bottom};
}

Place DialogUnitsToPixels(void* dialog, int x, int y, int cx, int cy) {
    RECT rect{x, y, x + cx, y + cy};
    MapDialogRect(H(dialog), &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::vector<void*> Children(void* window) {
    std::vector<void*> children;
    for (HWND child = GetWindow(H(window), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

std::string LastSystemMenuItem(void* window) {
    HMENU menu = GetSystemMenu(H(window), FALSE);
    const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
    char text[256] = {};
    if (count > 0) {
        GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
    }
    return text;
}

std::intptr_t SendTo(void* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return SendMessageW(H(window), message, wParam, lParam);
}

void PostTo(void* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    PostMessageW(H(window), message, wParam, lParam);
}

void Pump(void* dialog) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (IsDialogMessageW(H(dialog), &message) == FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace helpers
