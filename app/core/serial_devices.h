// The serial devices present on this machine and the COM numbers that reach them, for the port
// settings window's device list (the operator picks the "Com" entry from it).
//
// How it works: the scan looks at /dev/serial/by-id (stable names of USB adapters, with the
// device each names), /dev/ttyUSB*, /dev/ttyACM*, and the /dev/ttyS* ports that answer as real
// UARTs. A COM number n reaches the device its mapping names: RAVLIN_COM<n>, else the registry's
// COM<n>, else /dev/ttyS<n-1>. Every number from 1 to 256 is resolved and matched against the
// devices found (through symbolic links); mapped paths that the scan did not find (a
// pseudo-terminal, a missing device) are listed too, so a wrong mapping shows.
//
// Offers: SerialDevice, SerialScan, scanSerialDevices.
#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace tavo {

struct SerialDevice {
  QString path;         // as found ("/dev/ttyUSB0", "/dev/serial/by-id/usb-...")
  QString target;       // the device it is (after symbolic links); empty when path is the device
  QList<int> comPorts;  // the COM numbers that reach it, ascending
  QString note;         // what the operator should know ("not reached by any COM number", ...)
};

struct SerialScan {
  QString devRoot = QStringLiteral("/dev");
  int maxPort = 256;
  // The path COM<n> resolves to; by default the comm layer's own mapping.
  std::function<QString(int)> comPath;
  // Whether a /dev/ttyS<k> node is a UART that answers; by default it is opened and asked.
  std::function<bool(const QString&)> uartAnswers;
};

// The devices, in this order: by-id names, ttyUSB, ttyACM, ttyS that answer, other mapped
// paths.
QList<SerialDevice> scanSerialDevices(const SerialScan& scan = {});

}  // namespace tavo
