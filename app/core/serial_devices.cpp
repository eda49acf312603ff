#include "app/core/serial_devices.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <algorithm>

#include "platform/comm/device_name.h"

namespace tavo {
namespace {

QString defaultComPath(int n) {
  return QString::fromStdString(win::detail::ResolveDevicePath("COM" + std::to_string(n)));
}

bool defaultUartAnswers(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  serial_struct info{};
  const bool answers = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return answers;
}

QString resolved(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}

QStringList entries(const QString& folder, const QStringList& patterns) {
  QDir dir(folder);
  QStringList names =
      dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  QStringList paths;
  for (const QString& n : names) paths << dir.filePath(n);
  // ttyS10 after ttyS9.
  std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return paths;
}

}  // namespace

QList<SerialDevice> scanSerialDevices(const SerialScan& scanIn) {
  SerialScan scan = scanIn;
  if (!scan.comPath) scan.comPath = defaultComPath;
  if (!scan.uartAnswers) scan.uartAnswers = defaultUartAnswers;

  // Which numbers reach which device, and which of them are set on purpose (not the default).
  QMap<QString, QList<int>> portsOf;
  QList<std::pair<QString, QString>> mapped;  // canonical, the path as mapped; by COM number
  const QString root = scan.devRoot;
  for (int n = 1; n <= scan.maxPort; ++n) {
    const QString path = scan.comPath(n);
    if (path.isEmpty()) continue;
    const QString device = resolved(path);
    portsOf[device].append(n);
    const bool isDefault = path == root + QStringLiteral("/ttyS%1").arg(n - 1);
    const bool known = std::any_of(mapped.cbegin(), mapped.cend(),
                                   [&](const auto& m) { return m.first == device; });
    if (!isDefault && !known) mapped.append({device, path});
  }

  QList<SerialDevice> out;
  QStringList listed;
  auto add = [&](const QString& path, const QString& note) {
    SerialDevice d;
    d.path = path;
    const QString device = resolved(path);
    if (device != path) d.target = device;
    d.comPorts = portsOf.value(device);
    d.note = note;
    if (d.comPorts.isEmpty() && d.note.isEmpty())
      d.note = QStringLiteral("not reached by any COM number (set RAVLIN_COM<n>=%1)").arg(path);
    listed << device;
    out << d;
  };

  for (const QString& p : entries(root + QStringLiteral("/serial/by-id"), {QStringLiteral("*")}))
    add(p, {});
  for (const QString& pattern : {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")})
    for (const QString& p : entries(root, {pattern}))
      if (!listed.contains(resolved(p))) add(p, {});
  for (const QString& p : entries(root, {QStringLiteral("ttyS*")}))
    if (!listed.contains(resolved(p)) && scan.uartAnswers(p)) add(p, {});
  for (const auto& [device, path] : mapped) {
    if (listed.contains(device)) continue;
    QString note;
    if (!QFileInfo::exists(device))
      note = QStringLiteral("mapped, but not present");
    else if (device.startsWith(root + QStringLiteral("/pts/")))
      note = QStringLiteral("pseudo-terminal");
    add(path, note);
  }
  return out;
}

}  // namespace tavo
