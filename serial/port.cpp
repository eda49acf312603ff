// rs232x_port_t: creation, the device operations, open and close, and the worker life.
#include "serial/port.h"

#include <cstring>
#include <optional>
#include <string>

#include "platform/comm/wire_trace.h"
#include "serial/engine_trace.h"
#include "serial/threads.h"

namespace serial {

rs232x_port_t::rs232x_port_t(rs232x_host_t& host)
    : traced_host_(win::WireTraceOn() ? std::make_unique<rs232x_traced_host_t>(host) : nullptr),
      host_(traced_host_ ? *traced_host_ : host),
      apartment_(win::CurrentApartment()),
      config_(NewControlConfig()),
      saved_(DefaultEngineConfig()) {}

rs232x_port_t::~rs232x_port_t() {
  if (opened()) close();
  destroy_workers();
  for (HANDLE* e : {&event_wait_event_, &read_event_, &write_event_, &input_cancel_event_}) {
    if (*e) win::CloseHandle(*e);
    *e = nullptr;
  }
}

int rs232x_port_t::init() {
  if (initialised_) return RS_OK;
  event_wait_event_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  read_event_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  write_event_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  input_cancel_event_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  const bool eventsMade = event_wait_event_ && read_event_ && write_event_ && input_cancel_event_;
  if (!eventsMade || !make_workers()) {
    destroy_workers();
    for (HANDLE* e : {&event_wait_event_, &read_event_, &write_event_, &input_cancel_event_}) {
      if (*e) win::CloseHandle(*e);
      *e = nullptr;
    }
    return RS_OUT_OF_MEMORY;
  }
  initialised_ = true;
  return RS_OK;
}

bool rs232x_port_t::make_workers() {
  gate_ = std::make_shared<rs232x_worker_gate_t>();
  monitor_ = std::make_unique<rs232x_monitor_t>(*this, host_, gate_);
  reader_monitor_ = std::make_unique<rs232x_reader_monitor_t>(*this, host_, gate_);
  reader_ = std::make_unique<rs232x_reader_t>(*this, host_, gate_);
  writer_ = std::make_unique<rs232x_writer_t>(*this, host_, gate_);
  workers_started_ = false;
  return gate_->valid() && monitor_->valid() && reader_monitor_->valid() && reader_->valid() &&
         writer_->valid();
}

void rs232x_port_t::destroy_workers() {
  if (gate_) gate_->request_stop();
  // Stop order: writer, reader, reader-monitor, monitor. A worker that does not end in time is
  // let go; it ends by itself once its report returns.
  auto finish = [](auto& worker) {
    if (!worker) return;
    if (worker->stop()) {
      worker.reset();
    } else {
      rs232x_thread_t::abandon(std::unique_ptr<rs232x_thread_t>(worker.release()));
    }
  };
  finish(writer_);
  finish(reader_);
  finish(reader_monitor_);
  finish(monitor_);
  gate_.reset();
  threads_bound_ = false;
  workers_started_ = false;
}

void rs232x_port_t::teardown_workers() {
  if (opened()) close();
  destroy_workers();
  if (initialised_ && !make_workers()) destroy_workers();
}

void rs232x_port_t::bind_workers() {
  if (!gate_ && !make_workers()) return;
  // Binding order: monitor, reader-monitor, reader, writer.
  monitor_->bind(apartment_);
  reader_monitor_->bind(apartment_);
  reader_->bind(apartment_);
  writer_->bind(apartment_);
  threads_bound_ = true;
}

void rs232x_port_t::start_or_resume_workers() {
  if (workers_started_ || !gate_) return;
  monitor_->start();
  reader_monitor_->start();
  reader_->start();
  writer_->start();
  workers_started_ = true;
}

void rs232x_port_t::pause_workers() {
  if (gate_ && workers_started_) gate_->pause();
}

void rs232x_port_t::resume_workers() {
  if (gate_ && workers_started_) gate_->resume();
}

void rs232x_port_t::dispatch_pending() {
  win::DispatchPending();
}

void rs232x_port_t::fire_on_control(const std::function<void()>& call) {
  if (apartment_->IsCurrent()) {
    call();
  } else {
    apartment_->Call(call);
  }
}

engineConfig rs232x_port_t::config_snapshot() const {
  std::lock_guard<std::mutex> guard(config_lock_);
  return config_;
}

DWORD rs232x_port_t::input_timeout_now() const {
  std::lock_guard<std::mutex> guard(config_lock_);
  return config_.timeouts.ReadTotalTimeoutConstant;
}

DWORD rs232x_port_t::output_timeout_now() const {
  std::lock_guard<std::mutex> guard(config_lock_);
  return config_.timeouts.WriteTotalTimeoutConstant;
}

void rs232x_port_t::set_last_request_ids_for_testing(LONG input, LONG output) {
  input_requests_.reset_ids(input);
  output_requests_.reset_ids(output);
}

int rs232x_port_t::load_config(const engineConfig& block) {
  if (opened()) return RS_PORT_OPEN;
  std::lock_guard<std::mutex> guard(config_lock_);
  config_ = block;
  return RS_OK;
}

// ---- device operations ------------------------------------------------------------------------

int rs232x_port_t::open_device(LONG n) {
  if (n < 1) {
    failure_detail_ = "COM" + std::to_string(n) + ": no such port (port numbers start at 1)";
    return RS_OPEN_FAILED;
  }
  const std::string name = "\\\\.\\COM" + std::to_string(n);
  HANDLE h = win::CreateFileA(name.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                              win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  if (h == win::INVALID_HANDLE_VALUE || h == nullptr) {
    failure_detail_ = win::GetLastErrorDetail();
    return RS_OPEN_FAILED;
  }
  handle_ = h;
  port_number_ = n;
  if (traced_host_) traced_host_->set_port(n);
  input_requests_.reset_ids();
  output_requests_.reset_ids();
  return RS_OK;
}

int rs232x_port_t::close_device() {
  HANDLE h = handle_.load();
  if (h == win::INVALID_HANDLE_VALUE) return RS_CLOSE_FAILED;
  abort_input();
  abort_output();
  purge_input();
  purge_output();
  // End every operation still pending on the handle (a parked worker's wait included), so that
  // none outlives it even when a duplicate keeps the device itself open.
  win::CancelIoEx(h, nullptr);
  const bool closed = win::CloseHandle(h) != win::FALSE;
  handle_ = win::INVALID_HANDLE_VALUE;
  ++device_generation_;
  if (close_settle_ms_) win::Sleep(close_settle_ms_);
  win::ResetEvent(input_cancel_event_);
  return closed ? RS_OK : RS_CLOSE_FAILED;
}

int rs232x_port_t::purge_input() {
  return win::PurgeComm(handle_.load(), win::PURGE_RXCLEAR) ? RS_OK : RS_SET_FAILED;
}

int rs232x_port_t::purge_output() {
  return win::PurgeComm(handle_.load(), win::PURGE_TXCLEAR) ? RS_OK : RS_SET_FAILED;
}

void rs232x_port_t::abort_input() {
  win::SetEvent(input_cancel_event_);
  win::PurgeComm(handle_.load(), win::PURGE_RXABORT);
}

void rs232x_port_t::abort_output() {
  win::PurgeComm(handle_.load(), win::PURGE_TXABORT);
}

int rs232x_port_t::apply_config(engineConfig& block, unsigned parts) {
  HANDLE h = handle_.load();
  if ((parts & kSizes) && !win::SetupComm(h, block.input_buffer_size, block.output_buffer_size))
    return RS_SET_FAILED;
  if ((parts & kDcb) && !win::SetCommState(h, &block.dcb)) return RS_SET_FAILED;
  if ((parts & kTimeouts) && !win::SetCommTimeouts(h, &block.timeouts)) return RS_SET_FAILED;
  if ((parts & kMask) && !win::SetCommMask(h, block.event_mask)) return RS_SET_FAILED;
  return RS_OK;
}

int rs232x_port_t::query_config(engineConfig& block) {
  HANDLE h = handle_.load();
  if (!win::GetCommState(h, &block.dcb)) return RS_QUERY_FAILED;
  if (!win::GetCommTimeouts(h, &block.timeouts)) return RS_QUERY_FAILED;
  if (!win::GetCommMask(h, &block.event_mask)) return RS_QUERY_FAILED;
  win::COMMPROP props;
  std::memset(&props, 0, sizeof props);
  if (!win::GetCommProperties(h, &props)) return RS_QUERY_FAILED;
  block.input_buffer_size = props.dwCurrentRxQueue;
  block.output_buffer_size = props.dwCurrentTxQueue;
  return RS_OK;
}

int rs232x_port_t::set_lines(const engineConfig& block, int dtr, int rts) {
  HANDLE h = handle_.load();
  const LONG hs = peek_handshaking(block.dcb);
  if (hs == hsDtrDsr) {
    win::EscapeCommFunction(h, win::SETDTR);  // the driver owns DTR: keep it raised
  } else if (dtr >= 0) {
    if (!win::EscapeCommFunction(h, dtr ? win::SETDTR : win::CLRDTR)) return RS_SET_FAILED;
  }
  if (rts >= 0) {
    if (!win::EscapeCommFunction(h, rts ? win::SETRTS : win::CLRRTS)) return RS_SET_FAILED;
  } else if (hs == hsRtsCts || hs == hsBoth) {
    win::EscapeCommFunction(h, win::SETRTS);
  }
  return RS_OK;
}

int rs232x_port_t::read_modem_status(DWORD* status) {
  return win::GetCommModemStatus(handle_.load(), status) ? RS_OK : RS_QUERY_FAILED;
}

int rs232x_port_t::clear_errors(DWORD* errors, win::COMSTAT* stat) {
  DWORD e = 0;
  win::COMSTAT s;
  std::memset(&s, 0, sizeof s);
  if (!win::ClearCommError(handle_.load(), &e, &s)) return RS_QUERY_FAILED;
  if (errors) *errors = e;
  if (stat) *stat = s;
  return RS_OK;
}

// ---- open and close ---------------------------------------------------------------------------

namespace {

bool valid_timeout(const open_arg<LONG>& value) {
  return !value.given() || value.value() >= 10;
}

bool in_range(const open_arg<LONG>& value, LONG low, LONG high) {
  return !value.given() || (value.value() >= low && value.value() <= high);
}

// The given Open arguments, checked in the order hosts are told of: the first one refused
// decides the error.
bool open_args_valid(const rs232x_open_args_t& a, const engineConfig& c) {
  if (a.baud_rate.given() && a.baud_rate.value() <= 0) return false;
  // The stop-bit code of a given value (-1 when it is no stop-bit setting).
  const std::optional<int> stopCode =
      a.stop_bits.given() ? std::optional<int>(stop_bits_code(a.stop_bits.value())) : std::nullopt;
  if (a.data_bits.given() && stopCode && *stopCode >= 0 &&
      !data_stop_compatible(a.data_bits.value(), *stopCode))
    return false;
  if (a.data_bits.given()) {
    if (a.data_bits.value() < 5 || a.data_bits.value() > 8) return false;
    if (!stopCode && !data_stop_compatible(a.data_bits.value(), c.dcb.StopBits)) return false;
  }
  if (stopCode) {
    if (*stopCode < 0) return false;
    if (!a.data_bits.given() && !data_stop_compatible(c.dcb.ByteSize, *stopCode)) return false;
  }
  if (!in_range(a.handshaking, 0, 4) || !in_range(a.parity, 0, 4)) return false;
  if (!valid_timeout(a.input_timeout) || !valid_timeout(a.output_timeout)) return false;
  return in_range(a.io_mode, 0, 2);
}

}  // namespace

int rs232x_port_t::open(const rs232x_open_args_t& args) {
  return open_sequence(args, false);
}

int rs232x_port_t::open_with_handle(HANDLE device, const win::DCB& dcb,
                                    const rs232x_open_args_t& given) {
  if (opened()) return RS_ALREADY_OPEN;
  if (!initialised_ && init() != RS_OK) return RS_OUT_OF_MEMORY;
  if (win::WireTraceOn()) trace_request(port_number_, "Open handle");
  if (traced_host_) traced_host_->set_port(port_number_);
  rs232x_open_args_t args = given;
  args.baud_rate = static_cast<LONG>(dcb.BaudRate);
  args.data_bits = dcb.ByteSize;
  args.stop_bits = stop_bits_value(dcb.StopBits);
  {
    win::DCB copy = dcb;
    args.handshaking = peek_handshaking(copy);
  }
  args.parity = dcb.Parity;
  handle_ = device;
  saved_.dcb = config_.dcb;
  DWORD mask = 0;
  if (!win::GetCommMask(device, &mask) && win::GetLastError() == win::ERROR_INVALID_HANDLE) {
    handle_ = win::INVALID_HANDLE_VALUE;
    return RS_QUERY_FAILED;
  }
  input_requests_.reset_ids();
  output_requests_.reset_ids();
  return open_sequence(args, true);
}

int rs232x_port_t::open_sequence(const rs232x_open_args_t& args, bool adopted) {
  if (!adopted && opened()) return RS_ALREADY_OPEN;
  failure_detail_.clear();
  win::ClearLastErrorDetail();
  if (!initialised_ && init() != RS_OK) return RS_OUT_OF_MEMORY;
  if (!adopted) {
    if (win::WireTraceOn()) {
      trace_request(args.port_number.value_or(port_number_), "Open");
    }
    if (!open_args_valid(args, config_)) return RS_INVALID_ARG;
    // Keep the workers off the device until it is configured and the counters restarted.
    pause_workers();
    int status = open_device(args.port_number.value_or(port_number_));
    if (status != RS_OK) {
      resume_workers();
      return RS_OPEN_FAILED;
    }
    status = query_config(saved_);
    if (status != RS_OK) {
      close_device();
      resume_workers();
      return RS_QUERY_FAILED;
    }
  } else {
    pause_workers();
  }

  // The given values go through the property writes, then the whole block to the device.
  const win::DCB dcbBefore = config_.dcb;
  const win::COMMTIMEOUTS timeoutsBefore = config_.timeouts;
  bool failed = false;
  auto apply = [&](int status) {
    if (!failed && !rs_succeeded(status)) failed = true;
  };
  if (args.baud_rate.given()) apply(put_baud_rate(args.baud_rate.value()));
  if (args.data_bits.given()) apply(put_data_bits(args.data_bits.value()));
  if (args.stop_bits.given()) apply(put_stop_bits(args.stop_bits.value()));
  if (args.handshaking.given()) apply(put_handshaking(args.handshaking.value()));
  if (args.parity.given()) apply(put_parity(args.parity.value()));
  if (args.input_timeout.given()) apply(put_input_timeout(args.input_timeout.value()));
  if (args.output_timeout.given()) apply(put_output_timeout(args.output_timeout.value()));
  if (args.io_mode.given()) apply(put_io_mode(args.io_mode.value()));
  if (failed) {
    std::lock_guard<std::mutex> guard(config_lock_);
    config_.dcb = dcbBefore;
    config_.timeouts = timeoutsBefore;
  } else {
    engineConfig block = config_snapshot();
    if (apply_config(block, kAll) != RS_OK) failed = true;
  }
  if (failed) {
    if (failure_detail_.empty()) failure_detail_ = win::GetLastErrorDetail();
    resume_workers();
    close(adopted);
    return RS_SET_FAILED;
  }

  set_lines(config_, config_.dtr, config_.rts);
  if (!threads_bound_) bind_workers();
  host_.Counters().reset();
  start_or_resume_workers();
  resume_workers();
  return RS_OK;
}

int rs232x_port_t::close(bool modemLinked) {
  if (!opened()) return RS_OK;
  if (win::WireTraceOn()) trace_request(port_number_, modemLinked ? "Close modem" : "Close");
  pause_workers();
  abort_input();
  abort_output();

  // Complete every queued request once, oldest first; none can be added meanwhile.
  closing_ = true;
  // Reports a worker posted before the pause run first: they may complete its own request.
  dispatch_pending();
  if (const in_flight_t taken = claim_any_in_flight(request_worker::reader); taken.id != 0) {
    complete_unserved_input({taken.id, 0, taken.kind}, fire_directly);
  }
  for (const auto& request : input_requests_.take_all()) {
    dispatch_pending();
    complete_unserved_input(request, fire_directly);
  }
  if (const in_flight_t taken = claim_any_in_flight(request_worker::writer); taken.id != 0) {
    dispatch_pending();
    host_._Fire_NonblockOutput(taken.id, 0);
  }
  for (const auto& request : output_requests_.take_all()) {
    dispatch_pending();
    host_._Fire_NonblockOutput(request.request_id, 0);
  }
  closing_ = false;
  if (!opened()) {  // a handler run meanwhile closed the port itself
    resume_workers();
    return RS_OK;
  }

  if (modemLinked) {
    std::lock_guard<std::mutex> guard(config_lock_);
    config_.dcb = saved_.dcb;
  } else {
    engineConfig device = saved_;
    apply_config(device, kAll);
    set_lines(device, device.dtr, device.rts);
  }
  if (close_device() != RS_OK) {
    resume_workers();
    return RS_CLOSE_FAILED;
  }
  resume_workers();
  return RS_OK;
}

void rs232x_port_t::take_in_flight(request_worker worker, LONG id, std::uint8_t kind) {
  std::lock_guard<std::mutex> guard(in_flight_lock_);
  in_flight_[static_cast<int>(worker)] = {id, kind};
}

bool rs232x_port_t::claim_in_flight(request_worker worker, LONG id) {
  std::lock_guard<std::mutex> guard(in_flight_lock_);
  in_flight_t& held = in_flight_[static_cast<int>(worker)];
  if (held.id != id) return false;
  held = {};
  return true;
}

rs232x_port_t::in_flight_t rs232x_port_t::claim_any_in_flight(request_worker worker) {
  std::lock_guard<std::mutex> guard(in_flight_lock_);
  in_flight_t& held = in_flight_[static_cast<int>(worker)];
  const in_flight_t taken = held;
  held = {};
  return taken;
}

void rs232x_port_t::complete_unserved_input(const rs232x_input_request_t& request,
                                            const fire_t& fire) {
  rs232x_host_t& host = host_;
  const LONG id = request.request_id;
  if (request.kind == static_cast<std::uint8_t>(kind_t::bytes)) {
    fire([&host, id] { host._Fire_NonblockInputB(id, nullptr, 0); });
  } else {
    fire([&host, id] { host._Fire_NonblockInput(id, nullptr, 0); });
  }
}

int rs232x_port_t::cancel_pending_inputs() {
  if (!opened()) return RS_NOT_OPEN;
  if (win::WireTraceOn()) trace_request(port_number_, "CancelPendingInputs");
  pause_workers();
  abort_input();
  for (const auto& request : input_requests_.take_all()) {
    dispatch_pending();
    complete_unserved_input(request, fire_directly);
  }
  resume_workers();
  return RS_OK;
}

int rs232x_port_t::cancel_pending_outputs() {
  if (!opened()) return RS_NOT_OPEN;
  if (win::WireTraceOn()) trace_request(port_number_, "CancelPendingOutputs");
  pause_workers();
  abort_output();
  for (const auto& request : output_requests_.take_all()) {
    dispatch_pending();
    host_._Fire_NonblockOutput(request.request_id, 0);
  }
  resume_workers();
  return RS_OK;
}

// ---- line status, handle, buffers -------------------------------------------------------------

int rs232x_port_t::line_status(DWORD bit, bool* on) {
  if (!opened()) return RS_NOT_OPEN;
  DWORD status = 0;
  if (read_modem_status(&status) != RS_OK) return RS_QUERY_FAILED;
  *on = (status & bit) != 0;
  return RS_OK;
}

int rs232x_port_t::get_cd(bool* on) {
  return line_status(win::MS_RLSD_ON, on);
}
int rs232x_port_t::get_cts(bool* on) {
  return line_status(win::MS_CTS_ON, on);
}
int rs232x_port_t::get_dsr(bool* on) {
  return line_status(win::MS_DSR_ON, on);
}
int rs232x_port_t::get_ri(bool* on) {
  return line_status(win::MS_RING_ON, on);
}

int rs232x_port_t::get_handle(HANDLE* handle) {
  if (!opened()) return RS_NOT_OPEN;
  HANDLE device = handle_.load();
  HANDLE duplicate = nullptr;
  if (win::DuplicateHandle(win::GetCurrentProcess(), device, win::GetCurrentProcess(), &duplicate,
                           0, win::TRUE, win::DUPLICATE_SAME_ACCESS)) {
    *handle = duplicate;
  } else {
    *handle = device;
  }
  return RS_OK;
}

int rs232x_port_t::clear_input_buffer() {
  if (!opened()) return RS_NOT_OPEN;
  if (win::WireTraceOn()) trace_request(port_number_, "ClearInputBuffer");
  return purge_input();
}

int rs232x_port_t::clear_output_buffer() {
  if (!opened()) return RS_NOT_OPEN;
  if (win::WireTraceOn()) trace_request(port_number_, "ClearOutputBuffer");
  return purge_output();
}

int rs232x_port_t::input_buffer_byte_count(LONG* count) {
  if (!opened()) return RS_NOT_OPEN;
  win::COMSTAT stat;
  if (clear_errors(nullptr, &stat) != RS_OK) return RS_QUERY_FAILED;
  *count = static_cast<LONG>(stat.cbInQue);
  return RS_OK;
}

int rs232x_port_t::output_buffer_byte_count(LONG* count) {
  if (!opened()) return RS_NOT_OPEN;
  win::COMSTAT stat;
  if (clear_errors(nullptr, &stat) != RS_OK) return RS_QUERY_FAILED;
  std::int64_t total = output_requests_.queued_bytes() + stat.cbOutQue;
  if (total > rs232x_counters_t::kMaxCount) total = rs232x_counters_t::kMaxCount;
  *count = static_cast<LONG>(total);
  return RS_OK;
}

int rs232x_port_t::set_pattern(const std::uint8_t* data, std::size_t count) {
  return pattern_.set(data, count) ? RS_OK : RS_OUT_OF_MEMORY;
}

}  // namespace serial
