// Pacing what assistive technology is told of a widget's changes.
#pragma once

class QWidget;

// From now on the widget's text and value changes are told paced.
void PaceAccessibleUpdates(QWidget* widget);
// Tells the widget's text now, whatever the pacing.
void AnnounceAccessibleText(QWidget* widget);
