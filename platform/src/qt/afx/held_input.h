// What assistive technology is told of the controls while user input is held
// back, and which label names a list or field.
#pragma once

class QAccessibleInterface;
class QObject;

// The description of a control that takes input, or of a list or field that
// a label names; null for any other object.
QAccessibleInterface* AccessibleForHeldInput(QObject* object);
// Tells assistive technology that the controls of the shown windows that take
// input have become unavailable, or available again.
void TellInputHeld();
