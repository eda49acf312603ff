// What a headless run prints, as it happens, on standard output (UTF-8, one item a line, flushed
// at once so a reader sees each line when it happens): the log box's lines with their leading
// blanks, message boxes as "message: TEXT" (UI scripts add " -> ANSWER"), results and errors.
// Control characters inside a text are written as \r, \n, \t or \xHH, so a line stays one line
// and an ESC in a command never reaches the terminal.
//
// Offers: printLine, escapeText.
#pragma once

#include <QString>

namespace tavo {

QString escapeText(const QString& text);
void printLine(const QString& line);

}  // namespace tavo
