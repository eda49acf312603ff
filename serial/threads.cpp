#include "serial/threads.h"

#include <chrono>

#include "serial/port.h"

namespace serial {

// ---- gate ------------------------------------------------------------------------------------

rs232x_worker_gate_t::rs232x_worker_gate_t() {
  wake_event_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
}

rs232x_worker_gate_t::~rs232x_worker_gate_t() {
  if (wake_event_) win::CloseHandle(wake_event_);
}

void rs232x_worker_gate_t::pause() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++pauses_;
    win::SetEvent(wake_event_);
  }
  // Service the control's apartment meanwhile: an active worker may be about to report.
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (active_ == 0) return;
    }
    win::WaitWithDispatch(0, nullptr, 1);
  }
}

void rs232x_worker_gate_t::resume() {
  std::lock_guard<std::mutex> guard(lock_);
  if (pauses_ > 0) --pauses_;
  if (pauses_ == 0) {
    if (!stopping_) win::ResetEvent(wake_event_);
    opened_.notify_all();
  }
}

bool rs232x_worker_gate_t::enter() {
  std::unique_lock<std::mutex> guard(lock_);
  opened_.wait(guard, [&] { return pauses_ == 0 || stopping_; });
  ++active_;
  return !stopping_;
}

void rs232x_worker_gate_t::leave() {
  std::lock_guard<std::mutex> guard(lock_);
  --active_;
}

bool rs232x_worker_gate_t::yield() {
  std::unique_lock<std::mutex> guard(lock_);
  if (pauses_ == 0 || stopping_) return !stopping_;
  --active_;
  opened_.wait(guard, [&] { return pauses_ == 0 || stopping_; });
  ++active_;
  return !stopping_;
}

bool rs232x_worker_gate_t::wait_open() {
  std::unique_lock<std::mutex> guard(lock_);
  opened_.wait(guard, [&] { return pauses_ == 0 || stopping_; });
  return !stopping_;
}

bool rs232x_worker_gate_t::sleep(unsigned ms) {
  std::unique_lock<std::mutex> guard(lock_);
  opened_.wait_for(guard, std::chrono::milliseconds(ms), [&] { return stopping_.load(); });
  return !stopping_;
}

void rs232x_worker_gate_t::request_stop() {
  std::lock_guard<std::mutex> guard(lock_);
  stopping_ = true;
  win::SetEvent(wake_event_);
  opened_.notify_all();
}

// ---- rs232x_thread_t --------------------------------------------------------------------------

rs232x_thread_t::rs232x_thread_t(rs232x_port_t& port, rs232x_host_t& control,
                                 std::shared_ptr<rs232x_worker_gate_t> gate)
    : port_(port), control_(control), gate_(std::move(gate)) {
  io_event_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
}

rs232x_thread_t::~rs232x_thread_t() {
  stop();
  if (io_event_) win::CloseHandle(io_event_);
}

void rs232x_thread_t::bind(win::ApartmentPtr controlApartment) {
  std::lock_guard<std::mutex> guard(sink_lock_);
  sink_ = std::move(controlApartment);
}

bool rs232x_thread_t::start() {
  if (thread_.joinable()) return true;
  running_ = 1;
  finished_ = false;
  owners_ = 2;
  thread_ = std::thread([this] {
    run();
    finished_ = true;
    if (owners_.fetch_sub(1) == 1) delete this;
  });
  return true;
}

bool rs232x_thread_t::stop() {
  if (!thread_.joinable()) return true;
  running_ = 0;
  gate_->request_stop();
  // The worker may be blocked in a report to this very thread: keep its apartment serviced.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
  while (!finished_.load()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    win::WaitWithDispatch(0, nullptr, 1);
  }
  thread_.join();
  return true;
}

void rs232x_thread_t::abandon(std::unique_ptr<rs232x_thread_t> worker) {
  rs232x_thread_t* self = worker.release();
  if (self->thread_.joinable()) self->thread_.detach();
  if (self->owners_.fetch_sub(1) == 1) delete self;
}

bool rs232x_thread_t::report(const std::function<void()>& call) {
  if (gate_->stopping()) return false;
  win::ApartmentPtr sink;
  {
    std::lock_guard<std::mutex> guard(sink_lock_);
    sink = sink_;
  }
  if (!sink) return true;
  // What a worker found belongs to the device session it found it in: a report that reaches
  // the control's thread after that session closed is dropped, so no event follows a close.
  // A handler that closes the port (and perhaps opens it again) ends the session too: what the
  // worker would do next with its find (count it, raise thresholds) belonged to the old session,
  // and is dropped rather than counted into the new one.
  const std::uint64_t session = port_.device_generation();
  bool sessionGoesOn = false;
  gate_->leave();
  sink->Call([&] {
    if (port_.opened() && port_.device_generation() == session) {
      call();
      sessionGoesOn = port_.device_generation() == session;
    }
  });
  return gate_->enter() && sessionGoesOn;
}

bool rs232x_thread_t::wait_for_work(win::HANDLE ready) {
  if (!ready) return !gate_->stopping();  // no event: the 10 ms loop polls instead
  gate_->leave();
  const win::HANDLE handles[2] = {ready, gate_->wake_event()};
  for (;;) {
    const win::DWORD r = win::WaitForMultipleObjects(2, handles, win::FALSE, win::INFINITE);
    if (r == win::WAIT_OBJECT_0 + 1 && gate_->wait_open()) continue;  // a pause has ended
    break;  // work, a stop, or a failed wait
  }
  return gate_->enter();
}

void rs232x_thread_t::loop(const std::function<void()>& step) {
  win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED);
  while (running_.load() && gate_->sleep(10)) {
    if (gate_->enter()) step();
    gate_->leave();
  }
  win::CoUninitialize();
}

void rs232x_monitor_t::run() {
  loop([this] { wait_line_event(); });
}

void rs232x_reader_t::run() {
  loop([this] { serve_one(); });
}

void rs232x_reader_monitor_t::run() {
  loop([this] { poll(); });
}

void rs232x_writer_t::run() {
  loop([this] { serve_one(); });
}

}  // namespace serial
