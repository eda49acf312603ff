#include "app/bitmap/bitmap_settings.h"

#include "app/core/settings_file.h"

namespace tavo {

QString ReadIni(const QString& file, const QString& section, const QString& key) {
  return readProfile(section, key, file);
}

bool bitmapSettingsWritten(const QString& iniFile) {
  return ReadIni(iniFile, QStringLiteral("BMP"), QStringLiteral("App")) == kBitmapMarker ||
         ReadIni(iniFile, QStringLiteral("Application"), QStringLiteral("App")) == kBitmapMarker;
}

void readBitmapSettings(Module1& m) {
  m.bitmapFolder = ReadIni(m.iniFile, QStringLiteral("BMP"), QStringLiteral("FileDir"));
  m.bitmapFile = ReadIni(m.iniFile, QStringLiteral("BMP"), QStringLiteral("FileName"));
  for (int i = 0; i < 5; ++i)
    m.cardLines[i] = ReadIni(m.iniFile, QStringLiteral("Text"), QStringLiteral("Line%1").arg(i));
}

void firstRunBitmapSettings(Module1& m) {
  m.bitmapFolder = withSeparator(m.programFolder);
  m.bitmapFile = m.bitmapFolder + QStringLiteral("ImagePic/BMPDownTest.bmp");
  m.cardLines = {QStringLiteral("　割引乗車券"), QStringLiteral("　地下鉄・バス"),
                 QStringLiteral("　　　一日乗車券　大人"), QString(),
                 QStringLiteral("12.05.16発行　発売額420円")};
}

bool writeBitmapFiles(const Module1& m) {
  bool ok =
      writeProfile(QStringLiteral("BMP"), QStringLiteral("FileDir"), m.bitmapFolder, m.iniFile);
  ok &= writeProfile(QStringLiteral("BMP"), QStringLiteral("FileName"), m.bitmapFile, m.iniFile);
  return ok;
}

bool writeBitmapSettings(const Module1& m) {
  bool ok = writeProfile(QStringLiteral("BMP"), QStringLiteral("App"), kBitmapMarker, m.iniFile);
  ok &= writeBitmapFiles(m);
  for (int i : {1, 2, 3, 4, 0})
    ok &= writeProfile(QStringLiteral("Text"), QStringLiteral("Line%1").arg(i), m.cardLines[i],
                       m.iniFile);
  return ok;
}

}  // namespace tavo
