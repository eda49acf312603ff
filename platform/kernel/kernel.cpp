// Handles, events, waits, last error and time (kernel.h) on eventfd, poll and CLOCK_MONOTONIC.
#include "platform/kernel/kernel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/kernel/kernel_object.h"

namespace win {
namespace detail {

struct HandleTableAccess {
  static int& Handles(KernelObject& object) { return object.handles_; }
};

namespace {

class HandleTable {
 public:
  HANDLE Insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(mutex_);
    // Steps of 4 keep values away from the pseudo handles (-1, -2) and look like the platform's.
    const std::uintptr_t value = next_;
    next_ += 4;
    ++HandleTableAccess::Handles(*object);
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
  }

  std::shared_ptr<KernelObject> Find(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
  }

  // Removes the handle; returns the object and whether that was its last handle.
  std::shared_ptr<KernelObject> Remove(HANDLE handle, bool* last) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(it->second);
    objects_.erase(it);
    *last = --HandleTableAccess::Handles(*object) == 0;
    return object;
  }

 private:
  std::mutex mutex_;
  std::uintptr_t next_ = 0x1000;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects_;
};

// Never destroyed: objects still open when the process ends go away with it, and a device
// completing its pending transfers as it goes signals their events through this table.
HandleTable& Table() {
  static HandleTable* const table = new HandleTable;
  return *table;
}

thread_local DWORD lastError = ERROR_SUCCESS;

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

std::int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

HANDLE InsertObject(std::shared_ptr<KernelObject> object) {
  return Table().Insert(std::move(object));
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
  return Table().Find(handle);
}

Event::Event(int fd, bool manualReset, bool signalled) : fd_(fd), manualReset_(manualReset) {
  if (signalled) SetLocked();
}

Event::~Event() {
  ::close(fd_);
}

void Event::SetLocked() {
  if (signalled_) return;
  const std::uint64_t one = 1;
  // The counter cannot overflow: it only ever holds 0 or 1.
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  signalled_ = true;
}

void Event::ConsumeLocked() {
  if (!signalled_) return;
  std::uint64_t value = 0;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
  signalled_ = false;
}

void Event::Set() {
  std::lock_guard lock(mutex_);
  SetLocked();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  ConsumeLocked();
}

bool Event::TryAcquire() {
  std::lock_guard lock(mutex_);
  if (!signalled_) return false;
  if (!manualReset_) ConsumeLocked();
  return true;
}

bool Event::IsSignalled() {
  std::lock_guard lock(mutex_);
  return signalled_;
}

}  // namespace detail

using detail::Event;

DWORD GetLastError() {
  return detail::lastError;
}
void SetLastError(DWORD code) {
  detail::lastError = code;
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCSTR) {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;  // CreateEvent reports failure with a null handle, not INVALID_HANDLE_VALUE
  }
  auto event = std::make_shared<Event>(fd, manualReset != FALSE, initialState != FALSE);
  return detail::InsertObject(std::move(event));
}

BOOL SetEvent(HANDLE handle) {
  auto event = detail::Lookup<Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = detail::Lookup<Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}

namespace {

// Milliseconds left before the deadline, as poll() wants them (-1 for none).
int RemainingMs(bool infinite, std::int64_t deadline) {
  if (infinite) return -1;
  const std::int64_t left = deadline - detail::MonotonicNanoseconds();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>((left + 999999) / 1000000, 1 << 30));
}

// Takes every signal at once, or none: the events are locked in address order so that two such
// waits cannot deadlock each other.
bool TryAcquireAll(std::vector<std::shared_ptr<Event>>& events) {
  std::vector<Event*> order;
  for (auto& e : events) order.push_back(e.get());
  std::sort(order.begin(), order.end());
  order.erase(std::unique(order.begin(), order.end()), order.end());
  for (Event* e : order) e->Mutex().lock();
  const bool all =
      std::all_of(order.begin(), order.end(), [](Event* e) { return e->SignalledLocked(); });
  if (all) {
    for (Event* e : order) {
      if (!e->ManualReset()) e->ConsumeLocked();
    }
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->Mutex().unlock();
  return all;
}

}  // namespace

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<Event>> events;
  events.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto event = detail::Lookup<Event>(handles[i]);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    events.push_back(std::move(event));
  }
  const bool infinite = milliseconds == INFINITE;
  const std::int64_t deadline =
      detail::MonotonicNanoseconds() + static_cast<std::int64_t>(milliseconds) * 1000000LL;
  std::vector<pollfd> fds(count);
  for (;;) {
    if (waitAll) {
      if (TryAcquireAll(events)) return WAIT_OBJECT_0;
    } else {
      for (DWORD i = 0; i < count; ++i) {
        if (events[i]->TryAcquire()) return WAIT_OBJECT_0 + i;
      }
    }
    const int timeout = RemainingMs(infinite, deadline);
    if (timeout == 0) return WAIT_TIMEOUT;
    for (DWORD i = 0; i < count; ++i) fds[i] = {events[i]->Descriptor(), POLLIN, 0};
    int ready = 0;
    if (waitAll) {
      // Wait for the ones not yet signalled; all of them readable at once is checked above.
      std::vector<pollfd> pending;
      for (DWORD i = 0; i < count; ++i) {
        if (!events[i]->IsSignalled()) pending.push_back(fds[i]);
      }
      if (pending.empty()) continue;
      for (auto& e : events) e->BeginSleep();
      ready = ::poll(pending.data(), pending.size(), timeout);
    } else {
      for (auto& e : events) e->BeginSleep();
      ready = ::poll(fds.data(), fds.size(), timeout);
    }
    for (auto& e : events) e->EndSleep();
    if (ready < 0 && errno != EINTR) {
      SetLastError(ERROR_GEN_FAILURE);
      return WAIT_FAILED;
    }
  }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
  bool last = false;
  auto object = detail::Table().Remove(handle, &last);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (last) object->LastHandleClosed();
  return TRUE;
}

HANDLE GetCurrentProcess() {
  return detail::kCurrentProcess;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD, BOOL, DWORD options) {
  if (sourceProcess != detail::kCurrentProcess || targetProcess != detail::kCurrentProcess ||
      target == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto object = detail::LookupObject(source);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *target = detail::InsertObject(object);
  if (options & DUPLICATE_CLOSE_SOURCE) CloseHandle(source);
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) return FALSE;
  count->QuadPart = detail::MonotonicNanoseconds();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1000000000LL;
  return TRUE;
}

DWORD GetTickCount() {
  return static_cast<DWORD>(detail::MonotonicNanoseconds() / 1000000LL);
}

void Sleep(DWORD milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) < 0 && errno == EINTR) {
  }
}

int GetHandleDescriptor(HANDLE handle) {
  auto event = detail::Lookup<Event>(handle);
  return event ? event->Descriptor() : -1;
}

DWORD GetEventWaiterCount(HANDLE handle) {
  auto event = detail::Lookup<Event>(handle);
  return event ? static_cast<DWORD>(event->Sleepers()) : 0;
}

}  // namespace win
