// The program folder: where the settings file and the log records live. It is the folder given
// on the command line (--home), else the one TAVOTEST_HOME names (a packaged program's own folder
// is often read-only), else the executable's folder.
//
// Offers: programFolder.
#pragma once

#include <QString>

namespace tavo {

// The folder, without a final separator, made when it does not exist (a warning when it cannot
// be). Call after the application object exists.
QString programFolder(const QString& fromCommandLine = {});

}  // namespace tavo
