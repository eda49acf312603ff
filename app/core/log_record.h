// Log records: one line per record appended to a file in the program folder, so a test engineer
// keeps the device's state and the test results of each unit in one place.
//
// How it works: logRecordLine puts the date and time, the record number and the result labels
// into one line, every CR inside it turned into ":" (labels hold several lines); appendLogLine
// adds that line and CR LF at the end of the file in the ANSI code page, creating the file when
// it is missing and never shortening or rewriting what is there.
//
// Offers: LogRecordFields, logRecordLine, logFilePath, appendLogLine.
#pragma once

#include <QDateTime>
#include <QString>

namespace tavo {

struct LogRecordFields {
  QString number;   // Text16
  QString label28;  // track results
  QString label29;  // the second round's track results ("Save" only)
  bool withLabel29 = false;
  QString label12;  // version
  QString label19;  // TPH rank, band, temperature
  QString label42;  // erase rank
  QString label36;  // counters
  QString comment;  // Text11
};

// "yyyy/MM/dd hh:mm:ss:Number:" + number, then the fields, separated by ":".
QString logRecordLine(const QDateTime& when, const LogRecordFields& fields);

// The file of the name in the log-name box: folder + "/" + name + ".dat". False, with the reason,
// for a name that is empty or would leave the folder (a "/" or a NUL in it, or "." / "..").
bool logFilePath(const QString& folder, const QString& name, QString* path, QString* error);

// Appends line + CR LF. False, with the path and the system's reason, when the file cannot be
// opened or the whole line cannot be written (what was there stays as it was).
bool appendLogLine(const QString& path, const QString& line, QString* error);

}  // namespace tavo
