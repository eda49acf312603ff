#include "app/core/serial_devices.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

namespace tavo {
namespace {

// A /dev of files and links made for the test.
class FakeDev {
 public:
  FakeDev() { QDir(dir.path()).mkpath("serial/by-id"); }
  QString path(const QString& name) const { return dir.path() + "/" + name; }
  void node(const QString& name) {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  void link(const QString& name, const QString& target) {
    ASSERT_TRUE(QFile::link(target, path(name)));
  }
  QTemporaryDir dir;
};

const SerialDevice* byPath(const QList<SerialDevice>& list, const QString& path) {
  for (const auto& d : list)
    if (d.path == path) return &d;
  return nullptr;
}

TEST(SerialDevices, ComNumbersFollowTheMapping) {
  FakeDev dev;
  dev.node("ttyUSB0");
  dev.node("ttyUSB1");
  dev.node("ttyACM0");
  dev.node("ttyS0");
  dev.node("ttyS1");
  dev.node("ttyS10");
  dev.link("serial/by-id/usb-FTDI_A1-if00-port0", dev.path("ttyUSB0"));
  dev.node("pts7");

  QHash<int, QString> mapped;
  mapped[1] = dev.path("serial/by-id/usb-FTDI_A1-if00-port0");  // through the stable name
  mapped[3] = dev.path("ttyUSB0");                              // the same device again
  mapped[5] = dev.path("pts7");                                 // somewhere the scan does not look
  mapped[6] = dev.path("gone");                                 // nothing there
  SerialScan scan;
  scan.devRoot = dev.dir.path();
  scan.maxPort = 12;
  scan.comPath = [&](int n) {
    return mapped.contains(n) ? mapped[n] : dev.path(QString("ttyS%1").arg(n - 1));
  };
  scan.uartAnswers = [&](const QString& p) { return p.endsWith("ttyS1") || p.endsWith("ttyS10"); };

  const QList<SerialDevice> list = scanSerialDevices(scan);
  const SerialDevice* byId = byPath(list, mapped[1]);
  ASSERT_TRUE(byId);
  EXPECT_EQ(byId->target, dev.path("ttyUSB0"));
  EXPECT_EQ(byId->comPorts, QList<int>({1, 3}));
  EXPECT_FALSE(byPath(list, dev.path("ttyUSB0")));  // listed once, under its stable name
  const SerialDevice* usb1 = byPath(list, dev.path("ttyUSB1"));
  ASSERT_TRUE(usb1);
  EXPECT_TRUE(usb1->comPorts.isEmpty());
  EXPECT_TRUE(usb1->note.contains("RAVLIN_COM<n>=" + dev.path("ttyUSB1")));
  EXPECT_TRUE(byPath(list, dev.path("ttyACM0")));
  // Only UARTs that answer; ttyS0 is not reached (COM1 is mapped elsewhere).
  EXPECT_FALSE(byPath(list, dev.path("ttyS0")));
  ASSERT_TRUE(byPath(list, dev.path("ttyS1")));
  EXPECT_EQ(byPath(list, dev.path("ttyS1"))->comPorts, QList<int>({2}));
  ASSERT_TRUE(byPath(list, dev.path("ttyS10")));
  EXPECT_EQ(byPath(list, dev.path("ttyS10"))->comPorts, QList<int>({11}));
  // Mapped paths outside the scan.
  ASSERT_TRUE(byPath(list, mapped[5]));
  EXPECT_EQ(byPath(list, mapped[5])->comPorts, QList<int>({5}));
  ASSERT_TRUE(byPath(list, mapped[6]));
  EXPECT_EQ(byPath(list, mapped[6])->note, "mapped, but not present");
  // The order: stable names, USB, ACM, UARTs (ttyS10 after ttyS1), then mapped paths.
  QStringList order;
  for (const auto& d : list) order << d.path.section('/', -1);
  EXPECT_EQ(order, QStringList({"usb-FTDI_A1-if00-port0", "ttyUSB1", "ttyACM0", "ttyS1", "ttyS10",
                                "pts7", "gone"}));
}

TEST(SerialDevices, NothingFound) {
  QTemporaryDir empty;
  SerialScan scan;
  scan.devRoot = empty.path();
  scan.maxPort = 4;
  scan.comPath = [&](int n) { return empty.path() + QString("/ttyS%1").arg(n - 1); };
  scan.uartAnswers = [](const QString&) { return true; };
  EXPECT_TRUE(scanSerialDevices(scan).isEmpty());
}

}  // namespace
}  // namespace tavo
