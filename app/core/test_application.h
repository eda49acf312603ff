// For tests of windows: one application object for the test process, on the offscreen platform
// with a private runtime folder, made on first use.
//
// Offers: ensureTestApplication.
#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace tavo {

inline void ensureTestApplication() {
  static QTemporaryDir* runtime = nullptr;
  if (QCoreApplication::instance()) return;
  runtime = new QTemporaryDir;
  QFile::setPermissions(runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "tavo_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

}  // namespace tavo
