// The program's identity, as the version window and "tavotest --version" show it.
//
// Offers: ProgramVersion, programVersion, versionLine.
#pragma once

#include <QString>

namespace tavo {

struct ProgramVersion {
  QString fileDescription;
  QString title;
  int major;
  int minor;
  int revision;
  QString comments;
  QString legalCopyright;
};

inline ProgramVersion programVersion() {
  return {QStringLiteral("ｶｰﾄﾞﾘｰﾀﾞ ｺﾏﾝﾄﾞ ﾃｽﾄ ﾌﾟﾛｸﾞﾗﾑ"),
          QStringLiteral("Tavotest"),
          4,
          0,
          0,
          QStringLiteral("Bench tool for the card reader/writer/printer: commands, test sequences, "
                         "EEPROM, bitmaps and command files over RS-232C."),
          QStringLiteral("Copyright (C) 2026 The Tavotest developers. All rights reserved.")};
}

// The title line: the title, an ideographic space, "Version " and the three numbers.
inline QString versionLine(const ProgramVersion& v) {
  return v.title + QStringLiteral("　Version ") + QString::number(v.major) + u'.' +
         QString::number(v.minor) + u'.' + QString::number(v.revision);
}

}  // namespace tavo
