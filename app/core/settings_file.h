// The settings file "Marlo4.ini" in the program folder: the port parameters, the data folder and
// the main window's position, read at start-up, written by the port settings window and at
// shut-down. Every access is one key through the platform's profile functions, so lines and keys
// the program does not know stay as they are. Keys and values are text in the ANSI code page;
// numbers are written in plain decimal and read leniently (a value that does not parse reads 0).
//
// Offers: settingsPath, withSeparator, readProfile, writeProfile, writeDefaultSettings,
// readStartupSettings, writeShutdownSettings, writeCommSettings, WindowPlace.
#pragma once

#include <QString>

#include "app/core/module1.h"

namespace tavo {

// folder + "/" (when it does not end with one).
QString withSeparator(const QString& folder);
// The settings file of a program folder.
QString settingsPath(const QString& programFolder);

// The key's value; empty when the key, its section or the file is missing.
QString readProfile(const QString& section, const QString& key, const QString& file);
// Writes one key, creating the file or section as needed. False when the file could not be
// written (it is then left as it was).
bool writeProfile(const QString& section, const QString& key, const QString& value,
                  const QString& file);

// [Application] App, [Data] Path (the program folder with its separator), [Comm] Port 1,
// Boud 9600, Parity 2, DataBit 8, StopBit 1, Handshake 0, LineCheck True, [Timer] Timer1 5000,
// Timer2 1000. Other keys stay. False when a key could not be written.
bool writeDefaultSettings(const Module1& m);

// The main window's position in twips; none when the file holds none (0 then).
struct WindowPlace {
  int left = 0;
  int top = 0;
};

// Start-up: replaces a missing or foreign file by the defaults, then reads the window position,
// the port settings and the data folder (the program folder's "log" when [Data] Path is empty).
// m.programFolder and m.iniFile must be set.
WindowPlace readStartupSettings(Module1& m);

// Shut-down: the window position, the port settings and the data folder. False when a key could
// not be written.
bool writeShutdownSettings(const Module1& m, const WindowPlace& place);

// The port settings window's "Comm Set": [Data] Path, [Timer] Timer1/Timer2 (timer1Setting,
// timer2Setting), [Comm] Port, Boud, Parity, DataBit, StopBit, Handshake. False when a key could
// not be written.
bool writeCommSettings(const Module1& m);

}  // namespace tavo
