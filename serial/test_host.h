// Test double of the Port control: records every report with the thread it ran on. Besides, what
// the engine's tests use to wait for a condition rather than for a time: InsideAnInputWait (for
// win::WaitCommActivity) and Watchdog.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/com/apartment.h"
#include "platform/comm/comm.h"
#include "serial/engine_host.h"

namespace serial::testing {

struct RecordedEvent {
  std::string name;
  LONG a = 0;  // RequestId or id
  LONG n = 0;  // NumBytes
  std::string data;
  bool null_data = false;
  std::thread::id thread;
};

inline RecordedEvent Ev(std::string name, LONG a = 0, LONG n = 0, std::string data = {}) {
  RecordedEvent e;
  e.name = std::move(name);
  e.a = a;
  e.n = n;
  e.data = std::move(data);
  return e;
}

class RecordingHost : public rs232x_host_t {
 public:
  void _Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override {
    add(Ev("AutoInput", 0, numBytes, {bytes.begin(), bytes.end()}));
  }
  void _Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override {
    add(Ev("_UberAutoInput", 0, numBytes, {bytes.begin(), bytes.end()}));
  }
  void _Fire_CommError(LONG id) override { add(Ev("CommError", id)); }
  void _Fire_CommIOState(LONG id) override { add(Ev("CommIOState", id)); }
  void _Fire_CommState(LONG id) override { add(Ev("CommState", id)); }
  void _Fire_DataDetected() override { add(Ev("DataDetected")); }
  void _Fire_NonblockInput(LONG id, const std::u16string* text, LONG numBytes) override {
    RecordedEvent e = Ev("NonblockInput", id, numBytes);
    e.null_data = text == nullptr;
    if (text)
      for (char16_t c : *text) e.data.push_back(static_cast<char>(c < 0x80 ? c : '?'));
    add(e);
  }
  void _Fire_NonblockInputB(LONG id, const std::vector<std::uint8_t>* bytes,
                            LONG numBytes) override {
    RecordedEvent e = Ev("NonblockInputB", id, numBytes);
    e.null_data = bytes == nullptr;
    if (bytes) e.data.assign(bytes->begin(), bytes->end());
    add(e);
  }
  void _Fire_NonblockOutput(LONG id, LONG numBytes) override {
    add(Ev("NonblockOutput", id, numBytes));
  }
  bool IsOccupied() override { return occupied; }
  bool CountingSuppressed() override { return suppressed; }
  rs232x_counters_t& Counters() override { return counters; }

  std::vector<RecordedEvent> events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }
  std::vector<RecordedEvent> named(const std::string& name) const {
    std::vector<RecordedEvent> out;
    for (const auto& e : events())
      if (e.name == name) out.push_back(e);
    return out;
  }
  void clear() {
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
  }
  // Services the calling thread's apartment until pred holds or ms pass.
  static bool PumpUntil(const std::function<bool()>& pred, int ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      win::WaitWithDispatch(0, nullptr, 2);
    }
    return true;
  }
  bool PumpFor(const std::string& name, std::size_t count, int ms = 3000) {
    return PumpUntil([&] { return named(name).size() >= count; }, ms);
  }
  // An action hook run inside every recorded report (to test re-entrant handlers).
  std::function<void(const RecordedEvent&)> on_event;

  std::atomic<bool> occupied{false};
  std::atomic<bool> suppressed{false};
  rs232x_counters_t counters;

 private:
  void add(RecordedEvent e) {
    e.thread = std::this_thread::get_id();
    {
      std::lock_guard<std::mutex> guard(lock_);
      events_.push_back(e);
    }
    if (on_event) on_event(e);
  }
  mutable std::mutex lock_;
  std::vector<RecordedEvent> events_;
};

// A thread is inside WaitCommInput on the device: a worker in its input wait, or a blocking read.
inline bool InsideAnInputWait(const win::CommActivity& activity) {
  return activity.inputWaits > 0;
}

// Watches a call the test thread makes: unless Done() comes within `ms`, it runs `rescue` on its
// own thread, which must end what the call waits for, so that the test fails on Fired() instead
// of hanging or running into a long time-out.
class Watchdog {
 public:
  Watchdog(int ms, std::function<void()> rescue)
      : thread_([this, ms, rescue = std::move(rescue)] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done_; })) return;
          fired_ = true;
          lock.unlock();
          rescue();
        }) {}
  ~Watchdog() {
    Done();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  void Done() {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }
  bool Fired() const { return fired_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;  // last: starts once the rest is there
};

}  // namespace serial::testing
