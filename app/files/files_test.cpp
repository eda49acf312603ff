// Command files on disk (bytes, line ends, refusals, a failed save keeping the file), the EMC
// window's pattern at every size and the version window's ways of going away. Windows run on the
// offscreen platform.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/core/qstring_printer.h"
#include "app/core/test_application.h"
#include "app/files/command_script.h"
#include "app/files/form_emc.h"
#include "app/files/script_file.h"
#include "app/files/version_disp.h"

namespace tavo {
namespace {

QByteArray bytesOf(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class ScriptFile : public testing::Test {
 protected:
  QString path(const char* name) const { return QDir(dir_.path()).filePath(name); }
  QTemporaryDir dir_;
  QString reason_;
};

TEST_F(ScriptFile, PathsJoinTheFolderAndTheName) {
  EXPECT_EQ(scriptFilePath("/home/a/FileAccess", "Sample.dat"), "/home/a/FileAccess/Sample.dat");
  EXPECT_EQ(scriptFilePath("/", "x.dat"), "/x.dat");
  EXPECT_EQ(scriptFilePath("/home/a", "/tmp/x.dat"), "/tmp/x.dat");
  EXPECT_EQ(scriptFilePath("/home/a", "sub/x.dat"), "/home/a/sub/x.dat");
}

TEST_F(ScriptFile, SaveWritesCodePage932WithOneMoreCrLfAndOpenReadsItBack) {
  const QString text = QString::fromUtf16(u"' テスト\r\nCOMANDPD:0/4/0/ｶﾅ\r\nwait\r\n0.5\r\n");
  ASSERT_TRUE(writeScriptFile(path("j.dat"), text, false, &reason_)) << reason_.toStdString();
  EXPECT_EQ(bytesOf(path("j.dat")),
            QByteArray("' \x83\x65\x83\x58\x83\x67\r\nCOMANDPD:0/4/0/\xB6\xC5\r\nwait\r\n0.5\r\n"
                       "\r\n"));
  // Each save and open adds an empty line at the end, which a run ignores.
  const std::optional<QString> back = readScriptFile(path("j.dat"), false, &reason_);
  ASSERT_TRUE(back.has_value()) << reason_.toStdString();
  EXPECT_EQ(*back, text + "\r\n");
  EXPECT_EQ(splitScriptLines(*back).size(), 5);
  EXPECT_EQ(splitScriptLines(*back).last(), "");
  // A text without a final CR LF gets its one CR LF from the save.
  ASSERT_TRUE(writeScriptFile(path("k.dat"), "POLL**", false, &reason_));
  EXPECT_EQ(bytesOf(path("k.dat")), QByteArray("POLL**\r\n"));
}

TEST_F(ScriptFile, OpenTakesAnyLineEnds) {
  writeBytes(path("unix.dat"), "COMANDPA\nCOMANDCI\rEND");
  EXPECT_EQ(readScriptFile(path("unix.dat"), false, &reason_).value_or("(none)"),
            "COMANDPA\r\nCOMANDCI\r\nEND\r\n");
}

TEST_F(ScriptFile, ACharacterWithoutACodeIsNotSaved) {
  writeBytes(path("keep.dat"), "OLD\r\n");
  const QString text = QString::fromUtf16(u"COMANDPA\r\nCOMANDPD:0/4/0/\u00E9t\u00E9\r\n");
  EXPECT_FALSE(writeScriptFile(path("keep.dat"), text, false, &reason_));
  EXPECT_TRUE(reason_.contains(QString::fromUtf16(u"\"\u00E9\" (U+00E9) on line 2")))
      << reason_.toStdString();
  EXPECT_EQ(bytesOf(path("keep.dat")), QByteArray("OLD\r\n"));
  // A character beyond the basic plane is named whole.
  EXPECT_FALSE(
      writeScriptFile(path("keep.dat"), QString::fromUtf16(u"x\U0001F600"), true, &reason_));
  EXPECT_TRUE(reason_.contains(QString::fromUtf16(u"1行目の文字「\U0001F600」(U+1F600)")))
      << reason_.toStdString();
}

TEST_F(ScriptFile, FilesThatCannotBeReadOrWrittenSayWhy) {
  EXPECT_FALSE(readScriptFile(path("missing.dat"), false, &reason_).has_value());
  EXPECT_EQ(reason_, "no such file");
  EXPECT_FALSE(readScriptFile(dir_.path(), false, &reason_).has_value());
  EXPECT_EQ(reason_, "not a regular file");
  ASSERT_EQ(mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
  EXPECT_FALSE(readScriptFile(path("fifo"), true, &reason_).has_value());  // and does not hang
  EXPECT_EQ(reason_, "通常のファイルではありません");
  {
    QFile big(path("big.dat"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kMaxScriptFileBytes + 1));
  }
  EXPECT_FALSE(readScriptFile(path("big.dat"), false, &reason_).has_value());
  EXPECT_TRUE(reason_.contains("16 MiB")) << reason_.toStdString();
  EXPECT_FALSE(writeScriptFile(path("no/such/folder/x.dat"), "A", false, &reason_));
  EXPECT_FALSE(reason_.isEmpty());
  if (geteuid() != 0) {  // permissions do not hold back root
    writeBytes(path("locked.dat"), "A\r\n");
    QFile::setPermissions(path("locked.dat"), QFile::WriteOwner);
    EXPECT_FALSE(readScriptFile(path("locked.dat"), false, &reason_).has_value());
    EXPECT_FALSE(reason_.isEmpty());
    QDir().mkdir(path("ro"));
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(writeScriptFile(path("ro/x.dat"), "A", false, &reason_));
    EXPECT_FALSE(reason_.isEmpty());
    EXPECT_FALSE(QFile::exists(path("ro/x.dat")));
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
}

TEST_F(ScriptFile, SaveKeepsALinkAndTheFileMode) {
  writeBytes(path("target.dat"), "OLD\r\n");
  QFile::setPermissions(path("target.dat"), QFile::ReadOwner | QFile::WriteOwner);
  ASSERT_TRUE(QFile::link(path("target.dat"), path("link.dat")));
  ASSERT_TRUE(writeScriptFile(path("link.dat"), "NEW", false, &reason_)) << reason_.toStdString();
  EXPECT_TRUE(QFileInfo(path("link.dat")).isSymLink());
  EXPECT_EQ(bytesOf(path("target.dat")), QByteArray("NEW\r\n"));
  struct stat st {};
  ASSERT_EQ(stat(path("target.dat").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Lets events run until the window is the active one (at most five seconds).
bool waitActive(QWidget* window) {
  QDeadlineTimer limit(5000);
  while (QApplication::activeWindow() != window && !limit.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return QApplication::activeWindow() == window;
}

class AuxWindows : public testing::Test {
 protected:
  void SetUp() override { ensureTestApplication(); }
};

TEST_F(AuxWindows, EmcPatternCoversTheWindowAtEverySize) {
  QWidget main;
  FormEMC emc(&main);
  emc.formLoad();
  emc.show();
  auto* text = emc.findChild<QPlainTextEdit*>("Text1");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->toPlainText(), QString(2400, u'H'));
  for (const QSize size : {QSize(900, 700), QSize(200, 150), QSize(640, 480)}) {
    emc.resize(size);
    QCoreApplication::processEvents();
    EXPECT_EQ(text->geometry(), QRect(QPoint(0, 0), size));
  }
}

TEST_F(AuxWindows, VersionWindowGoesAwayOnClickKeyAndLossOfFocus) {
  QWidget main;
  VersionDisp version(&main);
  auto open = [&] {
    version.formLoad();
    version.show();
    version.activateWindow();
  };
  open();
  EXPECT_EQ(version.findChild<QLabel*>("Text2")->text(),
            QString::fromUtf16(u"Tavotest　Version 4.0.0"));
  EXPECT_EQ(version.findChild<QLabel*>("Text1")->text(),
            QString::fromUtf16(u"ｶｰﾄﾞﾘｰﾀﾞ ｺﾏﾝﾄﾞ ﾃｽﾄ ﾌﾟﾛｸﾞﾗﾑ"));
  auto* ok = version.findChild<QPushButton*>("Command1");
  ok->click();
  EXPECT_FALSE(version.isVisible());

  for (QWidget* receiver : {static_cast<QWidget*>(&version), static_cast<QWidget*>(ok)}) {
    open();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(receiver, &key);
    EXPECT_FALSE(version.isVisible()) << receiver->objectName().toStdString();
  }

  // Another window chosen (as Alt+Tab does): the version window hides.
  QWidget other;
  other.show();
  open();
  ASSERT_TRUE(waitActive(&version));
  other.activateWindow();
  EXPECT_TRUE(waitActive(&other));
  EXPECT_FALSE(version.isVisible());
}

}  // namespace
}  // namespace tavo
