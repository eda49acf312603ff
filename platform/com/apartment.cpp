// Apartments: a FIFO of posted calls per thread, signalled through an eventfd.
//
// The eventfd counter is non-zero exactly while the queue holds calls (both are changed under the
// apartment's mutex), so a host loop can poll it. A caller waits for its call on a condition
// variable, or, when the caller has an apartment of its own, polls its own descriptor too and
// keeps servicing it, so two apartments calling each other never deadlock.
#include "platform/com/apartment.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"

namespace win {
namespace {

// One posted call. The state changes under the apartment's mutex only.
struct PendingCall {
  enum class State { Queued, Running, Done, Failed };
  std::function<void()> fn;
  State state = State::Queued;
  HRESULT result = S_OK;
  int doneFd = -1;  // eventfd of a caller that polls its own apartment meanwhile, else -1
};
using PendingPtr = std::shared_ptr<PendingCall>;

void SignalFd(int fd) {
  const std::uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void DrainFd(int fd) {
  std::uint64_t value = 0;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

class ApartmentImpl;

// The calling thread's tie to its apartment: created by CurrentApartment or CoInitializeEx,
// closed by the last CoUninitialize or when the thread ends.
struct ThreadTie {
  std::shared_ptr<ApartmentImpl> apartment;
  int initCount = 0;
  std::vector<int> spareReplyFds;  // eventfds for outgoing calls, one per nesting level
  ~ThreadTie();
};
thread_local ThreadTie tie;

class ApartmentImpl final : public Apartment {
 public:
  ApartmentImpl() : owner_(std::this_thread::get_id()) {
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~ApartmentImpl() override {
    Close();
    if (fd_ >= 0) close(fd_);
  }

  bool Usable() const { return fd_ >= 0; }

  HRESULT Call(std::function<void()> fn) override {
    if (!fn) return E_INVALIDARG;
    if (IsCurrent()) {
      {
        std::lock_guard lock(mutex_);
        if (closed_) return RPC_E_DISCONNECTED;
      }
      fn();
      return S_OK;
    }
    auto call = std::make_shared<PendingCall>();
    call->fn = std::move(fn);
    // A caller that owns an apartment keeps serving it while it waits for the reply.
    std::shared_ptr<ApartmentImpl> own = tie.apartment;
    if (own && own->IsCurrent() && !own->IsClosed()) {
      if (tie.spareReplyFds.empty()) {
        call->doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
      } else {
        call->doneFd = tie.spareReplyFds.back();
        tie.spareReplyFds.pop_back();
      }
    }
    {
      std::lock_guard lock(mutex_);
      if (closed_) {
        if (call->doneFd >= 0) tie.spareReplyFds.push_back(call->doneFd);
        return RPC_E_DISCONNECTED;
      }
      queue_.push_back(call);
      if (queue_.size() == 1) SignalFd(fd_);
    }
    if (call->doneFd >= 0) {
      WaitServing(*own, call);
      tie.spareReplyFds.push_back(call->doneFd);
    } else {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return Finished(*call); });
    }
    std::lock_guard lock(mutex_);
    return call->result;
  }

  bool IsCurrent() const override { return std::this_thread::get_id() == owner_; }

  int Descriptor() const override { return fd_; }

  int Service() override {
    if (!IsCurrent()) return 0;
    std::size_t budget;
    {
      std::lock_guard lock(mutex_);
      budget = queue_.size();
    }
    // Only the calls waiting at entry: calls posted meanwhile wait for the next round, so a
    // steady stream of posts cannot starve the host loop.
    int ran = 0;
    while (budget-- > 0) {
      PendingPtr call;
      {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) break;
        call = std::move(queue_.front());
        queue_.pop_front();
        if (queue_.empty()) DrainFd(fd_);
        call->state = PendingCall::State::Running;
      }
      HRESULT result = S_OK;
      try {
        call->fn();
      } catch (...) {
        // A call must not unwind through the host loop; the caller sees the failure instead.
        result = E_UNEXPECTED;
      }
      call->fn = nullptr;  // drop captures on the owning thread
      Complete(call, PendingCall::State::Done, result);
      ++ran;
    }
    return ran;
  }

  void Close() override {
    std::deque<PendingPtr> failed;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      closed_ = true;
      failed.swap(queue_);
      if (!failed.empty()) DrainFd(fd_);
    }
    for (auto& call : failed) Complete(call, PendingCall::State::Failed, RPC_E_DISCONNECTED);
  }

  bool IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

 private:
  static bool Finished(const PendingCall& call) {
    return call.state == PendingCall::State::Done || call.state == PendingCall::State::Failed;
  }

  void Complete(const PendingPtr& call, PendingCall::State state, HRESULT result) {
    int doneFd;
    {
      std::lock_guard lock(mutex_);
      call->state = state;
      call->result = result;
      doneFd = call->doneFd;
      if (doneFd >= 0) SignalFd(doneFd);
    }
    done_.notify_all();
  }

  // The caller's side when it owns an apartment: poll the reply and its own queue together.
  void WaitServing(ApartmentImpl& own, const PendingPtr& call) {
    pollfd fds[2] = {{call->doneFd, POLLIN, 0}, {own.Descriptor(), POLLIN, 0}};
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (Finished(*call)) {
          DrainFd(call->doneFd);
          return;
        }
      }
      fds[0].revents = fds[1].revents = 0;
      int rc = poll(fds, 2, -1);
      if (rc < 0 && errno != EINTR) {
        // Polling broke down; fall back to a plain wait rather than spin.
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return Finished(*call); });
        DrainFd(call->doneFd);
        return;
      }
      if (rc > 0 && (fds[1].revents & POLLIN)) own.Service();
    }
  }

  const std::thread::id owner_;
  int fd_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::deque<PendingPtr> queue_;
  bool closed_ = false;
};

ThreadTie::~ThreadTie() {
  if (apartment) apartment->Close();
  apartment.reset();
  for (int fd : spareReplyFds) close(fd);
}

std::shared_ptr<ApartmentImpl> EnsureApartment() {
  if (!tie.apartment) tie.apartment = std::make_shared<ApartmentImpl>();
  return tie.apartment;
}

}  // namespace

ApartmentPtr CurrentApartment() {
  return EnsureApartment();
}

HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD coInit) {
  if (coInit != COINIT_APARTMENTTHREADED && coInit != COINIT_MULTITHREADED) return E_INVALIDARG;
  auto apartment = EnsureApartment();
  if (!apartment->Usable()) return E_OUTOFMEMORY;
  return tie.initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (tie.initCount <= 0) return;
  if (--tie.initCount == 0 && tie.apartment) {
    tie.apartment->Close();
    tie.apartment.reset();
  }
}

DWORD WaitWithDispatch(DWORD count, const int* fds, DWORD milliseconds) {
  if (count > 0 && fds == nullptr) return WAIT_FAILED;
  if (count > MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
  auto apartment = EnsureApartment();
  if (!apartment->Usable()) return WAIT_FAILED;

  std::vector<pollfd> polled(count + 1);
  for (DWORD i = 0; i < count; ++i) polled[i] = {fds[i], POLLIN, 0};
  polled[count] = {apartment->Descriptor(), POLLIN, 0};

  using Clock = std::chrono::steady_clock;
  const bool forever = milliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  for (;;) {
    int timeout = -1;
    if (!forever) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    for (auto& p : polled) p.revents = 0;
    int rc = poll(polled.data(), polled.size(), timeout);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) {
      if (polled[i].revents & POLLNVAL) return WAIT_FAILED;
      if (polled[i].revents & (POLLIN | POLLERR | POLLHUP)) return WAIT_OBJECT_0 + i;
    }
    if (polled[count].revents & POLLIN) {
      apartment->Service();
      continue;
    }
    if (rc == 0 && timeout == 0) return WAIT_TIMEOUT;
    if (rc == 0 && !forever && Clock::now() >= deadline) return WAIT_TIMEOUT;
  }
}

int DispatchPending() {
  auto apartment = tie.apartment;
  if (!apartment) return 0;
  return apartment->Service();
}

}  // namespace win
