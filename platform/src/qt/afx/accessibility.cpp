// Pacing what assistive technology is told of controls that change many
// times a second during a transfer: a screen reader that is sent every
// status text and every progress step falls behind and drops them, the last
// one included. A paced text is told once it has stood for half a second; a
// paced value when it has moved a tenth of its range or a second has passed,
// and the last of a run of small steps a second later. An announcement is
// told at once, whatever the pacing.
#include "accessibility.h"

#include "controls.h"
#include "platform/qt/accessibility.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <map>

namespace {

constexpr int kTextStandsMs = 500;
constexpr int kValueEveryMs = 1000;

void (*sink)(QAccessibleEvent*) = nullptr;

void OnUpdate(QAccessibleEvent* event);

// Hands an event on to the bridge, past this layer's own handler.
void Forward(QAccessibleEvent* event) {
    if (sink != nullptr) {
        sink(event);
        return;
    }
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(OnUpdate);
}

struct Paced {
    QPointer<QWidget> widget;
    QTimer* textTimer = nullptr;  // the text is told when it fires
    QTimer* valueTimer = nullptr; // a value held back is told when it fires
    int toldValue = -1;
    QElapsedTimer sinceValue;
};

std::map<QObject*, Paced>& PacedWidgets() {
    static std::map<QObject*, Paced> widgets;
    return widgets;
}

void TellName(QWidget* widget) {
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    Forward(&event);
}

void TellValue(QProgressBar* bar, Paced& paced) {
    paced.valueTimer->stop();
    paced.toldValue = bar->value();
    paced.sinceValue.restart();
    QAccessibleValueChangeEvent event(bar, bar->value());
    Forward(&event);
}

void OnUpdate(QAccessibleEvent* event) {
    const auto found = PacedWidgets().find(event->object());
    if (found == PacedWidgets().end() || found->second.widget.isNull()) {
        Forward(event);
        return;
    }
    Paced& paced = found->second;
    if (event->type() == QAccessible::NameChanged) {
        paced.textTimer->start(kTextStandsMs); // a text replaced meanwhile is never told
        return;
    }
    auto* bar = qobject_cast<QProgressBar*>(paced.widget);
    if (event->type() == QAccessible::ValueChanged && bar != nullptr) {
        const int value = bar->value();
        const int tenth = std::max(1, (bar->maximum() - bar->minimum()) / 10);
        if (paced.toldValue < 0 || value == bar->minimum() || value == bar->maximum() ||
            std::abs(value - paced.toldValue) >= tenth ||
            paced.sinceValue.elapsed() >= kValueEveryMs) {
            TellValue(bar, paced);
        } else if (!paced.valueTimer->isActive()) {
            paced.valueTimer->start(kValueEveryMs);
        }
        return;
    }
    Forward(event);
}

} // namespace

void SetAccessibilitySink(void (*newSink)(QAccessibleEvent* event)) {
    sink = newSink;
}

void PaceAccessibleUpdates(QWidget* widget) {
    static const bool installed = [] {
        QAccessible::installUpdateHandler(OnUpdate);
        return true;
    }();
    (void)installed;
    Paced& paced = PacedWidgets()[widget];
    paced.widget = widget;
    paced.sinceValue.start();
    paced.textTimer = new QTimer(widget);
    paced.textTimer->setSingleShot(true);
    QObject::connect(paced.textTimer, &QTimer::timeout, widget, [widget] { TellName(widget); });
    paced.valueTimer = new QTimer(widget);
    paced.valueTimer->setSingleShot(true);
    QObject::connect(paced.valueTimer, &QTimer::timeout, widget, [widget] {
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
            TellValue(bar, PacedWidgets()[widget]);
        }
    });
    QObject::connect(widget, &QObject::destroyed, [widget] { PacedWidgets().erase(widget); });
}

// Screen readers speak a notification when it is shown, wherever the focus
// is; a status bar's change of name they speak only where the focus is. The
// window keeps one such notification, never drawn, that carries what is
// announced.
QWidget* Announcer(QWidget* window) {
    static constexpr char kName[] = "bcuAnnouncer";
    if (auto* announcer = window->findChild<QWidget*>(QLatin1String(kName))) {
        return announcer;
    }
    auto* announcer = new QWidget(window);
    announcer->setObjectName(QLatin1String(kName));
    announcer->hide();
    SetAccessibleRole(announcer, QAccessible::Notification);
    return announcer;
}

void AnnounceAccessibleText(QWidget* widget) {
    const auto found = PacedWidgets().find(widget);
    if (found != PacedWidgets().end()) {
        found->second.textTimer->stop();
    }
    if (!QAccessible::isActive()) {
        return;
    }
    TellName(widget);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    QWidget* announcer = Announcer(widget->window());
    announcer->setAccessibleName(face != nullptr ? face->text(QAccessible::Name) : QString());
    QAccessibleEvent shown(announcer, QAccessible::ObjectShow);
    Forward(&shown);
}
