#include <cstdint>

#include "serial/engine_host.h"

namespace serial {

void rs232x_counters_t::reset() {
  std::lock_guard<std::mutex> guard(lock_);
  input_count_ = output_count_ = 0;
  input_remainder_ = output_remainder_ = 0;
  port_last_error_ = 0;
}

rs232x_counters_t::notices_t rs232x_counters_t::count(LONG& total, LONG& remainder, LONG threshold,
                                                      LONG n) {
  notices_t notices;
  const std::int64_t sum = static_cast<std::int64_t>(total) + n;
  if (sum < kMaxCount) {
    total = static_cast<LONG>(sum);
  } else {
    total = static_cast<LONG>(sum - kMaxCount);
    notices.wrapped = true;
  }
  // The remainder stays below the threshold, so this sum cannot overflow 64 bits.
  std::int64_t rest = static_cast<std::int64_t>(remainder) + n;
  if (threshold > 0 && rest >= threshold) {
    notices.thresholds = static_cast<LONG>(rest / threshold);
    rest %= threshold;
  }
  remainder = static_cast<LONG>(rest);
  return notices;
}

rs232x_counters_t::notices_t rs232x_counters_t::count_input(LONG n) {
  std::lock_guard<std::mutex> guard(lock_);
  return count(input_count_, input_remainder_, input_threshold_, n);
}

rs232x_counters_t::notices_t rs232x_counters_t::count_output(LONG n) {
  std::lock_guard<std::mutex> guard(lock_);
  return count(output_count_, output_remainder_, output_threshold_, n);
}

void rs232x_counters_t::restore_thresholds(LONG input, LONG output) {
  std::lock_guard<std::mutex> guard(lock_);
  input_threshold_ = input;
  output_threshold_ = output;
  input_remainder_ = output_remainder_ = 0;
}

LONG rs232x_counters_t::input_byte_count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return input_count_;
}
LONG rs232x_counters_t::output_byte_count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return output_count_;
}
LONG rs232x_counters_t::input_remainder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return input_remainder_;
}
LONG rs232x_counters_t::output_remainder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return output_remainder_;
}
LONG rs232x_counters_t::port_last_error() const {
  std::lock_guard<std::mutex> guard(lock_);
  return port_last_error_;
}
void rs232x_counters_t::set_port_last_error(LONG value) {
  std::lock_guard<std::mutex> guard(lock_);
  port_last_error_ = value;
}
LONG rs232x_counters_t::input_threshold() const {
  std::lock_guard<std::mutex> guard(lock_);
  return input_threshold_;
}
LONG rs232x_counters_t::output_threshold() const {
  std::lock_guard<std::mutex> guard(lock_);
  return output_threshold_;
}

bool rs232x_counters_t::set_input_threshold(LONG value, bool* changed) {
  if (changed) *changed = false;
  if (value <= 0) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (value == input_threshold_) return true;
  input_threshold_ = value;
  input_remainder_ = 0;
  if (changed) *changed = true;
  return true;
}

bool rs232x_counters_t::set_output_threshold(LONG value, bool* changed) {
  if (changed) *changed = false;
  if (value <= 0) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (value == output_threshold_) return true;
  output_threshold_ = value;
  output_remainder_ = 0;
  if (changed) *changed = true;
  return true;
}

void rs232x_counters_t::set_counts_for_testing(LONG inputCount, LONG outputCount) {
  std::lock_guard<std::mutex> guard(lock_);
  input_count_ = inputCount;
  output_count_ = outputCount;
}

}  // namespace serial
