// An in-memory serial device for tests: a line whose far end the test holds.
//
// MemoryDevice::Create("x") makes a device that CreateFileA opens under the path "mem:x"
// (also through RAVLIN_COM<n>=mem:x). The test plays the other end of the cable: it feeds the
// bytes the program receives, takes the bytes the program wrote, holds writes back so that
// they time out, switches the modem input lines, raises line errors and breaks, and makes any
// call of the serial API fail with an error code of its choice. It can also watch what the
// program did to the line (settings applied, DTR, RTS, break). The device is exclusive, like a
// real port: a second open while one handle set is open fails with ERROR_ACCESS_DENIED.
//
// Offers: CommCall (the calls that can be made to fail), MemoryDevice.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/comm/comm.h"

namespace win {

namespace detail {
class MemoryLine;
}

// The serial API calls a test can make fail.
enum class CommCall {
  CreateFile,
  SetupComm,
  GetCommState,
  SetCommState,
  GetCommTimeouts,
  SetCommTimeouts,
  GetCommMask,
  SetCommMask,
  GetCommProperties,
  ClearCommError,
  GetCommModemStatus,
  EscapeCommFunction,
  SetCommBreak,
  ClearCommBreak,
  PurgeComm,
  TransmitCommChar,
  WaitCommEvent,
  ReadFile,
  WriteFile,
  kCount
};

class MemoryDevice {
 public:
  // Registers the device under "mem:<name>", replacing an earlier one of that name. The name
  // is released when the last reference goes; a device still open keeps working until closed.
  static std::shared_ptr<MemoryDevice> Create(const std::string& name);
  ~MemoryDevice();
  MemoryDevice(const MemoryDevice&) = delete;
  MemoryDevice& operator=(const MemoryDevice&) = delete;

  std::string Path() const { return "mem:" + name_; }

  // ---- The far end of the line ----
  // Bytes arriving at the program (they wait in the device's input queue, also while the
  // device is closed, for the next open).
  void Feed(std::string_view bytes);
  // Takes everything the program has sent so far.
  std::string TakeWritten();
  // Waits until at least `size` sent bytes are waiting to be taken; false on time-out.
  bool WaitWritten(std::size_t size, int timeoutMs);
  // While held, the device accepts no bytes: writes stay pending until released or timed out.
  void HoldWrites(bool hold);
  // The modem input lines, as MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON.
  void SetModemLines(DWORD modemStatus);
  // Counts line errors: any of CE_FRAME, CE_OVERRUN, CE_RXPARITY, CE_RXOVER, CE_BREAK.
  void RaiseErrors(DWORD errors);
  void RaiseBreak() { RaiseErrors(CE_BREAK); }
  // Makes every later `call` fail with `error` (ERROR_SUCCESS lets it work again).
  void FailCall(CommCall call, DWORD error);
  // The device goes away, as a USB adapter pulled out: pending and later transfers of the open
  // handle fail with ERROR_DEVICE_NOT_CONNECTED, and opening it fails with ERROR_FILE_NOT_FOUND
  // until it is plugged in again.
  void Disconnect();
  // Plugged in again: the next open works (an open handle stays dead; it must be closed).
  void Reconnect();

  // ---- What the program did ----
  bool IsOpen() const;
  int OpenCount() const;     // successful opens so far
  DCB AppliedState() const;  // the last line settings applied
  bool Dtr() const;
  bool Rts() const;
  bool Break() const;
  bool OutputStopped() const;  // SETXOFF in effect

  struct Access;  // the device side (memory_device.cpp)

 private:
  explicit MemoryDevice(std::string name);

  friend struct Access;
  friend class detail::MemoryLine;
  const std::string name_;
  mutable std::mutex mutex_;
  std::condition_variable written_;
  int notifyFd_ = -1;  // eventfd the open device polls; signalled on every change
  std::string input_;
  std::string output_;
  bool hold_ = false;
  DWORD modem_ = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
  std::uint64_t counts_[5] = {};  // frame, overrun, parity, break, buffer overrun
  DWORD failures_[static_cast<int>(CommCall::kCount)] = {};
  bool disconnected_ = false;
  int generation_ = 0;  // plug-ins so far: a handle of an earlier one stays gone
  bool open_ = false;
  int openCount_ = 0;
  DCB applied_{};
  bool dtr_ = false;
  bool rts_ = false;
  bool break_ = false;
  bool stopped_ = false;
};

}  // namespace win
