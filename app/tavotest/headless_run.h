// tavotest --run FILE: runs a command file with the main window's whole machinery and no window
// shown, then shuts down as "Quit" does.
//
// The port is opened first; a port that cannot be opened ends the run with its reason. Each
// command line goes through the command entry and "Send" as a person would, and is followed by
// one line "=> " + reply type and echo, status and status text. Exit status: 0 the script ran to
// its end, 1 Error Stop ended it, 2 the port was closed by a failure (or never opened), 4 the
// file could not be read or a LOOP line names no line of the file.
//
// With a reconnect time (--reconnect SECONDS), a port that closes during the run (the device gave
// no answer, or went away) is opened again, once a second, and the run goes on with its next
// line; "reconnected" is printed when it opens. Only when it stays shut for that long does the
// run end with status 2. This is how a bench is left running for hours against a device that is
// switched off and on, or unplugged, now and then.
//
// Offers: runCommandFile, printResultLine.
#pragma once

#include <QString>

namespace tavo {

class Form1;

int runCommandFile(Form1& form, const QString& file, bool errorStop, int reconnectSeconds = 0);

// Prints "=> " + the reply type and echo, the status and the status text the window shows.
void printResultLine(Form1& form);

}  // namespace tavo
