// The serial engine of the Port control: rs232x_port_t, one per control.
//
// How it works. The engine drives one device of platform/comm ("\\.\COM<n>") with overlapped
// I/O. Its settings live in the 76-byte engineConfig (engine_config.h); while the device is
// closed a property write only stores, while open it is applied to the device first and kept only
// when the device accepts it. Open saves the device's own settings and close writes them back.
// Data moves in three I/O modes: blocking reads and writes on the caller's thread; queued
// requests (RequestIds) served by the reader and writer workers; and automatic input, in which
// the reader-monitor worker polls the device every 10 ms and delivers what arrived. Four workers
// (rs232x_monitor_t, rs232x_reader_monitor_t, rs232x_reader_t, rs232x_writer_t, threads.h) each
// run a 10 ms loop on their own thread (an idle reader or writer waits for a request instead of
// polling an empty queue; a read waits in the comm layer's WaitCommInput until its bytes are
// queued, which takes none of them) and report to the control through rs232x_host_t
// (engine_host.h) on the control's thread: the engine remembers the apartment of the thread that
// created it, and a worker posts each report there and waits until it has run. Close and the
// cancellations pause the workers at a gate (outside device calls and queue locks) and service
// the control's apartment while they wait, so a worker blocked in a report can finish. Every
// queued request completes exactly once: served, cancelled, completed by close, or - when a
// worker took it but could not serve it - completed with nothing and a count of 0.
//
// Offers: open / close (and the modem-link open with an adopted handle), every property that
// lives in the block with its validation and write order, the line-status reads, buffer purges
// and queue counts, blocking and queued Input/InputB/Output/OutputB, OutputUrgent,
// CancelPendingInputs / CancelPendingOutputs, the WaitForData pattern, and the worker teardown.
// Results are rs232x_status codes (status.h). Everything public runs on the control's thread.
// With the wire trace on (RAVLIN_TRACE), requests and reports are traced too (engine_trace.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/apartment.h"
#include "platform/comm/comm.h"
#include "serial/engine_config.h"
#include "serial/engine_host.h"
#include "serial/pattern.h"
#include "serial/request_queue.h"
#include "serial/status.h"

namespace serial {

using win::HANDLE;
using win::SHORT;

class rs232x_thread_t;
class rs232x_monitor_t;
class rs232x_reader_t;
class rs232x_reader_monitor_t;
class rs232x_writer_t;
class rs232x_worker_gate_t;
class rs232x_traced_host_t;

// An Open argument a caller may leave out. Automation callers leave one out by passing -1 (-1.0
// for stop bits): built from such a wire value, the argument reads as not given.
template <typename T>
class open_arg {
 public:
  constexpr open_arg() = default;
  constexpr open_arg(T wire) : given_(wire != T(-1)), value_(wire) {}  // the wire form: implicit
  constexpr bool given() const { return given_; }
  // The value; only meaningful when given.
  constexpr T value() const { return value_; }
  constexpr T value_or(T fallback) const { return given_ ? value_ : fallback; }

 private:
  bool given_ = false;
  T value_ = T(-1);
};

// The arguments of Open; an argument not given keeps the current value.
struct rs232x_open_args_t {
  open_arg<LONG> port_number;
  open_arg<LONG> baud_rate;
  open_arg<SHORT> data_bits;
  open_arg<float> stop_bits;
  open_arg<LONG> handshaking;
  open_arg<LONG> parity;
  open_arg<LONG> input_timeout;
  open_arg<LONG> output_timeout;
  open_arg<LONG> io_mode;
};

class rs232x_port_t {
 public:
  // Called by a setter after its value passed validation and before anything is changed
  // (the control sends its property-change notification there).
  using validated_t = std::function<void()>;

  // The engine fires through host; the calling thread's apartment becomes the control's.
  explicit rs232x_port_t(rs232x_host_t& host);
  ~rs232x_port_t();
  rs232x_port_t(const rs232x_port_t&) = delete;
  rs232x_port_t& operator=(const rs232x_port_t&) = delete;

  // Creates the four events and the four workers (not yet running). RS_OUT_OF_MEMORY when one
  // could not be made (everything made so far is released). Must succeed before anything else.
  int init();

  // ---- blocks --------------------------------------------------------------------------------
  const engineConfig& config() const { return config_; }
  const engineConfig& saved_device_settings() const { return saved_; }
  // Replaces the current block (persistence load). Refused while open (RS_PORT_OPEN).
  int load_config(const engineConfig& block);

  // ---- lifecycle -----------------------------------------------------------------------------
  bool opened() const { return handle_.load() != win::INVALID_HANDLE_VALUE; }
  int open(const rs232x_open_args_t& args);
  // Open with a modem control's open device handle and DCB (the engine adopts the handle).
  int open_with_handle(HANDLE device, const win::DCB& dcb, const rs232x_open_args_t& args);
  // The close sequence. With modemLinked only the saved DCB is copied back into the block.
  int close(bool modemLinked = false);
  // Stops and destroys the workers (the control's second client-site set); they are bound
  // again at the next open. Closes an open device first.
  void teardown_workers();
  bool threads_bound() const { return threads_bound_; }

  // ---- properties that live in the block (get: plain values; put: rs232x_status) ------------
  LONG port_number() const { return port_number_; }
  int put_port_number(LONG value, const validated_t& validated = {});

  LONG baud_rate() const { return static_cast<LONG>(config_.dcb.BaudRate); }
  int put_baud_rate(LONG value, const validated_t& validated = {});
  SHORT data_bits() const { return config_.dcb.ByteSize; }
  int put_data_bits(SHORT value, const validated_t& validated = {});
  // RS_INVALID_ARG for a stored code that is no stop-bit setting.
  int get_stop_bits(float* value) const;
  int put_stop_bits(float value, const validated_t& validated = {});
  int get_parity(LONG* value) const;
  int put_parity(LONG value, const validated_t& validated = {});
  // Reading normalises the stored group (no device call, not a change).
  LONG get_handshaking();
  int put_handshaking(LONG value, const validated_t& validated = {});
  LONG xon_byte() const { return static_cast<BYTE>(config_.dcb.XonChar); }
  int put_xon_byte(LONG value, const validated_t& validated = {});
  LONG xoff_byte() const { return static_cast<BYTE>(config_.dcb.XoffChar); }
  int put_xoff_byte(LONG value, const validated_t& validated = {});
  LONG parity_replace_byte() const { return static_cast<BYTE>(config_.dcb.ErrorChar); }
  int put_parity_replace_byte(LONG value, const validated_t& validated = {});
  LONG event_byte() const { return static_cast<BYTE>(config_.dcb.EvtChar); }
  int put_event_byte(LONG value, const validated_t& validated = {});
  bool null_discard() const { return config_.dcb.fNull != 0; }
  int put_null_discard(LONG value, const validated_t& validated = {});  // 0 or -1
  LONG on_threshold() const { return static_cast<LONG>(config_.on_threshold); }
  int put_on_threshold(LONG value, const validated_t& validated = {});
  LONG off_threshold() const { return static_cast<LONG>(config_.off_threshold); }
  int put_off_threshold(LONG value, const validated_t& validated = {});
  LONG input_buffer_size() const { return static_cast<LONG>(config_.input_buffer_size); }
  int put_input_buffer_size(LONG value, const validated_t& validated = {});
  LONG output_buffer_size() const { return static_cast<LONG>(config_.output_buffer_size); }
  int put_output_buffer_size(LONG value, const validated_t& validated = {});
  LONG event_mask() const { return static_cast<LONG>(config_.event_mask); }
  int put_event_mask(LONG value, const validated_t& validated = {});
  LONG input_timeout() const {
    return static_cast<LONG>(config_.timeouts.ReadTotalTimeoutConstant);
  }
  int put_input_timeout(LONG value, const validated_t& validated = {});
  // -1 reads back for "no limit" (stored as 0xFFFFFFFF).
  LONG output_timeout() const {
    return static_cast<LONG>(config_.timeouts.WriteTotalTimeoutConstant);
  }
  int put_output_timeout(LONG value, const validated_t& validated = {});
  // RS_INVALID_ARG for a flag combination that is no mode.
  int get_io_mode(LONG* value) const;
  int put_io_mode(LONG value, const validated_t& validated = {});
  bool dtr() const { return config_.dtr != 0; }
  int put_dtr(LONG value, const validated_t& validated = {});  // 0 or -1
  bool rts() const { return config_.rts != 0; }
  int put_rts(LONG value, const validated_t& validated = {});  // 0 or -1
  // Break: refused while closed (RS_NOT_OPEN).
  int get_break(bool* on) const;
  int put_break(LONG value);  // 0 or -1

  // ---- line status, handle, driver queues ----------------------------------------------------
  int get_cd(bool* on);
  int get_cts(bool* on);
  int get_dsr(bool* on);
  int get_ri(bool* on);
  // A duplicate the caller owns (or the device handle itself when duplication fails).
  int get_handle(HANDLE* handle);
  int clear_input_buffer();
  int clear_output_buffer();
  int input_buffer_byte_count(LONG* count);
  // Driver output queue plus the bytes of every queued output request.
  int output_buffer_byte_count(LONG* count);

  // ---- I/O (the hidden _Input/_InputB/_Output/_OutputB; occupancy is the control's check) ----
  // result: bytes read, -1 on a time-out (partial data returned), or the RequestId when the
  // request was queued (text/bytes then left empty).
  int input_string(LONG numBytes, std::u16string* text, LONG* result);
  int input_bytes(LONG numBytes, std::vector<std::uint8_t>* bytes, LONG* result);
  // result: bytes written, -1 on a time-out, or the RequestId when queued.
  int output_string(std::u16string_view text, LONG* result);
  int output_bytes(const std::uint8_t* data, std::size_t count, LONG* result);
  // *sent false (RS_OK) when the device refused the byte or took too long.
  int output_urgent(std::uint8_t byte, bool* sent);
  int cancel_pending_inputs();
  int cancel_pending_outputs();

  // ---- WaitForData ----------------------------------------------------------------------------
  // Empty clears the pattern; the carry-over is kept.
  int set_pattern(const std::uint8_t* data, std::size_t count);
  std::vector<std::uint8_t> pattern() const { return pattern_.bytes(); }

  // Why the last open or line setting failed, when the system said: "DEVICE: REASON" (for
  // example "/dev/ttyUSB0: Permission denied — ..."); "" otherwise. Taking it empties it.
  std::string take_failure_detail() { return std::exchange(failure_detail_, std::string()); }

  // ---- for tests -------------------------------------------------------------------------------
  // The last RequestIds handed out (the next ones follow them).
  void set_last_request_ids_for_testing(LONG input, LONG output);
  // The pause after closing the device (200 ms).
  void set_close_settle_for_testing(unsigned ms) { close_settle_ms_ = ms; }
  // The open device's handle (INVALID_HANDLE_VALUE while closed), from any thread, for a look at
  // what the device is doing (win::GetCommActivity). The engine keeps owning it.
  HANDLE device_handle_for_testing() const { return handle_.load(); }

 private:
  // The workers reach the port only through this narrow handle (worker_port.h).
  friend class rs232x_worker_port_t;

  enum class kind_t : std::uint8_t { string = 0, bytes = 1 };
  struct read_result_t {
    int status = RS_OK;
    std::vector<std::uint8_t> bytes;
  };
  // The two workers that take requests from a queue and hold one at a time.
  enum class request_worker : std::uint8_t { reader = 0, writer = 1 };

  // Device operations.
  int open_device(LONG n);
  int close_device();
  int purge_input();
  int purge_output();
  void abort_input();
  void abort_output();
  enum apply_parts : unsigned { kSizes = 1, kDcb = 2, kTimeouts = 4, kMask = 8, kAll = 15 };
  int apply_config(engineConfig& block, unsigned parts);
  int query_config(engineConfig& block);
  int set_lines(const engineConfig& block, int dtr, int rts);  // -1: not given
  int read_modem_status(DWORD* status);
  int clear_errors(DWORD* errors, win::COMSTAT* stat);
  int open_sequence(const rs232x_open_args_t& args, bool adopted);

  // Property writes of the block.
  int write_dcb(const win::DCB& dcb, const engineConfig* withThresholds = nullptr);
  int write_timeouts(const win::COMMTIMEOUTS& timeouts);
  int line_status(DWORD bit, bool* on);

  // Reading. worker: the worker whose gate the waits honour (null on the caller's thread).
  bool wait_for_input(DWORD n, rs232x_thread_t* worker);
  read_result_t read_bytes(DWORD n, kind_t kind, rs232x_thread_t* worker);
  int input(LONG numBytes, kind_t kind, std::vector<std::uint8_t>* bytes, std::u16string* text,
            LONG* result);
  // Writing: *written the count; RS_OUTPUT_FAILED when the write failed.
  int write_bytes(const std::uint8_t* data, DWORD n, DWORD* written, rs232x_thread_t* worker);
  int output(const std::uint8_t* data, std::size_t count, kind_t kind, LONG* result);

  // Pattern search and counting around a delivery; fire reports through fire (the caller's
  // thread calls the host directly, a worker through the control's apartment).
  // fire returns false when the firing worker is stopping: stop at once then.
  using fire_t = std::function<bool(const std::function<void()>&)>;
  // The caller's thread fires directly.
  static bool fire_directly(const std::function<void()>& call) {
    call();
    return true;
  }
  void after_input(const std::vector<std::uint8_t>& bytes, bool countIt, const fire_t& fire);
  void count_output_and_report(LONG n, const fire_t& fire, bool atMostOneNotice = false);
  // Completes a request that will not be served (count 0, empty data).
  void complete_unserved_input(const rs232x_input_request_t& request, const fire_t& fire);

  // Workers.
  void pause_workers();
  void resume_workers();
  void start_or_resume_workers();
  void bind_workers();
  // A copy of the current block for a worker (the control's thread writes it under the lock).
  engineConfig config_snapshot() const;
  DWORD input_timeout_now() const;
  DWORD output_timeout_now() const;
  bool make_workers();
  void destroy_workers();
  // Waits for an overlapped operation's event up to ms (INFINITE: no limit), stepping aside at
  // the gate for a worker. False when the wait ended without the event (time-out, stop).
  bool wait_io(HANDLE event, DWORD ms, rs232x_thread_t* worker);
  // Collects an overlapped result; cancels the operation when it is still pending. Ends with
  // the record released by the device in every case. False when the operation failed.
  bool finish_io(HANDLE device, std::uint64_t generation, win::OVERLAPPED* ov, DWORD* count);

  // Fires on the control's thread: direct when already there, else through the apartment.
  void fire_on_control(const std::function<void()>& call);
  void dispatch_pending();  // services the control's apartment (caller's thread)

  // The host behind a trace of its reports, made only while the trace is on; host_ is the one
  // to report to either way.
  std::unique_ptr<rs232x_traced_host_t> traced_host_;
  rs232x_host_t& host_;
  win::ApartmentPtr apartment_;

  // rs232x_port_t fields.
  LONG port_number_ = 1;
  std::atomic<HANDLE> handle_{win::INVALID_HANDLE_VALUE};
  std::atomic<std::uint64_t> device_generation_{0};  // bumped by every close_device
  HANDLE event_wait_event_ = nullptr;
  HANDLE read_event_ = nullptr;   // the caller's thread; each worker has its own
  HANDLE write_event_ = nullptr;  // the caller's thread; the writer has its own
  HANDLE input_cancel_event_ = nullptr;
  mutable std::mutex config_lock_;  // held by the control's thread while it writes config_
  engineConfig config_;
  engineConfig saved_;
  rs232x_pattern_t pattern_;
  rs232x_input_queue_t input_requests_;
  rs232x_output_queue_t output_requests_;

  // The workers and the pause gate they share.
  std::shared_ptr<rs232x_worker_gate_t> gate_;
  std::unique_ptr<rs232x_monitor_t> monitor_;
  std::unique_ptr<rs232x_reader_monitor_t> reader_monitor_;
  std::unique_ptr<rs232x_reader_t> reader_;
  std::unique_ptr<rs232x_writer_t> writer_;
  // The queued request each of the reader and the writer has taken and not yet completed.
  // Close completes it first, as the oldest (a cancellation leaves it to the worker, whose
  // aborted transfer then completes it short with what it got); a worker completes it only if
  // it can still claim it, so each request completes exactly once and none after a close.
  struct in_flight_t {
    LONG id = 0;  // 0: none (RequestIds start at 1)
    std::uint8_t kind = 0;
  };
  void take_in_flight(request_worker worker, LONG id, std::uint8_t kind);
  bool claim_in_flight(request_worker worker, LONG id);
  in_flight_t claim_any_in_flight(request_worker worker);
  std::mutex in_flight_lock_;
  in_flight_t in_flight_[2];  // by request_worker

  std::string failure_detail_;  // see take_failure_detail
  bool threads_bound_ = false;
  bool closing_ = false;  // close is completing the queues: no new requests
  unsigned close_settle_ms_ = 200;
  bool workers_started_ = false;
  bool initialised_ = false;
};

}  // namespace serial
