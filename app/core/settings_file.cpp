#include "app/core/settings_file.h"

#include <QFile>
#include <vector>

#include "app/core/text_utils.h"
#include "platform/profile/profile.h"

namespace tavo {
namespace {

const QString kAppMarker = QStringLiteral("Tavo Emuletor Program 4");

QByteArray fileName(const QString& path) {
  return QFile::encodeName(path);
}

void writeCommKeys(const Module1& m, bool* ok) {
  const QString& f = m.iniFile;
  *ok &= writeProfile("Comm", "Boud", plainNumber(m.baudRate), f);
  *ok &= writeProfile("Comm", "Parity", plainNumber(m.parity), f);
  *ok &= writeProfile("Comm", "DataBit", plainNumber(m.dataBits), f);
  *ok &= writeProfile("Comm", "StopBit", plainNumber(m.stopBits), f);
  *ok &= writeProfile("Comm", "Port", plainNumber(m.portNumber), f);
  *ok &= writeProfile("Comm", "Handshake", plainNumber(m.handshaking), f);
}

}  // namespace

QString withSeparator(const QString& folder) {
  return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString settingsPath(const QString& programFolder) {
  return withSeparator(programFolder) + QStringLiteral("Marlo4.ini");
}

QString readProfile(const QString& section, const QString& key, const QString& file) {
  std::vector<char> buffer(1024, '\0');
  const win::DWORD n = win::GetPrivateProfileStringA(
      toAnsi(section).constData(), toAnsi(key).constData(), "", buffer.data(),
      static_cast<win::DWORD>(buffer.size()), fileName(file).constData());
  const QByteArray value(buffer.data(), static_cast<qsizetype>(n));
  return fromAnsi(value.left(value.indexOf('\0') < 0 ? value.size() : value.indexOf('\0')));
}

bool writeProfile(const QString& section, const QString& key, const QString& value,
                  const QString& file) {
  return win::WritePrivateProfileStringA(toAnsi(section).constData(), toAnsi(key).constData(),
                                         toAnsi(value).constData(),
                                         fileName(file).constData()) != 0;
}

bool writeDefaultSettings(const Module1& m) {
  const QString& f = m.iniFile;
  bool ok = writeProfile("Application", "App", kAppMarker, f);
  ok &= writeProfile("Data", "Path", withSeparator(m.programFolder), f);
  ok &= writeProfile("Comm", "Port", "1", f);
  ok &= writeProfile("Comm", "Boud", "9600", f);
  ok &= writeProfile("Comm", "Parity", "2", f);
  ok &= writeProfile("Comm", "DataBit", "8", f);
  ok &= writeProfile("Comm", "StopBit", "1", f);
  ok &= writeProfile("Comm", "Handshake", "0", f);
  ok &= writeProfile("Comm", "LineCheck", "True", f);
  ok &= writeProfile("Timer", "Timer1", "5000", f);
  ok &= writeProfile("Timer", "Timer2", "1000", f);
  return ok;
}

WindowPlace readStartupSettings(Module1& m) {
  const QString& f = m.iniFile;
  if (readProfile("Application", "App", f) != kAppMarker) writeDefaultSettings(m);
  WindowPlace place;
  place.left = roundToInt32(valNumber(readProfile("Display", "Left", f)));
  place.top = roundToInt32(valNumber(readProfile("Display", "Top", f)));
  m.baudRate = roundToInt32(valNumber(readProfile("Comm", "Boud", f)));
  m.parity = roundToInt16(valNumber(readProfile("Comm", "Parity", f)));
  m.dataBits = roundToInt16(valNumber(readProfile("Comm", "DataBit", f)));
  m.stopBits = static_cast<float>(valNumber(readProfile("Comm", "StopBit", f)));
  m.portNumber = roundToInt32(valNumber(readProfile("Comm", "Port", f)));
  m.handshaking = roundToInt16(valNumber(readProfile("Comm", "Handshake", f)));
  m.dataPath = readProfile("Data", "Path", f);
  if (m.dataPath.isEmpty()) m.dataPath = withSeparator(m.programFolder) + QStringLiteral("log");
  return place;
}

bool writeShutdownSettings(const Module1& m, const WindowPlace& place) {
  const QString& f = m.iniFile;
  bool ok = writeProfile("Display", "Left", plainNumber(place.left), f);
  ok &= writeProfile("Display", "Top", plainNumber(place.top), f);
  writeCommKeys(m, &ok);
  ok &= writeProfile("Data", "Path", m.dataPath, f);
  return ok;
}

bool writeCommSettings(const Module1& m) {
  const QString& f = m.iniFile;
  bool ok = writeProfile("Data", "Path", m.dataPath, f);
  ok &= writeProfile("Timer", "Timer1", plainNumber(m.timer1Setting), f);
  ok &= writeProfile("Timer", "Timer2", plainNumber(m.timer2Setting), f);
  ok &= writeProfile("Comm", "Port", plainNumber(m.portNumber), f);
  ok &= writeProfile("Comm", "Boud", plainNumber(m.baudRate), f);
  ok &= writeProfile("Comm", "Parity", plainNumber(m.parity), f);
  ok &= writeProfile("Comm", "DataBit", plainNumber(m.dataBits), f);
  ok &= writeProfile("Comm", "StopBit", plainNumber(m.stopBits), f);
  ok &= writeProfile("Comm", "Handshake", plainNumber(m.handshaking), f);
  return ok;
}

}  // namespace tavo
