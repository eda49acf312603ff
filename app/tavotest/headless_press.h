// tavotest --press OBJECT [--press OBJECT ...] [--set OBJECT=TEXT] [--check OBJECT=on|off]:
// presses buttons of the main window without a window shown, so a canned test (the repeated
// read/write/print test, the print test, the counter read-out) runs from a shell or a CI job.
//
// The presets (box texts, check boxes) are applied first, in order, as a person would type and
// click them; then the port is opened and the buttons are pressed in order, each running to its
// end. The transcript is printed as --run prints it: every log line, every message box as
// "message: TEXT", and after each press one line "=> " + reply type and echo, status and status
// text. Exit status: 0 the presses ran and the last answer's status is in the OK family; 1 the
// last answer's status is not, or the repeated test reported NG (or could not set its data);
// 2 the port did not open or was closed by a failure; 4 a preset or a pressed object is not
// there, not of its kind, hidden or disabled.
//
// Offers: Preset, runPresses.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tavo {

class Form1;

struct Preset {
  enum Kind { Text, Check } kind = Text;
  QString object;
  QString value;  // the text, or "on" / "off"
};

// Splits "OBJECT=VALUE"; false for a missing "=" or an empty object.
bool parsePreset(Preset::Kind kind, const QString& argument, Preset* preset);

int runPresses(Form1& form, const QList<Preset>& presets, const QStringList& presses);

}  // namespace tavo
