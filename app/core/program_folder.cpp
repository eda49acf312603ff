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
  // A folder named on the command line or in the environment may not exist yet; the settings
  // file could not be kept there.
  if (!QDir(folder).exists() && !QDir().mkpath(folder))
    qWarning("tavotest: the program folder %s cannot be made", qPrintable(folder));
  return folder;
}

}  // namespace tavo
