// Holding back user input while the one thread is busy: while a guard exists,
// every window ignores user input and close requests. Key presses and close
// requests are reported to the guard's observer before they are dropped, so
// that whoever set the guard can decide what they mean. The pointer shows
// that the program is busy meanwhile.
#pragma once

#include "platform/afx/constants.h"

#include <functional>

class CInputGuard {
public:
    // Told of each held-back key press (WM_KEYDOWN with VK_ESCAPE, or 0 for
    // any other key) and close request (WM_CLOSE).
    using Observer = std::function<void(UINT message, WPARAM wParam)>;

    explicit CInputGuard(Observer observer);
    ~CInputGuard();
    CInputGuard(const CInputGuard&) = delete;
    CInputGuard& operator=(const CInputGuard&) = delete;

    // Whether a guard exists now.
    static bool Active();
    // Processes what is pending (painting, timers, window-system events)
    // without letting user input through.
    void ProcessPendingEvents();

private:
    class Filter;
    Filter* m_filter = nullptr;
};
