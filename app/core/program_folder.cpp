#include "app/core/program_folder.h"

#include <QCoreApplication>
#include <QDir>

namespace tavo {

QString programFolder(const QString& fromCommandLine) {
  QString folder = fromCommandLine;
  if (folder.isEmpty()) folder = qEnvironmentVariable("TAVOTEST_HOME");
  if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath();
  folder = QDir(folder).absolutePath();
  while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
  return folder;
}

}  // namespace tavo
