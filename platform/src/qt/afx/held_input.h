// What assistive technology is told of the controls while user input is held
// back.
#pragma once

class QAccessibleInterface;
class QObject;

// The description of a control that takes input; null for any other object.
QAccessibleInterface* AccessibleForHeldInput(QObject* object);
// Tells assistive technology that the controls of the shown windows that take
// input have become unavailable, or available again.
void TellInputHeld();
