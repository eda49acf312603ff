// The engine's workers: rs232x_thread_t and its four kinds, and the gate that pauses them.
//
// Each worker runs a loop on its own thread: sleep 10 ms, then one step of its body. A worker
// is "active" only while it runs a step; inside long waits (the input wait, a pending overlapped
// read or write, the line-event wait) and while it reports to the control it steps aside. Pause
// (close, cancellation) raises the gate and waits, servicing the control's apartment, until no
// worker is active; workers then park at the gate until it is lowered. So a pause never waits out
// a long read, and a worker blocked in a report can finish. Stop is cooperative: it lowers the
// loop flag, wakes every wait and joins the thread, servicing the control's apartment for up to
// 2000 ms. No thread is killed: a worker still held after that (its report is a handler further
// up the control thread's own stack) is let go and ends by itself, touching nothing but its own
// object and the shared gate, as soon as that report returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/com/apartment.h"
#include "platform/kernel/kernel.h"
#include "serial/worker_port.h"

namespace serial {

class rs232x_host_t;

class rs232x_worker_gate_t {
 public:
  rs232x_worker_gate_t();
  ~rs232x_worker_gate_t();
  bool valid() const { return wake_event_ != nullptr; }

  // Control's thread. Nested pauses stack; the gate opens at the last resume.
  void pause();
  void resume();

  // Worker side. enter parks while the gate is raised and returns false once stopping.
  bool enter();
  void leave();
  // Steps aside for a moment inside a step: parks if a pause is waiting. False once stopping.
  bool yield();
  // Sleeps up to ms, returning early when stopping. False once stopping.
  bool sleep(unsigned ms);
  bool stopping() const { return stopping_.load(); }
  // Blocks while a pause is in force (not counting as active). False once stopping.
  bool wait_open();
  void request_stop();
  void register_worker();
  void unregister_worker();

  // Signalled while a pause or a stop is waiting: waits on the device add it to their set.
  win::HANDLE wake_event() const { return wake_event_; }

 private:
  mutable std::mutex lock_;
  std::condition_variable opened_;
  int pauses_ = 0;
  int workers_ = 0;
  int active_ = 0;
  std::atomic<bool> stopping_{false};
  win::HANDLE wake_event_ = nullptr;
};

class rs232x_thread_t {
 public:
  rs232x_thread_t(rs232x_port_t& port, rs232x_host_t& control,
                  std::shared_ptr<rs232x_worker_gate_t> gate);
  virtual ~rs232x_thread_t();
  bool valid() const { return io_event_ != nullptr; }

  // The thread body: apartment, then the 10 ms loop around step until stopped.
  virtual void run() = 0;

  // Control's thread: hand over the control's apartment (the sink), start the thread.
  void bind(win::ApartmentPtr controlApartment);
  bool start();
  bool started() const { return thread_.joinable(); }
  // Control's thread: ends the loop and joins, servicing the control's apartment meanwhile.
  // False when the worker did not end within 2000 ms (it is then still running).
  bool stop();
  // After a failed stop: the worker deletes itself when its thread ends.
  static void abandon(std::unique_ptr<rs232x_thread_t> worker);

  // Worker side: runs call on the control's thread and waits for it (nothing without a sink).
  // False once the worker is stopping, or when the device session the call belonged to has
  // ended (before the call, which is then dropped, or in it: a handler closed the port): the
  // step must then return at once, touching nothing of the port or the control.
  bool report(const std::function<void()>& call);
  rs232x_worker_gate_t& gate() { return *gate_; }
  // Inside a step: waits, not counting as active, until ready is signalled; a pause parks it
  // meanwhile. False once stopping.
  bool wait_for_work(win::HANDLE ready);
  // The worker's own event for its overlapped reads or writes.
  win::HANDLE io_event() const { return io_event_; }

 protected:
  void loop(const std::function<void()>& step);

  using worker_t = rs232x_worker_port_t::worker_t;
  rs232x_worker_port_t port_;
  rs232x_host_t& control_;
  std::shared_ptr<rs232x_worker_gate_t> gate_;
  std::atomic<int> running_{1};

 private:
  win::ApartmentPtr sink_;
  std::mutex sink_lock_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<int> owners_{2};  // the thread and the port; the last one out deletes
  win::HANDLE io_event_ = nullptr;
};

// Line events -> CommState.
class rs232x_monitor_t : public rs232x_thread_t {
 public:
  using rs232x_thread_t::rs232x_thread_t;
  void run() override;
  // One wait_line_event step.
  void wait_line_event();
};

// Queued input requests -> NonblockInput / NonblockInputB.
class rs232x_reader_t : public rs232x_thread_t {
 public:
  using rs232x_thread_t::rs232x_thread_t;
  void run() override;
  void serve_one();
};

// Error poll -> CommError, automatic input -> AutoInput / _UberAutoInput.
class rs232x_reader_monitor_t : public rs232x_reader_t {
 public:
  using rs232x_reader_t::rs232x_reader_t;
  void run() override;
  void poll();
};

// Queued output requests -> NonblockOutput.
class rs232x_writer_t : public rs232x_thread_t {
 public:
  using rs232x_thread_t::rs232x_thread_t;
  void run() override;
  void serve_one();
};

// CommState for a set of line-event bits (the last matching row wins), 0 when none matches.
win::LONG comm_state_for(win::DWORD events);
// CommError for a set of error bits (the last matching row wins), 0 when none matches.
win::LONG comm_error_for(win::DWORD errors);

}  // namespace serial
