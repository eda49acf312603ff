// Waiting for input and line events (input_wait.h): records, reads, WaitCommEvent and
// WaitCommInput.
#include "platform/comm/input_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace win::detail {
namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFF;

// The calling thread's own descriptor for input waits, made on first use and kept for the
// thread's life: a wait per received piece should not cost a descriptor each.
struct ThreadWaitFd {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ~ThreadWaitFd() {
    if (fd >= 0) ::close(fd);
  }
};

void Drain(int fd) {
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(fd, &value, sizeof value);
}

void SignalFd(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

}  // namespace

// ---- Overlapped records ----------------------------------------------------------------------

void StartRecord(OVERLAPPED* overlapped) {
  if (overlapped->hEvent) ResetEvent(overlapped->hEvent);
  overlapped->InternalHigh = 0;
  overlapped->Internal = STATUS_PENDING;
}

UINT_PTR RecordStatus(const OVERLAPPED* overlapped) {
  return __atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE);
}

void Completions::Complete(OVERLAPPED* overlapped, DWORD status, DWORD count) {
  // The record may be released as soon as the status is stored: read the event first.
  HANDLE event = overlapped->hEvent;
  overlapped->InternalHigh = count;
  __atomic_store_n(&overlapped->Internal, static_cast<UINT_PTR>(status), __ATOMIC_RELEASE);
  if (event) SetEvent(event);
  done_.notify_all();
}

void Completions::WaitFor(std::unique_lock<std::mutex>& lock, const OVERLAPPED* overlapped) {
  done_.wait(lock, [&] { return RecordStatus(overlapped) != STATUS_PENDING; });
}

// ---- Reads -----------------------------------------------------------------------------------

PendingRead::PendingRead(OVERLAPPED* overlapped, BYTE* buffer, DWORD size, const COMMTIMEOUTS& t,
                         CommClock::time_point now)
    : overlapped(overlapped), buffer(buffer), size(size), deadline(now), lastByte(now) {
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    hasDeadline = true;  // return at once with what is there
  } else if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword) {
    returnOnAny = true;  // wait for the first byte, up to the constant
    hasDeadline = true;
    deadline = now + CommMs(t.ReadTotalTimeoutConstant);
  } else {
    const std::uint64_t total =
        std::uint64_t{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
    hasDeadline = total != 0;
    deadline = now + CommMs(total);
    interval = t.ReadIntervalTimeout == kMaxDword ? 0 : t.ReadIntervalTimeout;
  }
}

void PendingRead::Took(DWORD count, CommClock::time_point now) {
  done += count;
  if (count > 0) lastByte = now;
}

bool PendingRead::Finished(CommClock::time_point now) const {
  return done == size || (returnOnAny && done > 0) || (hasDeadline && now >= deadline) ||
         (interval && done > 0 && now - lastByte >= CommMs(interval));
}

std::optional<CommClock::time_point> PendingRead::Due() const {
  std::optional<CommClock::time_point> due;
  if (hasDeadline) due = deadline;
  if (interval && done > 0) {
    const CommClock::time_point quiet = lastByte + CommMs(interval);
    if (!due || quiet < *due) due = quiet;
  }
  return due;
}

void PendingReads::Serve(InputQueue& queue, CommClock::time_point now) {
  while (!reads_.empty()) {
    PendingRead& r = reads_.front();
    const std::size_t n = queue.Take(r.buffer + r.done, r.size - r.done);
    r.Took(static_cast<DWORD>(n), now);
    if (!r.Finished(now)) return;
    // A time-out is not an error on a serial line: the read ends with what has come.
    completions_.Complete(r.overlapped, ERROR_SUCCESS, r.done);
    reads_.pop_front();
  }
}

PendingRead* PendingReads::DirectTarget(const InputQueue& queue) {
  if (queue.Held() != 0 || reads_.empty()) return nullptr;
  PendingRead& r = reads_.front();
  return r.done < r.size ? &r : nullptr;
}

bool PendingReads::End(DWORD status, const OVERLAPPED* only) {
  bool found = false;
  for (auto it = reads_.begin(); it != reads_.end();) {
    if (only == nullptr || it->overlapped == only) {
      completions_.Complete(it->overlapped, status, it->done);
      it = reads_.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  return found;
}

// ---- WaitCommEvent ---------------------------------------------------------------------------

void EventWait::SetMask(DWORD mask) {
  mask_ = mask;
  history_ = 0;
  End(ERROR_SUCCESS);
}

DWORD EventWait::Start(DWORD* events, OVERLAPPED* overlapped) {
  if (waiting_ || mask_ == 0) return ERROR_INVALID_PARAMETER;
  StartRecord(overlapped);
  *events = 0;
  waiting_ = true;
  overlapped_ = overlapped;
  events_ = events;
  return ERROR_SUCCESS;
}

void EventWait::Record(DWORD events) {
  history_ |= events & mask_;
  if (waiting_ && history_) {
    *events_ = history_;
    history_ = 0;
    waiting_ = false;
    completions_.Complete(overlapped_, ERROR_SUCCESS, 0);
  }
}

bool EventWait::End(DWORD status, const OVERLAPPED* only) {
  if (!waiting_ || (only != nullptr && overlapped_ != only)) return false;
  *events_ = 0;
  waiting_ = false;
  completions_.Complete(overlapped_, status, 0);
  return true;
}

// ---- WaitCommInput ---------------------------------------------------------------------------

void InputWaiters::Signal(const InputQueue& queue) {
  const std::size_t held = queue.Held();
  for (Waiter* w : waiters_) {
    if (w->signalled || (held < w->count && held < queue.Capacity())) continue;
    w->signalled = true;
    SignalFd(w->fd);
  }
}

void InputWaiters::SignalAll() {
  for (Waiter* w : waiters_) {
    if (w->signalled) continue;
    w->signalled = true;
    SignalFd(w->fd);
  }
}

void InputWaiters::WaitUntilGone(std::unique_lock<std::mutex>& lock) {
  gone_.wait(lock, [&] { return waiters_.empty(); });
}

void InputWaiters::Leave(InputWaitSource& source, Waiter* waiter) {
  auto it = std::find(waiters_.begin(), waiters_.end(), waiter);
  if (it == waiters_.end()) return;
  waiters_.erase(it);
  if (!waiters_.empty()) return;
  gone_.notify_all();
  lingerUntil_ = CommClock::now() + kLinger;
  if (deafUnbounded_) {
    deafUnbounded_ = false;
    source.WakeService();
  }
}

// The waiting thread polls the line itself as well as its own descriptor: bytes that arrive
// wake it straight away rather than through the service thread, which takes whichever of the
// two reaches the line first. The service thread signals the descriptor when it queued bytes.
DWORD InputWaiters::Wait(InputWaitSource& source, std::mutex& mutex, DWORD count,
                         DWORD milliseconds, DWORD abortCount, const HANDLE* aborts,
                         DWORD* result) {
  thread_local ThreadWaitFd own;
  if (own.fd < 0) return ERROR_NOT_ENOUGH_MEMORY;
  std::vector<pollfd> fds(abortCount + 2);
  for (DWORD i = 0; i < abortCount; ++i) {
    fds[i + 2] = {GetHandleDescriptor(aborts[i]), POLLIN, 0};
    if (fds[i + 2].fd < 0) return ERROR_INVALID_HANDLE;
  }
  const bool infinite = milliseconds == INFINITE;
  const CommClock::time_point deadline = CommClock::now() + CommMs(milliseconds);
  Waiter waiter{count, own.fd, false};
  std::unique_lock lock(mutex, std::defer_lock);
  auto leave = [&](DWORD error) {
    if (!lock.owns_lock()) lock.lock();
    Leave(source, &waiter);
    lock.unlock();
    return error;
  };
  Drain(own.fd);
  // A pty flushes its buffers on every read and poll, so the line is read only once it polled
  // readable (or at the last look before the deadline).
  bool pull = milliseconds == 0;
  bool timedOut = false;
  for (;;) {
    for (DWORD i = 0; i < abortCount; ++i) {
      if (WaitForSingleObject(aborts[i], 0) == WAIT_OBJECT_0) {
        *result = WAIT_OBJECT_0 + 1 + i;
        return leave(ERROR_SUCCESS);
      }
    }
    lock.lock();
    const CommClock::time_point now = CommClock::now();
    const InputLook look = source.LookForInput(count, pull, now);
    if (look.error != ERROR_SUCCESS) return leave(look.error);
    if (look.enough) {
      *result = WAIT_OBJECT_0;
      return leave(ERROR_SUCCESS);
    }
    if (timedOut || (!infinite && now >= deadline && pull)) {
      *result = WAIT_TIMEOUT;
      return leave(ERROR_SUCCESS);
    }
    if (std::find(waiters_.begin(), waiters_.end(), &waiter) == waiters_.end()) {
      waiters_.push_back(&waiter);
    }
    waiter.signalled = false;
    // A full queue leaves the rest in the driver, which would keep the line readable: the
    // count there is looked at every millisecond instead.
    const bool pollLine = !look.full && look.lineFd >= 0;
    lock.unlock();

    int timeout = -1;
    if (!infinite) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
    }
    if (look.lookEveryMs) timeout = timeout < 0 ? 1 : std::min(timeout, 1);
    fds[0] = {own.fd, POLLIN, 0};
    fds[1] = {pollLine ? look.lineFd : -1, POLLIN, 0};
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      return leave(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE);
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) Drain(own.fd);
    // The last look at the deadline reads the line once more, so that bytes already there
    // count, as they would for ClearCommError.
    timedOut = ready == 0 && !look.lookEveryMs;
    pull = timedOut || look.lookEveryMs || (ready > 0 && fds[1].revents != 0);
  }
}

}  // namespace win::detail
