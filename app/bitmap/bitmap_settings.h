// The bitmap window's keys in the settings file: the picture's folder and path and the five card
// texts, with the marker that says the window has written them.
//
// How it works: the keys sit in the program's settings file beside the main window's, one key at
// a time through the profile functions, so nothing else in the file changes. The main window
// keeps its own marker in [Application] App and rewrites its defaults whenever that marker is
// not its own, so this window keeps its marker in [BMP] App: two markers in one key would make
// each window take the other's file for a foreign one and reset it at every start. A file whose
// [Application] App holds this window's marker (written by earlier versions) counts as written
// too.
//
// Offers: kBitmapMarker, bitmapSettingsWritten, readBitmapSettings, firstRunBitmapSettings,
// writeBitmapSettings (CreateIni), writeBitmapFiles, ReadIni.
#pragma once

#include <QString>

#include "app/core/module1.h"

namespace tavo {

inline const QString kBitmapMarker = QStringLiteral("Tavo-Test3");

// A key's text up to its first NUL; empty when the key, its section or the file is missing.
QString ReadIni(const QString& file, const QString& section, const QString& key);

// Whether the settings file holds this window's keys.
bool bitmapSettingsWritten(const QString& iniFile);

// [BMP] FileDir and FileName, [Text] Line0..Line4 into m.
void readBitmapSettings(Module1& m);

// The first run's values: the program folder, its "ImagePic/BMPDownTest.bmp" and the sample
// card texts.
void firstRunBitmapSettings(Module1& m);

// All keys in the order App, FileDir, FileName, Line1..Line4, Line0. False when a key could not
// be written (the keys written before it stay).
bool writeBitmapSettings(const Module1& m);

// FileDir and FileName only (before a download). False when a key could not be written.
bool writeBitmapFiles(const Module1& m);

}  // namespace tavo
