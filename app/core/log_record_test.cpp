#include "app/core/log_record.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/core/qstring_printer.h"

namespace tavo {
namespace {

TEST(LogRecord, OneLineWithEveryCrTurnedIntoAColon) {
  LogRecordFields f;
  f.number = "000007";
  f.label28 = "Tr1 : 0/ 3\rTr2 : 1/ 3\r";
  f.label29 = "ISO";
  f.label12 = "2.10";
  f.label19 = "TPH rank : 5\rTemp  : 25deg";
  f.label36 = "a\rb";
  f.comment = "line\nbreak";
  const QDateTime when(QDate(2026, 12, 9), QTime(8, 5, 3));
  EXPECT_EQ(logRecordLine(when, f),
            "2026/12/09 08:05:03:Number:000007:Tr1 : 0/ 3:Tr2 : 1/ 3::2.10:TPH rank : 5:Temp  : "
            "25deg::a:b:line:break");
  f.withLabel29 = true;
  EXPECT_EQ(logRecordLine(when, f),
            "2026/12/09 08:05:03:Number:000007:Tr1 : 0/ 3:Tr2 : 1/ 3::ISO:2.10:TPH rank : 5:Temp  "
            ": 25deg::a:b:line:break");
}

TEST(LogRecord, NamesThatLeaveTheFolderAreRefused) {
  QString path, error;
  EXPECT_TRUE(logFilePath("/home/bench", "LOG000", &path, &error));
  EXPECT_EQ(path, "/home/bench/LOG000.dat");
  EXPECT_TRUE(logFilePath("/home/bench/", "unit 7", &path, &error));
  EXPECT_EQ(path, "/home/bench/unit 7.dat");
  for (const QString& bad : {QString(), QStringLiteral("../x"), QStringLiteral("a/b"),
                             QStringLiteral(".."), QStringLiteral("a") + QChar(0)}) {
    error.clear();
    EXPECT_FALSE(logFilePath("/home/bench", bad, &path, &error)) << bad.toStdString();
    EXPECT_FALSE(error.isEmpty());
  }
}

TEST(LogRecord, AppendsInTheAnsiCodePageAndKeepsWhatIsThere) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("LOG000.dat");
  QFile seed(path);
  ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
  seed.write("old\r\n");
  seed.close();
  QString error;
  ASSERT_TRUE(appendLogLine(path, QString::fromUtf16(u"パス"), &error)) << error.toStdString();
  ASSERT_TRUE(appendLogLine(path, "two", &error));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("old\r\n\x83\x70\x83\x58\r\ntwo\r\n"));

  // A folder that is not there: the reason names the path.
  const QString missing = dir.filePath("none/LOG000.dat");
  EXPECT_FALSE(appendLogLine(missing, "x", &error));
  EXPECT_TRUE(error.startsWith(missing)) << error.toStdString();
  EXPECT_FALSE(QFile::exists(missing));
}

}  // namespace
}  // namespace tavo
