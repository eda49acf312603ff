// Port1: the main window's serial-port control, created by class id and driven by DISPID.
//
// How it works: create() makes the control through the component registry (falling back to
// libravlin.so beside the program), places it on a form as "Port1" in run mode, connects an event
// sink for CommError and CommState, and gives it the settings the main window stores with it
// (blocking input/output, DTR and RTS on, 4096-byte buffers, 9600 bit/s 8N1, 2000 ms time-outs,
// EventMask 376, flow-control marks 25 % and 75 %, thresholds 20000). The window thread's
// apartment, through which the control's workers deliver events, is served by the Qt event loop
// (a socket notifier on its descriptor), so events arrive on the window thread between other
// window events and inside the control's own waits.
//
// Every call goes through IDispatch::Invoke by DISPID. A failed call is answered as PortApi
// describes (negative count, empty data, false); its description is kept in lastError().
//
// Offers: PortClient.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/core/port_api.h"

class QSocketNotifier;

namespace tavo {

class PortClient final : public PortApi {
 public:
  PortClient();
  ~PortClient() override;
  PortClient(const PortClient&) = delete;
  PortClient& operator=(const PortClient&) = delete;

  // Creates and places the control. False, with the reason in *error, when it cannot be made;
  // the client then answers every call as a closed port.
  bool create(QString* error);
  // Takes the control off its form (which closes the port and ends its workers) and releases it.
  void destroy();
  bool created() const;

  // Event handlers, called on the window thread.
  std::function<void(int)> onCommError;
  std::function<void(int)> onCommState;

  // The description of the last call the control refused.
  const QString& lastError() const { return lastError_; }

  bool opened() override;
  void applySettings(const LineSettings& settings) override;
  bool open(QString* error) override;
  void close() override;
  void clearInputBuffer() override;
  void clearOutputBuffer() override;
  int outputBytes(const QByteArray& bytes) override;
  int outputText(const QString& text) override;
  int inputBufferByteCount() override;
  QByteArray inputBytes() override;
  int portNumber() override;
  bool dsr() override;

 private:
  struct Control;
  std::unique_ptr<Control> c_;
  QString lastError_;
};

}  // namespace tavo
