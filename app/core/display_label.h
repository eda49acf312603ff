// Display labels: the sunken, selectable labels the windows show values in.
//
// How it works: a display keeps the text it was given, lines separated by CR as the device's
// values, log records and scripts use them, in a property of the label, and shows each CR as a line
// break. displayText gives back the kept text (for a label that was never set this way, what it
// shows).
//
// Offers: makeDisplayLabel, setDisplayText, displayText.
#pragma once

#include <QString>

class QLabel;

namespace tavo {

// A display label named name (its objectName), at least minWidth pixels wide.
QLabel* makeDisplayLabel(const QString& name, int minWidth);

void setDisplayText(QLabel* label, const QString& text);
QString displayText(const QLabel* label);

}  // namespace tavo
