// How the operations of an open serial device wait for input and line events, how they are
// woken, and how they end.
//
// How it works. Everything here is guarded by the device's lock; only InputWaiters::Wait takes
// and drops that lock itself, around its sleep. Three kinds of wait exist:
//  - A pending read (ReadFile) waits for bytes of the input queue under the time rules of
//    COMMTIMEOUTS. PendingReads serves the oldest read first; a later read gets nothing before
//    it, and only the oldest one's clock matters for waking. A time-out ends a read successfully
//    with what came, as on a serial line of the platform.
//  - The one pending WaitCommEvent (EventWait) waits until an event of the mask is recorded.
//    Events recorded while none waits are kept and end the next wait at once; a mask change
//    ends the wait with no events and forgets what was kept.
//  - WaitCommInput blocks a thread, not a record, until the queue holds a count of bytes.
//    InputWaiters keeps those threads; each sleeps in poll() on a descriptor of its own (made
//    once per thread), the line's input descriptor and its abort events, and is woken through
//    its descriptor when the queue reached its count or the device ended. It asks the device
//    (InputWaitSource) to take what the line holds only once the line polled readable: a
//    pseudo-terminal flushes its buffers on every read and poll, so reading blindly costs.
//    While such waits run, and a moment after the last one ended, the device's service thread
//    may leave the line to them (ServiceDeaf); the last wait to leave wakes it again.
// Every overlapped operation ends through Completions: status and count are stored in the
// record, its event is set and threads waiting for the record without an event are woken. The
// record is not touched after that, so its owner may release it at once.
//
// Offers: CommClock, CommMs, StartRecord, RecordStatus, Completions, PendingRead, PendingReads,
// EventWait, InputLook, InputWaitSource, InputWaiters.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/input_queue.h"

namespace win::detail {

using CommClock = std::chrono::steady_clock;

// Milliseconds as a duration, capped so that sums of huge time-outs cannot overflow.
inline std::chrono::milliseconds CommMs(std::uint64_t ms) {
  return std::chrono::milliseconds(std::min<std::uint64_t>(ms, 1ULL << 40));
}

// ---- Overlapped records ----------------------------------------------------------------------

// Marks the record pending with nothing transferred and resets its event. Never fails.
void StartRecord(OVERLAPPED* overlapped);
// The record's status as the completing thread stored it (STATUS_PENDING until then).
UINT_PTR RecordStatus(const OVERLAPPED* overlapped);

class Completions {
 public:
  // Stores status and count in the record, sets its event and wakes WaitFor. Lock held.
  // Never fails.
  void Complete(OVERLAPPED* overlapped, DWORD status, DWORD count);
  // Blocks until the record is no longer pending; `lock` holds the device's lock.
  void WaitFor(std::unique_lock<std::mutex>& lock, const OVERLAPPED* overlapped);

 private:
  std::condition_variable done_;
};

// ---- Reads -----------------------------------------------------------------------------------

struct PendingRead {
  // A read of `size` bytes into buffer under the time-outs, started at `now`.
  PendingRead(OVERLAPPED* overlapped, BYTE* buffer, DWORD size, const COMMTIMEOUTS& timeouts,
              CommClock::time_point now);

  // Bytes that came into buffer + done (straight from the line). Never fails.
  void Took(DWORD count, CommClock::time_point now);
  // True when the read must end now: all bytes there, or its time rules say so.
  bool Finished(CommClock::time_point now) const;
  // When the read ends by time if no byte comes; none when only bytes can end it.
  std::optional<CommClock::time_point> Due() const;

  OVERLAPPED* overlapped;
  BYTE* buffer;
  DWORD size;
  DWORD done = 0;
  bool hasDeadline = false;
  CommClock::time_point deadline;
  DWORD interval = 0;  // ms allowed between bytes once one came, 0 for no limit
  CommClock::time_point lastByte;
  bool returnOnAny = false;  // complete as soon as one byte is there
};

class PendingReads {
 public:
  explicit PendingReads(Completions& completions) : completions_(completions) {}

  bool Empty() const { return reads_.empty(); }
  std::size_t Size() const { return reads_.size(); }
  const PendingRead& Front() const { return reads_.front(); }
  // Appends a read; on allocation failure std::bad_alloc leaves the list as it was.
  void Add(const PendingRead& read) { reads_.push_back(read); }

  // Gives queued bytes to the reads, oldest first, and completes each read that is done.
  // Never fails.
  void Serve(InputQueue& queue, CommClock::time_point now);
  // The read that bytes from the line may go into straight: the oldest, when the queue is
  // empty and the read still has room; null otherwise.
  PendingRead* DirectTarget(const InputQueue& queue);
  // Ends every read, or only the one of that record, with status and what it got so far.
  // True when one was ended.
  bool End(DWORD status, const OVERLAPPED* only = nullptr);

 private:
  Completions& completions_;
  std::deque<PendingRead> reads_;
};

// ---- WaitCommEvent ---------------------------------------------------------------------------

class EventWait {
 public:
  explicit EventWait(Completions& completions) : completions_(completions) {}

  DWORD Mask() const { return mask_; }
  // A new mask: what was kept is forgotten, and a pending wait ends successfully with no
  // events. Never fails (the caller checked the bits).
  void SetMask(DWORD mask);

  bool Pending() const { return waiting_; }
  // A wait is pending for one of these events.
  bool PendingFor(DWORD events) const { return waiting_ && (mask_ & events); }

  // Starts the wait on the record: ERROR_INVALID_PARAMETER (nothing changed) when one is
  // pending already or the mask is empty. The caller then records what the line shows now,
  // which may end the wait at once.
  DWORD Start(DWORD* events, OVERLAPPED* overlapped);
  // Events that happened; those outside the mask are dropped. Ends the pending wait with
  // everything kept so far, or keeps it for the next wait. Never fails.
  void Record(DWORD events);
  // Ends the pending wait (when `only` is given, only if it is that record's) with status and
  // no events. True when one was ended.
  bool End(DWORD status, const OVERLAPPED* only = nullptr);

  // Events kept for the next wait.
  DWORD Kept() const { return history_; }
  // Forgets every kept event outside `events`.
  void KeepOnly(DWORD events) { history_ &= events; }

 private:
  Completions& completions_;
  DWORD mask_ = 0;
  DWORD history_ = 0;
  bool waiting_ = false;
  OVERLAPPED* overlapped_ = nullptr;
  DWORD* events_ = nullptr;
};

// ---- WaitCommInput ---------------------------------------------------------------------------

// What the device found at one look for a wait.
struct InputLook {
  DWORD error = ERROR_SUCCESS;  // the device was closed or lost: the wait fails with it
  bool enough = false;          // the count is there
  bool full = false;            // the queue is full: the line stays readable, do not poll it
  bool lookEveryMs = false;     // bytes can come without a wake-up: look every millisecond
  int lineFd = -1;              // polls readable when the line has bytes; -1 for none
};

// The device side of WaitCommInput. Both are called with the device's lock held.
class InputWaitSource {
 public:
  // Looks at the queue for `count` bytes; with `pull`, takes what the line holds first.
  virtual InputLook LookForInput(DWORD count, bool pull, CommClock::time_point now) = 0;
  // The service thread must look at the line again (it left input to the waits).
  virtual void WakeService() = 0;

 protected:
  ~InputWaitSource() = default;
};

class InputWaiters {
 public:
  // After the last wait ended the line stays with the waits this long: the next one usually
  // follows within microseconds.
  static constexpr std::chrono::milliseconds kLinger{2};

  // WaitCommInput: blocks until the source holds `count` bytes (*result WAIT_OBJECT_0), one
  // of the abort events is signalled (WAIT_OBJECT_0 + 1 + i, lowest index first, acquired),
  // or `milliseconds` pass (WAIT_TIMEOUT; 0 looks once; INFINITE never). `lock` is the
  // device's lock, not held on entry nor on return. Returns ERROR_SUCCESS, or the error of
  // the look (closed, lost), ERROR_INVALID_HANDLE for an abort handle that is no event,
  // ERROR_NOT_ENOUGH_MEMORY when the thread's descriptor cannot be made, ERROR_GEN_FAILURE
  // when poll() fails; the wait has left the list in every case.
  DWORD Wait(InputWaitSource& source, std::mutex& lock, DWORD count, DWORD milliseconds,
             DWORD abortCount, const HANDLE* aborts, DWORD* result);

  // ---- With the device's lock held ----
  bool Empty() const { return waiters_.empty(); }
  std::size_t Count() const { return waiters_.size(); }
  // Wakes the waits whose count the queue now holds; a full queue wakes every wait too, which
  // then counts the bytes still in the driver. Never fails.
  void Signal(const InputQueue& queue);
  // Wakes every wait (the device ended); each looks again and leaves. Never fails.
  void SignalAll();
  // Waits run now, or the last one ended less than kLinger ago.
  bool Holding(CommClock::time_point now) const { return !waiters_.empty() || now < lingerUntil_; }
  CommClock::time_point LingerUntil() const { return lingerUntil_; }
  // Whether the service thread leaves input to the waits now. While it does so with waits
  // running, the last one to leave wakes it through the source.
  void SetServiceDeaf(bool deaf) {
    deaf_ = deaf;
    deafUnbounded_ = deaf && !waiters_.empty();
  }
  bool ServiceDeaf() const { return deaf_; }
  // Blocks until every wait has left; `lock` holds the device's lock.
  void WaitUntilGone(std::unique_lock<std::mutex>& lock);

 private:
  struct Waiter {
    DWORD count;
    int fd;
    bool signalled;
  };
  void Leave(InputWaitSource& source, Waiter* waiter);

  std::vector<Waiter*> waiters_;
  std::condition_variable gone_;
  CommClock::time_point lingerUntil_{};
  bool deaf_ = false;
  bool deafUnbounded_ = false;
};

}  // namespace win::detail
