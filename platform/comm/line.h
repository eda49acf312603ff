// The physical side of an open serial device, as the device object (comm_device.h) drives it.
//
// Two kinds exist: a terminal device over termios (tty_line.h) and the in-memory device of
// memory_device.h. The device object keeps every setting the program sees and all pending
// operations; a Line only moves bytes, applies line settings and reads the modem lines and
// the error counters. Every call is made with the device object's lock held, so a Line needs
// no lock of its own for its descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"

namespace win::detail {

// Cumulative counts of line events since the device was opened.
struct LineCounts {
  std::uint64_t frame = 0;
  std::uint64_t overrun = 0;
  std::uint64_t parity = 0;
  std::uint64_t brk = 0;
  std::uint64_t bufferOverrun = 0;
};

class Line {
 public:
  virtual ~Line() = default;

  // The descriptor the device's service thread polls, and the poll events to ask for.
  virtual int Descriptor() const = 0;
  virtual short PollEvents(bool wantInput, bool wantOutput) const = 0;
  // A descriptor that polls readable (POLLIN) while received bytes wait in the driver, which
  // threads other than the service thread may poll without acknowledging; -1 when there is none.
  virtual int InputDescriptor() const { return -1; }
  // Called after the descriptor polled ready, before the device looks at the line again.
  virtual void Acknowledge() {}
  // True when modem lines and error counters can change without the descriptor becoming
  // ready, so the device must look at them periodically.
  virtual bool NeedsPolling() const = 0;
  // True when the driver itself stops output while CTS is off (termios CRTSCTS).
  virtual bool CtsFlowInDriver() const { return false; }

  // Bytes moved now without blocking: the count (0 for none), or -(Win32 error) when the
  // line is gone.
  virtual long Receive(BYTE* buffer, std::size_t size) = 0;
  virtual long Transmit(const BYTE* data, std::size_t size) = 0;
  // Bytes still inside the driver: received and not yet taken, written and not yet sent.
  virtual DWORD DriverInput(DWORD* count) = 0;
  virtual DWORD DriverOutput(DWORD* count) = 0;

  // Win32 error codes, ERROR_SUCCESS on success. The DCB is already validated.
  virtual DWORD Apply(const DCB& dcb) = 0;
  virtual DWORD ModemStatus(DWORD* status) = 0;
  // SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXOFF, SETXON.
  virtual DWORD Escape(DWORD function) = 0;
  virtual DWORD Counts(LineCounts* counts) = 0;
  virtual DWORD Flush(bool input, bool output) = 0;

  // A failure that a test asked for on this call (memory device only); ERROR_SUCCESS if none.
  virtual DWORD Injected(CommCall) { return ERROR_SUCCESS; }

  // The settings the device had before it was opened, as a DCB (for the first GetCommState).
  virtual DCB InitialState() = 0;

  // Puts back what the device had at open and releases it. Called once, last.
  virtual void Close() = 0;
};

// Open the two kinds of line; Win32 error codes, and on failure *reason (when given) says why in
// words (see error_detail.h).
DWORD OpenMemoryLine(const std::string& name, std::unique_ptr<Line>* line,
                     std::string* reason = nullptr);
DWORD OpenTtyLine(const std::string& path, std::unique_ptr<Line>* line,
                  std::string* reason = nullptr);

}  // namespace win::detail
