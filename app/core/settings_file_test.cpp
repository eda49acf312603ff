#include "app/core/settings_file.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace tavo {
namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home.isValid());
    m.programFolder = home.path();
    m.iniFile = settingsPath(home.path());
  }
  QTemporaryDir home;
  Module1 m;
};

TEST_F(SettingsFileTest, FirstStartWritesTheDefaultsAndReadsThem) {
  m.baudRate = 1;
  m.handshaking = 2;
  const WindowPlace place = readStartupSettings(m);
  EXPECT_EQ(place.left, 0);
  EXPECT_EQ(place.top, 0);
  EXPECT_EQ(m.baudRate, 9600);
  EXPECT_EQ(m.parity, 2);
  EXPECT_EQ(m.dataBits, 8);
  EXPECT_EQ(m.stopBits, 1.0f);
  EXPECT_EQ(m.portNumber, 1);
  EXPECT_EQ(m.handshaking, 0);  // the file's default, not the start-up value
  EXPECT_EQ(m.dataPath, home.path() + "/");
  const QByteArray text = readAll(m.iniFile);
  EXPECT_EQ(text, "[Application]\r\nApp=Tavo Emuletor Program 4\r\n\r\n[Data]\r\nPath=" +
                      (home.path() + "/").toUtf8() +
                      "\r\n\r\n[Comm]\r\nPort=1\r\nBoud=9600\r\nParity=2\r\nDataBit=8\r\n"
                      "StopBit=1\r\nHandshake=0\r\nLineCheck=True\r\n\r\n[Timer]\r\nTimer1=5000\r\n"
                      "Timer2=1000\r\n");
}

TEST_F(SettingsFileTest, LenientValuesAndTheLogFallback) {
  writeAll(m.iniFile,
           "; bench 3\r\n[Application]\r\nApp=Tavo Emuletor Program 4\r\n[Comm]\r\n"
           "Boud=19200abc\r\nParity= 1\r\nStopBit=1.5\r\nPort=x\r\nHandshake=3.5\r\n"
           "[Display]\r\nLeft=1500\r\nTop=-30\r\n[Data]\r\nPath=\r\n");
  const WindowPlace place = readStartupSettings(m);
  EXPECT_EQ(m.baudRate, 19200);
  EXPECT_EQ(m.parity, 1);
  EXPECT_EQ(m.stopBits, 1.5f);
  EXPECT_EQ(m.portNumber, 0);   // unparsable reads 0
  EXPECT_EQ(m.handshaking, 4);  // 3.5 rounds half to even
  EXPECT_EQ(m.dataBits, 0);     // missing reads 0
  EXPECT_EQ(place.left, 1500);
  EXPECT_EQ(place.top, -30);
  EXPECT_EQ(m.dataPath, home.path() + "/log");
  EXPECT_TRUE(readAll(m.iniFile).startsWith("; bench 3\r\n"));  // a valid file is not rewritten
}

TEST_F(SettingsFileTest, ForeignFileGetsTheDefaultsKeyByKey) {
  writeAll(m.iniFile,
           "[Application]\r\nApp=Something else\r\n[Mine]\r\nKeep=1\r\n[Comm]\r\nBoud=4800\r\n");
  readStartupSettings(m);
  EXPECT_EQ(m.baudRate, 9600);
  EXPECT_EQ(readProfile("Mine", "Keep", m.iniFile), "1");
  EXPECT_EQ(readProfile("Application", "App", m.iniFile), "Tavo Emuletor Program 4");
}

TEST_F(SettingsFileTest, ShutDownAndCommSetRoundTrip) {
  readStartupSettings(m);
  m.baudRate = 115200;
  m.parity = 0;
  m.dataBits = 7;
  m.stopBits = 2.0f;
  m.portNumber = 12;
  m.handshaking = 4;
  m.dataPath = QString::fromUtf16(u"/data/ログ");
  ASSERT_TRUE(writeShutdownSettings(m, WindowPlace{4500, 300}));
  Module1 again;
  again.programFolder = m.programFolder;
  again.iniFile = m.iniFile;
  const WindowPlace place = readStartupSettings(again);
  EXPECT_EQ(place.left, 4500);
  EXPECT_EQ(place.top, 300);
  EXPECT_EQ(again.baudRate, 115200);
  EXPECT_EQ(again.parity, 0);
  EXPECT_EQ(again.dataBits, 7);
  EXPECT_EQ(again.stopBits, 2.0f);
  EXPECT_EQ(again.portNumber, 12);
  EXPECT_EQ(again.handshaking, 4);
  EXPECT_EQ(again.dataPath, m.dataPath);
  // Text in the file is the ANSI code page.
  EXPECT_TRUE(readAll(m.iniFile).contains("Path=/data/\x83\x8D\x83\x4F"));

  m.stopBits = 1.5f;
  ASSERT_TRUE(writeCommSettings(m));
  EXPECT_EQ(readProfile("Timer", "Timer1", m.iniFile), "0");
  EXPECT_EQ(readProfile("Timer", "Timer2", m.iniFile), "0");
  EXPECT_EQ(readProfile("Comm", "StopBit", m.iniFile), "1.5");
  EXPECT_EQ(readProfile("Comm", "LineCheck", m.iniFile), "True");
}

TEST_F(SettingsFileTest, UnwritableFolderIsReported) {
  m.programFolder = home.path() + "/missing";
  m.iniFile = settingsPath(m.programFolder);
  EXPECT_FALSE(writeDefaultSettings(m));
  EXPECT_FALSE(writeCommSettings(m));
  EXPECT_EQ(readProfile("Comm", "Boud", m.iniFile), "");
  readStartupSettings(m);  // no file: every value reads 0, the data folder falls back
  EXPECT_EQ(m.baudRate, 0);
  EXPECT_EQ(m.dataPath, home.path() + "/missing/log");
}

TEST(SettingsPath, SeparatorAddedOnce) {
  EXPECT_EQ(settingsPath("/opt/tavo"), "/opt/tavo/Marlo4.ini");
  EXPECT_EQ(settingsPath("/opt/tavo/"), "/opt/tavo/Marlo4.ini");
}

}  // namespace
}  // namespace tavo
