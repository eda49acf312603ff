// The print layouts of the main window's print test: after "PC" the test sends one fixed series of
// commands chosen by the card type in the type list: a mode setting ("MS:"), for types 1, 4 and 5
// a "GJ:" command of 145 "F", and the print data ("PD:"). A few values read from the device just
// before (the thermal head's rank and temperature, the firmware version) are printed inside the
// data.
//
// The commands are text: ESC (U+001B) and LF (U+000A) stand inside as control characters, the
// half-width katakana as U+FF61..U+FF9F, the kanji and full-width characters as themselves. The
// exchange turns the text into code-page-932 bytes on the wire.
//
// Offers: printTestCommands.
#pragma once

#include <QString>
#include <QStringList>

namespace tavo {

// The commands of the print test for card type 1..5, in sending order; none for any other type
// (0 is the list's blank entry). tphRank, headTemperature and versionText are put into the data
// as given, without checks.
QStringList printTestCommands(int cardType, const QString& tphRank, const QString& headTemperature,
                              const QString& versionText);

}  // namespace tavo
