#include "platform/com/apartment.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"

namespace win {
namespace {

// An eventfd that the tests use as "an event" for WaitWithDispatch.
class Event {
 public:
  Event() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Event() { close(fd_); }
  void Set() {
    std::uint64_t one = 1;
    ASSERT_EQ(write(fd_, &one, sizeof one), 8);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

// A thread that owns an apartment and services it until told to stop.
class ApartmentThread {
 public:
  ApartmentThread() {
    std::promise<ApartmentPtr> ready;
    auto got = ready.get_future();
    thread_ = std::thread([this, &ready] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ready.set_value(CurrentApartment());
      int fd = stop_.fd();
      while (WaitWithDispatch(1, &fd, INFINITE) != WAIT_OBJECT_0) {
      }
      CoUninitialize();
    });
    apartment_ = got.get();
  }
  ~ApartmentThread() {
    stop_.Set();
    thread_.join();
  }
  Apartment& apartment() { return *apartment_; }
  std::thread::id id() const { return thread_.get_id(); }

 private:
  Event stop_;
  ApartmentPtr apartment_;
  std::thread thread_;
};

TEST(Apartment, WorkerCallRunsOnOwnerDuringWaitWithDispatch) {
  ApartmentPtr apartment = CurrentApartment();
  Event finished;
  std::thread::id ranOn;
  HRESULT result = E_FAIL;
  std::thread worker([&] {
    result = apartment->Call([&] { ranOn = std::this_thread::get_id(); });
    finished.Set();
  });
  int fd = finished.fd();
  EXPECT_EQ(WaitWithDispatch(1, &fd, 10000), WAIT_OBJECT_0);
  worker.join();
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Apartment, CallsRunInOrderOneAtATime) {
  ApartmentThread owner;
  constexpr int kWorkers = 4, kCalls = 100;
  std::vector<std::pair<int, int>> log;  // touched only on the owning thread
  std::atomic<int> inside{0}, maxInside{0};
  std::atomic<bool> wrongThread{false};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kCalls; ++i) {
        HRESULT hr = owner.apartment().Call([&, w, i] {
          int now = ++inside;
          int seen = maxInside.load();
          while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
          }
          if (std::this_thread::get_id() != owner.id()) wrongThread = true;
          log.emplace_back(w, i);
          --inside;
        });
        EXPECT_EQ(hr, S_OK);
      }
    });
  }
  for (auto& t : workers) t.join();
  // The joins above happen after each call returned, so the log is complete and visible here.
  ASSERT_EQ(log.size(), static_cast<size_t>(kWorkers * kCalls));
  std::vector<int> next(kWorkers, 0);
  for (auto [w, i] : log) EXPECT_EQ(i, next[w]++) << "worker " << w;
  EXPECT_EQ(maxInside.load(), 1);
  EXPECT_FALSE(wrongThread);
}

TEST(Apartment, DescriptorReadableExactlyWhileCallsWait) {
  ApartmentPtr apartment = CurrentApartment();
  EXPECT_EQ(DispatchPending(), 0);
  EXPECT_FALSE(Readable(apartment->Descriptor()));
  int ran = 0;
  std::thread worker([&] { EXPECT_EQ(apartment->Call([&] { ++ran; }), S_OK); });
  pollfd p{apartment->Descriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  EXPECT_EQ(apartment->Service(), 1);
  worker.join();
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(Readable(apartment->Descriptor()));
}

TEST(Apartment, CallOnOwningThreadRunsAtOnce) {
  bool ran = false;
  EXPECT_EQ(CurrentApartment()->Call([&] { ran = true; }), S_OK);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(CurrentApartment()->IsCurrent());
  EXPECT_EQ(CurrentApartment()->Call(nullptr), E_INVALIDARG);
}

TEST(Apartment, ServiceFromAnotherThreadRunsNothing) {
  ApartmentThread owner;
  EXPECT_FALSE(owner.apartment().IsCurrent());
  EXPECT_EQ(owner.apartment().Service(), 0);
}

TEST(Apartment, GoneApartmentFailsCleanly) {
  ApartmentPtr gone;
  std::thread([&] { gone = CurrentApartment(); }).join();  // thread exit closes it
  bool ran = false;
  EXPECT_EQ(gone->Call([&] { ran = true; }), RPC_E_DISCONNECTED);
  EXPECT_FALSE(ran);
}

TEST(Apartment, QueuedCallFailsWhenOwnerUninitializes) {
  std::promise<ApartmentPtr> ready;
  Event posted, quit;
  std::thread owner([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    ApartmentPtr mine = CurrentApartment();
    ready.set_value(mine);
    pollfd p{quit.fd(), POLLIN, 0};
    poll(&p, 1, 10000);  // not servicing: the call stays queued
    CoUninitialize();
    EXPECT_EQ(CurrentApartment(), mine);  // the first of two leaves it open
    CoUninitialize();                     // the last one closes it
  });
  ApartmentPtr apartment = ready.get_future().get();
  bool ran = false;
  std::thread caller([&] {
    // Tell the owner to leave once the call is queued (descriptor readable).
    std::thread nudge([&] {
      pollfd p{apartment->Descriptor(), POLLIN, 0};
      poll(&p, 1, 10000);
      quit.Set();
    });
    EXPECT_EQ(apartment->Call([&] { ran = true; }), RPC_E_DISCONNECTED);
    nudge.join();
  });
  caller.join();
  owner.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(apartment->Call([] {}), RPC_E_DISCONNECTED);
}

TEST(Apartment, CallThatWaitsWithDispatchLetsOtherCallsIn) {
  ApartmentThread owner;
  Event innerDone;
  std::vector<int> order;  // owning thread only
  std::atomic<bool> outerStarted{false};
  std::thread first([&] {
    EXPECT_EQ(owner.apartment().Call([&] {
      order.push_back(1);
      outerStarted = true;
      int fd = innerDone.fd();
      // Re-entrant: the second worker's call must run inside this wait.
      EXPECT_EQ(WaitWithDispatch(1, &fd, 10000), WAIT_OBJECT_0);
      order.push_back(3);
    }),
              S_OK);
  });
  while (!outerStarted) std::this_thread::yield();
  std::thread second([&] {
    EXPECT_EQ(owner.apartment().Call([&] {
      order.push_back(2);
      innerDone.Set();
    }),
              S_OK);
  });
  first.join();
  second.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Apartment, TwoApartmentsCallingEachOtherDoNotDeadlock) {
  ApartmentThread a, b;
  int depth = 0;
  std::thread::id innerRanOn;
  // a -> b -> a: a is blocked in its outgoing call, so it must serve b's call meanwhile.
  HRESULT hr = a.apartment().Call([&] {
    ++depth;
    EXPECT_EQ(b.apartment().Call([&] {
      EXPECT_EQ(a.apartment().Call([&] {
        ++depth;
        innerRanOn = std::this_thread::get_id();
      }),
                S_OK);
    }),
              S_OK);
  });
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(depth, 2);
  EXPECT_EQ(innerRanOn, a.id());
}

TEST(WaitWithDispatch, TimeOutAndBadArguments) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitWithDispatch(0, nullptr, 30), WAIT_TIMEOUT);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(29));
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(WaitWithDispatch(1, nullptr, 0), WAIT_FAILED);
  int closedFd = eventfd(0, 0);
  close(closedFd);
  EXPECT_EQ(WaitWithDispatch(1, &closedFd, 0), WAIT_FAILED);
}

TEST(WaitWithDispatch, ReportsTheFirstReadableDescriptorAndServicesWhileWaiting) {
  Event e0, e1;
  e1.Set();
  int fds[2] = {e0.fd(), e1.fd()};
  EXPECT_EQ(WaitWithDispatch(2, fds, 0), WAIT_OBJECT_0 + 1);

  // count 0 with a time-out services calls that arrive meanwhile.
  ApartmentPtr apartment = CurrentApartment();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    EXPECT_EQ(apartment->Call([] {}), S_OK);
    done = true;
  });
  while (!done) WaitWithDispatch(0, nullptr, 50);
  worker.join();
}

}  // namespace
}  // namespace win
