// One open serial device: the settings the program sees, its pending operations, and the
// service thread that completes them.
//
// Received bytes are taken from the line as they arrive, into an input queue of the size given
// to SetupComm (when it is full the driver's own buffer and flow control take over), so that
// received-character events, the event character, NUL discarding and the 80%-full event are
// seen on arrival as the platform does. Reads are served from that queue in order; writes go
// straight to the line and stay pending only for what it does not take at once. The service
// thread sleeps in poll() on the line and a wake descriptor, with a time-out only for the
// nearest deadline and, on a real port, a 10 ms look at the modem lines and error counters.
// With nothing queued, received bytes go straight into the oldest pending read. A thread in
// WaitCommInput polls a terminal line itself and pulls what comes; while such waits run (and
// 2 ms after the last) the service thread leaves input to them unless a read or an event wait
// for received bytes is pending, so that the line has one reader.
//
// A line that goes away (a terminal hung up, a USB adapter pulled out) reads as a pulled cable:
// the modem lines read off, the change reaches one event wait that asks for those lines, and
// every transfer, wait and error query fails with ERROR_DEVICE_NOT_CONNECTED until the handle
// is closed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/kernel/kernel_object.h"
#include "platform/comm/line.h"

namespace win::detail {

class CommDevice final : public KernelObject {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes the line; starts the service thread. Win32 error code.
  static DWORD Create(std::unique_ptr<Line> line, std::shared_ptr<CommDevice>* device);
  ~CommDevice() override;
  void LastHandleClosed() override { Shutdown(); }

  // All return a Win32 error code (ERROR_SUCCESS when done).
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

 private:
  struct Transfer {
    OVERLAPPED* overlapped;
    BYTE* buffer;  // reads: destination; writes: the caller's bytes
    DWORD size;
    DWORD done;
    bool hasDeadline;
    Clock::time_point deadline;
    DWORD interval;  // reads: ms allowed between bytes, 0 for none
    Clock::time_point lastByte;
    bool returnOnAny;  // reads: complete as soon as one byte is there
  };
  struct EventWait {
    OVERLAPPED* overlapped;
    DWORD* events;
  };
  // A thread in WaitInput, woken through its own descriptor when input comes or the device
  // ends.
  struct InputWaiter {
    DWORD count;
    int fd;
    bool signalled;
  };

  explicit CommDevice(std::unique_ptr<Line> line, int wakeFd);
  void Shutdown();
  void Run();
  void Wake();

  // With mutex_ held.
  void Complete(OVERLAPPED* overlapped, DWORD status, DWORD count);
  void PullInput();
  void ServeReads(Clock::time_point now);
  void PushOutput(Clock::time_point now);
  void WatchLine();
  void Record(DWORD events);
  void LoseLine(DWORD error);
  void FailAll(DWORD status);
  void SignalWaiters(bool all);
  DWORD QueueCapacity() const { return inQueue_ ? inQueue_ : 4096; }
  bool ModemWatched() const;
  bool OutputHeld();
  bool ErrorsUnacknowledged();
  bool InputIgnored();
  bool InputLeftToWaiters(Clock::time_point now) const;

  std::mutex mutex_;
  std::condition_variable completed_;
  std::condition_variable waitersLeft_;
  std::unique_ptr<Line> line_;
  const int wakeFd_;
  std::thread service_;
  bool stop_ = false;
  bool closed_ = false;
  DWORD lost_ = ERROR_SUCCESS;  // set once the line is gone

  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  DWORD mask_ = 0;
  DWORD inQueue_ = 4096;
  DWORD outQueue_ = 4096;

  std::vector<BYTE> chunk_;  // one read from the line
  std::vector<BYTE> input_;  // received, not yet read
  std::size_t inputHead_ = 0;
  bool above80_ = false;
  std::deque<Transfer> reads_;
  std::deque<Transfer> writes_;
  bool priorityPending_ = false;
  BYTE priority_ = 0;
  bool txArmed_ = false;
  bool waiting_ = false;
  EventWait wait_{};
  std::vector<InputWaiter*> waiters_;
  // After the last input wait ended, the line stays with the waits a moment longer: the next
  // one usually follows within microseconds.
  Clock::time_point lingerUntil_{};
  bool deaf_ = false;           // the service thread leaves input to the waits
  bool deafUnbounded_ = false;  // ... until woken
  DWORD history_ = 0;
  DWORD lastModem_ = 0;
  LineCounts errorBase_{};
  LineCounts eventBase_{};
};

}  // namespace win::detail
