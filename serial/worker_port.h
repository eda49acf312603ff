// What the engine's workers may do with the port they serve: the one way in from a worker
// thread. A worker reads and writes the device through the port's overlapped steps, takes
// requests from the two queues, marks the request it holds in flight and completes it only if
// it can still claim it, and hands what it found to the control through the counting and
// pattern steps. Nothing else of the port (its setters, open and close, the saved settings) is
// reachable from a worker.
//
// Offers: rs232x_worker_port_t, a reference-sized handle a worker keeps to its port.
#pragma once

#include <cstdint>
#include <vector>

#include "serial/port.h"

namespace serial {

class rs232x_worker_port_t {
 public:
  using kind_t = rs232x_port_t::kind_t;
  using read_result_t = rs232x_port_t::read_result_t;
  using fire_t = rs232x_port_t::fire_t;
  using worker_t = rs232x_port_t::request_worker;

  explicit rs232x_worker_port_t(rs232x_port_t& port) : port_(port) {}

  // ---- the device session --------------------------------------------------------------------
  bool opened() const { return port_.opened(); }
  HANDLE handle() const { return port_.handle_.load(); }
  // Bumped by every close: what a worker found belongs to the session it found it in.
  std::uint64_t device_generation() const { return port_.device_generation_.load(); }
  HANDLE event_wait_event() const { return port_.event_wait_event_; }
  engineConfig config_snapshot() const { return port_.config_snapshot(); }
  int clear_errors(DWORD* errors, win::COMSTAT* stat) { return port_.clear_errors(errors, stat); }

  // ---- reading and writing (the waits honour the worker's gate) ------------------------------
  read_result_t read_bytes(DWORD n, kind_t kind, rs232x_thread_t* worker) {
    return port_.read_bytes(n, kind, worker);
  }
  int write_bytes(const std::uint8_t* data, DWORD n, DWORD* written, rs232x_thread_t* worker) {
    return port_.write_bytes(data, n, written, worker);
  }
  bool finish_io(HANDLE device, std::uint64_t generation, win::OVERLAPPED* ov, DWORD* count) {
    return port_.finish_io(device, generation, ov, count);
  }

  // ---- requests ------------------------------------------------------------------------------
  rs232x_input_queue_t& input_requests() { return port_.input_requests_; }
  rs232x_output_queue_t& output_requests() { return port_.output_requests_; }
  void take_in_flight(worker_t worker, LONG id, std::uint8_t kind) {
    port_.take_in_flight(worker, id, kind);
  }
  bool claim_in_flight(worker_t worker, LONG id) { return port_.claim_in_flight(worker, id); }
  void complete_unserved_input(const rs232x_input_request_t& request, const fire_t& fire) {
    port_.complete_unserved_input(request, fire);
  }

  // ---- after a transfer: pattern search, counting and their reports --------------------------
  void after_input(const std::vector<std::uint8_t>& bytes, bool countIt, const fire_t& fire) {
    port_.after_input(bytes, countIt, fire);
  }
  void count_output_and_report(LONG n, const fire_t& fire) {
    port_.count_output_and_report(n, fire);
  }

 private:
  rs232x_port_t& port_;
};

}  // namespace serial
