// One open serial device: the settings the program sees, its pending operations, and the
// service thread that completes them.
//
// Received bytes are taken from the line as they arrive, into the input queue (input_queue.h),
// which applies the character rules and the 80 %-full mark on arrival as the platform does.
// Reads, WaitCommEvent and WaitCommInput wait as input_wait.h describes; writes go straight to
// the line and stay pending only for what it does not take at once. The service thread sleeps
// in poll() on the line and a wake descriptor, with a time-out only for the nearest deadline
// and, on a real port, a 10 ms look at the modem lines and error counters. With nothing
// queued, received bytes go straight into the oldest pending read. A thread in WaitCommInput
// polls a terminal line itself and pulls what comes; while such waits run (and a moment after
// the last) the service thread leaves input to them unless a read or an event wait for
// received bytes is pending, so that the line has one reader. With the wire trace on
// (wire_trace.h) every byte taken from or given to the line is traced under the device path.
//
// A line that goes away (a terminal hung up, a USB adapter pulled out) reads as a pulled cable:
// the modem lines read off, the change reaches one event wait that asks for those lines, and
// every transfer, wait and error query fails with ERROR_DEVICE_NOT_CONNECTED until the handle
// is closed.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/input_queue.h"
#include "platform/comm/input_wait.h"
#include "platform/comm/line.h"
#include "platform/kernel/kernel_object.h"

namespace win::detail {

class CommDevice final : public KernelObject, private InputWaitSource {
 public:
  using Clock = CommClock;

  // Takes the line opened at `path` (which names the port in the wire trace); starts the
  // service thread. Win32 error code; the line is closed on failure.
  static DWORD Create(std::unique_ptr<Line> line, const std::string& path,
                      std::shared_ptr<CommDevice>* device);
  ~CommDevice() override;
  void LastHandleClosed() override { Shutdown(); }

  // All return a Win32 error code (ERROR_SUCCESS when done); a failed call changes nothing.
  DWORD Injected(CommCall call);
  DWORD Setup(DWORD inQueue, DWORD outQueue);
  DWORD GetState(DCB* dcb);
  DWORD SetState(const DCB& dcb);
  DWORD GetTimeouts(COMMTIMEOUTS* timeouts);
  DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD GetMask(DWORD* mask);
  DWORD SetMask(DWORD mask);
  DWORD Properties(COMMPROP* properties);
  DWORD ClearError(DWORD* errors, COMSTAT* stat);
  DWORD ModemStatus(DWORD* status);
  DWORD Escape(DWORD function);
  DWORD Purge(DWORD flags);
  DWORD TransmitChar(char c);

  // Overlapped operations: ERROR_SUCCESS when completed at once (*done set), ERROR_IO_PENDING,
  // or the error. Completion writes the OVERLAPPED and sets its event.
  DWORD StartRead(BYTE* buffer, DWORD size, OVERLAPPED* overlapped, DWORD* done);
  DWORD StartWrite(const BYTE* data, DWORD size, OVERLAPPED* overlapped, DWORD* done);
  DWORD StartWait(DWORD* events, OVERLAPPED* overlapped);
  // Ends the operation of that record, or every operation when null, with
  // ERROR_OPERATION_ABORTED. ERROR_NOT_FOUND when there was none.
  DWORD Cancel(OVERLAPPED* overlapped);
  // Blocks until the operation of that record has completed.
  void WaitCompletion(OVERLAPPED* overlapped);
  // WaitCommInput: *result is the WAIT_ code when ERROR_SUCCESS is returned.
  DWORD WaitInput(DWORD count, DWORD milliseconds, DWORD abortCount, const HANDLE* aborts,
                  DWORD* result);
  // For tests (GetCommActivity): what the device is doing now.
  DWORD Activity(CommActivity* activity);

 private:
  struct PendingWrite {
    OVERLAPPED* overlapped;
    const BYTE* data;  // the caller's bytes
    DWORD size;
    DWORD done;
    bool hasDeadline;
    Clock::time_point deadline;
  };

  CommDevice(std::unique_ptr<Line> line, const std::string& path, int wakeFd);
  void Shutdown();
  void Run();
  void Wake();

  // InputWaitSource, with mutex_ held.
  InputLook LookForInput(DWORD count, bool pull, Clock::time_point now) override;
  void WakeService() override { Wake(); }

  // With mutex_ held.
  long Receive(BYTE* buffer, std::size_t size);
  long Transmit(const BYTE* data, std::size_t size);
  void PullInput();
  void ServeReads(Clock::time_point now) { reads_.Serve(input_, now); }
  void PushOutput(Clock::time_point now);
  bool EndWrites(DWORD status, const OVERLAPPED* only = nullptr);
  void WatchLine();
  void LoseLine(DWORD error);
  void FailAll(DWORD status);
  bool ModemWatched() const;
  bool OutputHeld();
  bool ErrorsUnacknowledged();
  bool InputIgnored();
  bool InputLeftToWaiters(Clock::time_point now) const;

  std::mutex mutex_;
  std::unique_ptr<Line> line_;
  const std::string path_;
  const int wakeFd_;
  std::thread service_;
  bool stop_ = false;
  bool closed_ = false;
  DWORD lost_ = ERROR_SUCCESS;  // set once the line is gone

  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  DWORD outQueue_ = 4096;

  std::vector<BYTE> chunk_;  // one read from the line
  InputQueue input_;
  Completions completions_;
  PendingReads reads_{completions_};
  EventWait events_{completions_};
  InputWaiters waiters_;
  std::deque<PendingWrite> writes_;
  bool priorityPending_ = false;
  BYTE priority_ = 0;
  bool txArmed_ = false;
  DWORD lastModem_ = 0;
  LineCounts errorBase_{};
  LineCounts eventBase_{};
  DWORD serviceRounds_ = 0;   // for tests: rounds of the service thread's loop
  bool serviceIdle_ = false;  // for tests: it sleeps in poll() with no deadline
};

}  // namespace win::detail
