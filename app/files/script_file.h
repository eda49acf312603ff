// Command files on disk: where a name in the file-name box points, and reading and writing a
// script in the ANSI code page with CR LF line ends.
//
// How it works: a file is read as a whole and each of its lines, however it ended (CR LF, LF or
// CR), gets CR LF, so the editor always holds CR LF lines. A save writes the editor's text as one
// more line: the file gets a further CR LF at its end, and opening it again shows one more empty
// line (which a run ignores). A save replaces the file as a whole, so a failed save leaves the
// file as it was; a text holding a character the code page has no code for is not written at
// all, since the file would hold "?" in its place. Every failure comes with a reason fit for a
// message box (the path is the caller's to name).
//
// Offers: scriptFilePath, readScriptFile, writeScriptFile, kMaxScriptFileBytes.
#pragma once

#include <QString>
#include <optional>

namespace tavo {

// Larger files are not command files (a script has at most 300 lines).
inline constexpr qint64 kMaxScriptFileBytes = 16 * 1024 * 1024;

// The file a name in the file-name box means: an absolute path as it stands, else the name in
// the folder, with one "/" between.
QString scriptFilePath(const QString& folder, const QString& name);

// The file's text as the editor holds it. Nothing, with the reason in *reason, when the path is
// not a regular file, is larger than kMaxScriptFileBytes or cannot be read.
std::optional<QString> readScriptFile(const QString& path, bool japanese, QString* reason);

// Writes the editor's text and one more CR LF. False, with the reason in *reason, when a
// character of the text has no code in the code page (nothing is written) or the file cannot be
// written (the file is as it was).
bool writeScriptFile(const QString& path, const QString& editorText, bool japanese,
                     QString* reason);

}  // namespace tavo
