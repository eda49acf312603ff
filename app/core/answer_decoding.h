// Answer decoding: what an answer means beyond its type, echo and status, shown in the result
// fields of the main window.
//
// How it works: after comu has its answer (and "Fast mode" is off), decodeAnswer looks at the
// command that was sent and takes the answer's data apart into the fields that command fills:
// the status text of "ST", the version of "VS", the TPH rank and head temperature of "TH", the
// track results of "RC", the track data of "DT", the clock of "CK", the counter of a "CT" and the
// sensor voltages of "!!s" / "!!l". Positions count from 1 on replyText: "A", two characters of
// echo, two of status, then the data. A reply too short for a field leaves that field alone (or,
// where the window shows "the data", shows the whole reply), never reads past its end.
//
// The status lamp (lampFor) turns the status and reply type into one of four colours.
//
// Offers: ShowText, decodeAnswer, replyData, Lamp, lampFor, lampColour, voltsText.
#pragma once

#include <QColor>
#include <QString>
#include <functional>

#include "app/core/module1.h"

namespace tavo {

// Sets the text of a main-window control by its name ("Label12", "Text32(2)").
using ShowText = std::function<void(const QString& name, const QString& text)>;

// The data of a reply: replyText from position 6, or all of it when it is shorter than 6.
QString replyData(const QString& replyText);

// Decodes m.replyText by the command sent (m.commandText; m.maskedCommand for a command shown as
// "**") into the result fields, and keeps versionText, tphRank and headTemperature in m. Changes
// nothing else.
void decodeAnswer(Module1& m, const ShowText& show);

enum class Lamp { BrightGreen, Yellow, BrightRed, ButtonFace };

// The lamp for the status label's text and the reply label's text: "90..." green; otherwise by
// the reply type, "B" yellow, "R" green, "A" red, anything else the button face.
Lamp lampFor(const QString& label25, const QString& label10);
// The console palette's colour of a lamp (colours 10, 14, 12); the button face has none (an
// invalid colour: the window's own palette then applies).
QColor lampColour(Lamp lamp);

// Five two-character hexadecimal fields from `from` (0-based) as volts (5 x value / 255), each
// with two decimals, separated by single blanks.
QString voltsText(const QString& text, qsizetype from);

}  // namespace tavo
