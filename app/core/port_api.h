// What the command exchange needs of the serial-port control on the main window: the few
// properties and methods it uses, each as the control answers it. PortClient implements it on the
// real control by DISPID; tests give their own.
//
// Errors raised by the control are not passed on as such: a send reports a negative count, a
// read an empty result, a query its "off" value, and the exchange carries on as it would after
// a refusal. Only opening keeps the control's description, to tell the operator why.
//
// Offers: LineSettings, PortApi.
#pragma once

#include <QByteArray>
#include <QString>

namespace tavo {

struct LineSettings {
  qint32 baudRate = 9600;
  qint16 parity = 2;
  qint16 dataBits = 8;
  float stopBits = 1.0f;
  qint16 handshaking = 2;
  qint32 portNumber = 1;
};

class PortApi {
 public:
  virtual ~PortApi() = default;

  virtual bool opened() = 0;
  // Writes BaudRate, Parity, DataBits, StopBits, Handshaking, PortNumber, then InputThreshold 1,
  // InputTimeout 1000 and EventMask 184 (CTS, DSR, RLSD, errors), in this order. A value the
  // control refuses leaves its previous one; the others are still written.
  virtual void applySettings(const LineSettings& settings) = 0;
  // Opens the port with the stored settings. False when it stays closed, with the control's
  // description of the reason in *error (empty when it gave none).
  virtual bool open(QString* error) = 0;
  virtual void close() = 0;
  virtual void clearInputBuffer() = 0;
  virtual void clearOutputBuffer() = 0;
  // Blocking sends: the count written, negative when the control refused or failed.
  virtual int outputBytes(const QByteArray& bytes) = 0;
  virtual int outputText(const QString& text) = 0;
  // Bytes waiting in the driver's input queue; 0 when they cannot be counted.
  virtual int inputBufferByteCount() = 0;
  // Takes the bytes waiting now (blocking mode, no wait beyond what has arrived); empty when
  // none or on failure.
  virtual QByteArray inputBytes() = 0;
  // The port number the control holds (for display).
  virtual int portNumber() = 0;
  // The DSR line; false when it cannot be read.
  virtual bool dsr() = 0;
};

}  // namespace tavo
