// rs232x_port_t: the properties that live in engineConfig, with their validation and the one
// write order (validate, build a copy, stop when equal, apply to an open device, store).
#include <cstring>

#include "serial/port.h"

namespace serial {

namespace {

bool is_bool(LONG value) {
  return value == 0 || value == -1;
}

void notify(const rs232x_port_t::validated_t& validated) {
  if (validated) validated();
}

}  // namespace

int rs232x_port_t::write_dcb(const win::DCB& dcb, const engineConfig* withThresholds) {
  if (std::memcmp(&dcb, &config_.dcb, sizeof dcb) == 0) return RS_UNCHANGED;
  if (opened()) {
    win::DCB copy = dcb;
    win::ClearLastErrorDetail();
    if (!win::SetCommState(handle_.load(), &copy)) {
      failure_detail_ = win::GetLastErrorDetail();
      return RS_SET_FAILED;
    }
  }
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.dcb = dcb;
  if (withThresholds) {
    config_.on_threshold = withThresholds->on_threshold;
    config_.off_threshold = withThresholds->off_threshold;
  }
  return RS_OK;
}

int rs232x_port_t::write_timeouts(const win::COMMTIMEOUTS& timeouts) {
  if (std::memcmp(&timeouts, &config_.timeouts, sizeof timeouts) == 0) return RS_UNCHANGED;
  if (opened()) {
    win::COMMTIMEOUTS copy = timeouts;
    if (!win::SetCommTimeouts(handle_.load(), &copy)) return RS_SET_FAILED;
  }
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.timeouts = timeouts;
  return RS_OK;
}

int rs232x_port_t::put_port_number(LONG value, const validated_t& validated) {
  if (opened()) return RS_PORT_OPEN;
  if (value <= 0) return RS_INVALID_ARG;
  if (value == port_number_) return RS_UNCHANGED;
  notify(validated);
  port_number_ = value;
  return RS_OK;
}

int rs232x_port_t::put_baud_rate(LONG value, const validated_t& validated) {
  if (value <= 0) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.BaudRate = static_cast<DWORD>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_data_bits(SHORT value, const validated_t& validated) {
  if (value < 5 || value > 8 || !data_stop_compatible(value, config_.dcb.StopBits))
    return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.ByteSize = static_cast<BYTE>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::get_stop_bits(float* value) const {
  const float v = stop_bits_value(config_.dcb.StopBits);
  if (v == 0.0f) return RS_INVALID_ARG;
  *value = v;
  return RS_OK;
}

int rs232x_port_t::put_stop_bits(float value, const validated_t& validated) {
  const int code = stop_bits_code(value);
  if (code < 0 || !data_stop_compatible(config_.dcb.ByteSize, code)) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.StopBits = static_cast<BYTE>(code);
  return write_dcb(dcb);
}

int rs232x_port_t::get_parity(LONG* value) const {
  if (config_.dcb.Parity > 4) return RS_INVALID_ARG;
  *value = config_.dcb.Parity;
  return RS_OK;
}

int rs232x_port_t::put_parity(LONG value, const validated_t& validated) {
  if (value < 0 || value > 4) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.Parity = static_cast<BYTE>(value);
  return write_dcb(dcb);
}

LONG rs232x_port_t::get_handshaking() {
  std::lock_guard<std::mutex> guard(config_lock_);
  return decode_handshaking(config_.dcb);
}

int rs232x_port_t::put_handshaking(LONG value, const validated_t& validated) {
  if (value < 0 || value > 4) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  encode_handshaking(dcb, value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_xon_byte(LONG value, const validated_t& validated) {
  if (value < 0 || value > 127) return RS_INVALID_ARG;
  if (value == static_cast<BYTE>(config_.dcb.XoffChar)) return RS_XON_EQUALS_XOFF;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.XonChar = static_cast<char>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_xoff_byte(LONG value, const validated_t& validated) {
  if (value < 0 || value > 127) return RS_INVALID_ARG;
  if (value == static_cast<BYTE>(config_.dcb.XonChar)) return RS_XON_EQUALS_XOFF;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.XoffChar = static_cast<char>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_parity_replace_byte(LONG value, const validated_t& validated) {
  if (value < 0 || value > 127) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.ErrorChar = static_cast<char>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_event_byte(LONG value, const validated_t& validated) {
  if (value < 0 || value > 127) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.EvtChar = static_cast<char>(value);
  return write_dcb(dcb);
}

int rs232x_port_t::put_null_discard(LONG value, const validated_t& validated) {
  if (!is_bool(value)) return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.fNull = static_cast<DWORD>(value) & 1u;
  return write_dcb(dcb);
}

int rs232x_port_t::put_on_threshold(LONG value, const validated_t& validated) {
  if (value < 0 || value > 100) return RS_INVALID_ARG;
  const DWORD size = config_.input_buffer_size;
  const win::WORD xon = xon_limit(size, static_cast<DWORD>(value));
  if (static_cast<std::int64_t>(xon) >=
      static_cast<std::int64_t>(size) - static_cast<std::int64_t>(config_.dcb.XoffLim))
    return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.XonLim = xon;
  engineConfig thresholds = config_;
  thresholds.on_threshold = static_cast<DWORD>(value);
  return write_dcb(dcb, &thresholds);
}

int rs232x_port_t::put_off_threshold(LONG value, const validated_t& validated) {
  if (value < 0 || value > 100) return RS_INVALID_ARG;
  const DWORD size = config_.input_buffer_size;
  const win::WORD xoff = xoff_limit(size, static_cast<DWORD>(value));
  if (static_cast<std::int64_t>(config_.dcb.XonLim) >=
      static_cast<std::int64_t>(size) - static_cast<std::int64_t>(xoff))
    return RS_INVALID_ARG;
  notify(validated);
  win::DCB dcb = config_.dcb;
  dcb.XoffLim = xoff;
  engineConfig thresholds = config_;
  thresholds.off_threshold = static_cast<DWORD>(value);
  return write_dcb(dcb, &thresholds);
}

int rs232x_port_t::put_input_buffer_size(LONG value, const validated_t& validated) {
  if (value <= 0) return RS_INVALID_ARG;
  notify(validated);
  const DWORD size = static_cast<DWORD>(value);
  if (size == config_.input_buffer_size) return RS_UNCHANGED;
  // The driver's queue keeps its size until the next open; the limits follow at once.
  win::DCB dcb = config_.dcb;
  dcb.XonLim = xon_limit(size, config_.on_threshold);
  dcb.XoffLim = xoff_limit(size, config_.off_threshold);
  const int status = write_dcb(dcb);
  if (!rs_succeeded(status)) return status;
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.input_buffer_size = size;
  return RS_OK;
}

int rs232x_port_t::put_output_buffer_size(LONG value, const validated_t& validated) {
  if (value <= 0) return RS_INVALID_ARG;
  notify(validated);
  if (static_cast<DWORD>(value) == config_.output_buffer_size) return RS_UNCHANGED;
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.output_buffer_size = static_cast<DWORD>(value);
  return RS_OK;
}

int rs232x_port_t::put_event_mask(LONG value, const validated_t& validated) {
  notify(validated);
  const DWORD mask = static_cast<DWORD>(value);
  if (mask == config_.event_mask) return RS_UNCHANGED;
  if (opened() && !win::SetCommMask(handle_.load(), mask)) return RS_SET_FAILED;
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.event_mask = mask;
  return RS_OK;
}

int rs232x_port_t::put_input_timeout(LONG value, const validated_t& validated) {
  if (value < 10) return RS_INVALID_ARG;
  notify(validated);
  win::COMMTIMEOUTS timeouts = config_.timeouts;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(value);
  return write_timeouts(timeouts);
}

int rs232x_port_t::put_output_timeout(LONG value, const validated_t& validated) {
  if (value != -1 && value < 10) return RS_INVALID_ARG;
  notify(validated);
  win::COMMTIMEOUTS timeouts = config_.timeouts;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(value);
  return write_timeouts(timeouts);
}

int rs232x_port_t::get_io_mode(LONG* value) const {
  const LONG mode = io_mode_of(config_);
  if (mode < 0) return RS_INVALID_ARG;
  *value = mode;
  return RS_OK;
}

int rs232x_port_t::put_io_mode(LONG value, const validated_t& validated) {
  if (value < 0 || value > 2) return RS_INVALID_ARG;
  notify(validated);
  engineConfig next = config_;
  set_io_mode_flags(next, value);
  if (next.auto_input == config_.auto_input &&
      next.nonblocking_input == config_.nonblocking_input &&
      next.nonblocking_output == config_.nonblocking_output)
    return RS_UNCHANGED;
  std::lock_guard<std::mutex> guard(config_lock_);
  set_io_mode_flags(config_, value);
  return RS_OK;
}

int rs232x_port_t::put_dtr(LONG value, const validated_t& validated) {
  if (!is_bool(value)) return RS_INVALID_ARG;
  notify(validated);
  const BYTE wanted = value ? 1 : 0;
  if (wanted == config_.dtr) return RS_UNCHANGED;
  if (opened()) {
    if (peek_handshaking(config_.dcb) == hsDtrDsr) return RS_UNCHANGED;  // the driver owns DTR
    if (!win::EscapeCommFunction(handle_.load(), wanted ? win::SETDTR : win::CLRDTR))
      return RS_SET_FAILED;
  }
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.dtr = wanted;
  return RS_OK;
}

int rs232x_port_t::put_rts(LONG value, const validated_t& validated) {
  if (!is_bool(value)) return RS_INVALID_ARG;
  notify(validated);
  const BYTE wanted = value ? 1 : 0;
  if (wanted == config_.rts) return RS_UNCHANGED;
  if (opened()) {
    const LONG hs = peek_handshaking(config_.dcb);
    if (hs == hsRtsCts || hs == hsBoth) return RS_UNCHANGED;  // the driver owns RTS
    if (!win::EscapeCommFunction(handle_.load(), wanted ? win::SETRTS : win::CLRRTS))
      return RS_SET_FAILED;
  }
  std::lock_guard<std::mutex> guard(config_lock_);
  config_.rts = wanted;
  return RS_OK;
}

int rs232x_port_t::get_break(bool* on) const {
  if (!opened()) return RS_NOT_OPEN;
  *on = config_.break_state != 0;
  return RS_OK;
}

int rs232x_port_t::put_break(LONG value) {
  if (!is_bool(value)) return RS_INVALID_ARG;
  if (!opened()) return RS_NOT_OPEN;
  {
    std::lock_guard<std::mutex> guard(config_lock_);
    config_.break_state = value ? 1 : 0;
  }
  if (value) {
    win::SetCommBreak(handle_.load());
  } else {
    win::ClearCommBreak(handle_.load());
  }
  return RS_OK;
}

}  // namespace serial
