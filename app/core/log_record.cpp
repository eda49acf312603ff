#include "app/core/log_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/core/text_utils.h"

namespace tavo {

QString logRecordLine(const QDateTime& when, const LogRecordFields& f) {
  QString line = when.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + QStringLiteral(":Number:") +
                 f.number + u'\r' + f.label28 + u'\r';
  if (f.withLabel29) line += f.label29 + u'\r';
  line += f.label12 + u'\r' + f.label19 + u'\r' + f.label42 + u'\r' + f.label36 + u'\r' + f.comment;
  line.replace(u'\r', u':');
  // A line break typed into a box would split the record.
  line.replace(u'\n', u':');
  return line;
}

bool logFilePath(const QString& folder, const QString& name, QString* path, QString* error) {
  if (name.isEmpty() || name.contains(u'/') || name.contains(QChar(0)) || name == u"." ||
      name == u"..") {
    *error = QStringLiteral("\"%1\" is not a file name").arg(name);
    return false;
  }
  *path = folder.endsWith(u'/') ? folder + name + QStringLiteral(".dat")
                                : folder + u'/' + name + QStringLiteral(".dat");
  return true;
}

bool appendLogLine(const QString& path, const QString& line, QString* error) {
  const QByteArray bytes = toAnsi(line + QStringLiteral("\r\n"));
  const QByteArray file = path.toLocal8Bit();
  const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  struct stat before {};
  const bool sized = ::fstat(fd, &before) == 0;
  qsizetype written = 0;
  int failure = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    written += n;
  }
  if (failure == 0 && ::fsync(fd) != 0 && errno != EINVAL) failure = errno;
  // Half a record would run into the next one: take it back.
  if (failure != 0 && written > 0 && sized) (void)::ftruncate(fd, before.st_size);
  ::close(fd);
  if (failure != 0) {
    *error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(failure));
    return false;
  }
  return true;
}

}  // namespace tavo
