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
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/kernel_object.h"
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
  DWORD QueueCapacity() const { return inQueue_ ? inQueue_ : 4096; }
  bool ModemWatched() const;
  bool OutputHeld();
  bool ErrorsUnacknowledged();
  bool InputIgnored();

  std::mutex mutex_;
  std::condition_variable completed_;
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
  DWORD history_ = 0;
  DWORD lastModem_ = 0;
  LineCounts errorBase_{};
  LineCounts eventBase_{};
};

}  // namespace win::detail
