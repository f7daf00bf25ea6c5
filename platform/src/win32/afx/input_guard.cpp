// Holding back user input while a transfer holds the thread: what is pending
// is dispatched except input; key presses and close requests are reported to
// the innermost guard first.
#include "platform/afx/input_guard.h"

#include "held_input.h"
#include "system_window.h"

#include <vector>

namespace {
// The observers of the guards that exist, the innermost last.
std::vector<const CInputGuard::Observer*>& Observers() {
    static std::vector<const CInputGuard::Observer*> observers;
    return observers;
}

void Report(UINT message, WPARAM key) {
    if (!Observers().empty() && *Observers().back()) {
        (*Observers().back())(message, key);
    }
}
} // namespace

class CInputGuard::Filter {
public:
    Observer observer;
};

CInputGuard::CInputGuard(Observer observer) {
    m_filter = new Filter{std::move(observer)};
    Observers().push_back(&m_filter->observer);
    win::ShowBusyPointer(true);
}

CInputGuard::~CInputGuard() {
    // Input that arrived meanwhile is dropped before input is let through.
    win::DispatchWithoutInput(Report);
    std::erase(Observers(), &m_filter->observer);
    delete m_filter;
    if (Observers().empty()) {
        win::ShowBusyPointer(false);
    }
}

bool CInputGuard::Active() {
    return !Observers().empty();
}

void CInputGuard::ProcessPendingEvents() {
    win::DispatchWithoutInput(Report);
}

bool HoldBack(UINT message, WPARAM wParam) {
    if (!CInputGuard::Active()) {
        return false;
    }
    if (win::IsCloseRequest(message, wParam)) {
        Report(WM_CLOSE, 0);
        return true;
    }
    return message == WM_COMMAND || message == WM_SYSCOMMAND;
}
