// What the dialog layer tells assistive technology, and where it goes: the
// toolkit's bridge to the desktop's screen readers, or a sink of a test's.
#pragma once

#include <QAccessibleEvent>

// Replaces where the events that pass the pacing go (null: the toolkit's
// bridge again).
void SetAccessibilitySink(void (*sink)(QAccessibleEvent* event));
