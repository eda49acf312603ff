// rs232x_request_t: queued non-blocking input and output requests, and their two FIFOs.
//
// Each queue has its own lock, which also guards its RequestId counter; the lock is held only to
// add, remove or sum requests, never during device I/O. RequestIds run 1, 2, ... 2147483647,
// then 0, and restart with every open. A manual-reset event is signalled while the queue holds
// requests, so that an idle worker can wait for work instead of polling an empty queue.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/wintypes.h"

namespace serial {

using win::LONG;

struct rs232x_input_request_t {
  LONG request_id = 0;
  LONG count = 0;         // bytes wanted
  std::uint8_t kind = 0;  // 0 string (Input), 1 bytes (InputB)
};

struct rs232x_output_request_t {
  LONG request_id = 0;
  std::vector<std::uint8_t> bytes;  // owned copy; empty with count 0 when it could not be made
  LONG count = 0;
  std::uint8_t kind = 0;  // 0 string (Output), 1 bytes (OutputB)
};

template <typename Request>
class rs232x_request_queue_t {
 public:
  rs232x_request_queue_t() : ready_(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr)) {}
  ~rs232x_request_queue_t() {
    if (ready_) win::CloseHandle(ready_);
  }
  rs232x_request_queue_t(const rs232x_request_queue_t&) = delete;
  rs232x_request_queue_t& operator=(const rs232x_request_queue_t&) = delete;
  // Signalled while requests are queued (null when it could not be made).
  win::HANDLE ready_event() const { return ready_; }

  // Appends a request with the next RequestId, which it returns.
  LONG push(Request request) {
    return push(std::move(request), [](LONG) {});
  }
  // The same; `queued` is called with the RequestId before any worker can take the request
  // (so that a trace line of the request comes before anything done for it). It must not
  // use this queue.
  template <typename Queued>
  LONG push(Request request, const Queued& queued) {
    std::lock_guard<std::mutex> guard(lock_);
    next_id_ = next_id_ == 2147483647 ? 0 : next_id_ + 1;
    request.request_id = next_id_;
    fifo_.push_back(std::move(request));
    queued(next_id_);
    if (ready_) win::SetEvent(ready_);
    return next_id_;
  }
  std::optional<Request> pop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (fifo_.empty()) return std::nullopt;
    Request front = std::move(fifo_.front());
    fifo_.pop_front();
    if (fifo_.empty() && ready_) win::ResetEvent(ready_);
    return front;
  }
  // Removes every request, oldest first in the result.
  std::deque<Request> take_all() {
    std::lock_guard<std::mutex> guard(lock_);
    std::deque<Request> all;
    all.swap(fifo_);
    if (ready_) win::ResetEvent(ready_);
    return all;
  }
  // Sum of the counts of the queued requests.
  std::int64_t queued_bytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::int64_t sum = 0;
    for (const auto& r : fifo_) sum += r.count;
    return sum;
  }
  std::size_t size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fifo_.size();
  }
  void reset_ids(LONG last = 0) {
    std::lock_guard<std::mutex> guard(lock_);
    next_id_ = last;
  }
  LONG last_id() const {
    std::lock_guard<std::mutex> guard(lock_);
    return next_id_;
  }

 private:
  win::HANDLE ready_;
  mutable std::mutex lock_;
  std::deque<Request> fifo_;
  LONG next_id_ = 0;
};

using rs232x_input_queue_t = rs232x_request_queue_t<rs232x_input_request_t>;
using rs232x_output_queue_t = rs232x_request_queue_t<rs232x_output_request_t>;

}  // namespace serial
