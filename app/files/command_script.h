// Command files: small scripts of device commands, one step per line, and the one run loop that
// both the headless run (tavotest --run) and the command-file window use.
//
// Line format: the first six characters are the line's key (compared without regard to case);
// "END" ends the run; "LOOP" jumps back (next line: target line number; the line after: the
// total number of passes); "POLL" polls once; "WAIT" waits (next line: seconds, fractions
// allowed); any other line longer than six characters sends characters 7.. as a command, exactly
// as if typed into the main window's command entry; shorter lines are comments. Lines are
// numbered from 1; only lines ended by CR LF count, and at most 300.
//
// The run loop is told what to do through RunHost, so it knows nothing of windows: after each
// step it ends when the port is closed or a stop was asked for (a stop asked for while events ran
// between two steps ends it before the next step), and with Error Stop after a
// command whose status does not begin with "0" or "9". A loop whose target is not a line of the
// script, and a LOOP line met while another LOOP line's passes are being counted (there is one
// loop counter, so loops cannot nest), end the run with a message naming the line, instead of
// running off or forever. Every run therefore ends: each jump back uses up a pass of the one
// loop that counts, and a finished loop is never entered again.
//
// Offers: sampleScript, splitScriptLines, scriptTextFromFile, RunHost, RunEnd, runScript.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavo {

inline constexpr int kMaxScriptLines = 300;

// The script the command-file window starts with: a poll, "PA", then a card cycle (out, in,
// clear, print a line, out, a second's wait) 1000 times. CR LF after every line.
QString sampleScript();

// The lines of a script text: every line that ends with CR LF, at most 300; the text after the
// last CR LF is not a line.
QStringList splitScriptLines(const QString& scriptText);

// A file's bytes (ANSI code page) as the editor holds them: each line, however it ended, followed
// by CR LF.
QString scriptTextFromFile(const QByteArray& bytes);

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual void yield() = 0;
  // Run displays: line number, loop counter, current command ("POLL", "wait", "end" or the
  // command), wait time text.
  virtual void showLine(int line) = 0;
  virtual void showLoop(int loopRemaining) = 0;
  virtual void showCommand(const QString& text) = 0;
  virtual void showWait(const QString& text) = 0;
  virtual void poll() = 0;
  // Sends a command through the main window's command entry; returns when the exchange is over.
  virtual void send(const QString& command) = 0;
  virtual void waitSeconds(float seconds) = 0;
  virtual bool portOpen() = 0;
  virtual bool stopRequested() = 0;
  virtual QString replyStatus() = 0;
  // Tells the operator something (a bad loop line).
  virtual void report(const QString& text) = 0;
};

enum class RunEnd {
  Finished,    // an END line, or past the last line
  ErrorStop,   // Error Stop after a command whose status was not good
  PortClosed,  // the port was closed (or never open)
  Stopped,     // a stop was asked for
  BadLoop,     // a LOOP line whose target is not a line of the script, or a nested LOOP
};

// Runs the lines (numbered from 1) from the first.
RunEnd runScript(const QStringList& lines, bool errorStop, bool japanese, RunHost& host);

}  // namespace tavo
