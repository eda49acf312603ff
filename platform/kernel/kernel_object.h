// The process-wide handle table behind kernel.h, and the event object.
//
// A HANDLE names a KernelObject through the table; the object lives while a handle or an
// operation in flight holds it. Each object counts its handles so that a device closes when its
// last handle is closed, whatever duplicates were made. Handle values are never reused, so a
// stale handle cannot reach a newer object.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/wintypes.h"

namespace win::detail {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called once, outside the table lock, when the last handle naming the object is closed.
  virtual void LastHandleClosed() {}

 private:
  friend struct HandleTableAccess;
  int handles_ = 0;  // guarded by the table lock
};

// Adds a handle for the object; INVALID_HANDLE_VALUE only if the table cannot grow.
HANDLE InsertObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);

template <class T>
std::shared_ptr<T> Lookup(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupObject(handle));
}

// An event over an eventfd: the descriptor is readable exactly while the event is signalled.
class Event : public KernelObject {
 public:
  Event(int fd, bool manualReset, bool signalled);
  ~Event() override;

  void Set();
  void Reset();
  // For a wait that found the descriptor readable: true if the event is signalled, consuming
  // the signal of an auto-reset event.
  bool TryAcquire();
  bool IsSignalled();
  bool ManualReset() const { return manualReset_; }
  int Descriptor() const { return fd_; }

  // Locks used by a wait on several events that must take all signals at once.
  std::mutex& Mutex() { return mutex_; }
  bool SignalledLocked() const { return signalled_; }
  void ConsumeLocked();

  // Threads asleep in a wait on this event (for tests: see GetEventWaiterCount).
  void BeginSleep() { sleepers_.fetch_add(1); }
  void EndSleep() { sleepers_.fetch_sub(1); }
  int Sleepers() const { return sleepers_.load(); }

 private:
  void SetLocked();

  const int fd_;
  const bool manualReset_;
  std::mutex mutex_;
  bool signalled_ = false;
  std::atomic<int> sleepers_{0};
};

}  // namespace win::detail
