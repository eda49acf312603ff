// What the engine needs of the Port control: the hidden _Fire_* members it reports through,
// the occupancy questions, and the counters it updates.
//
// The control implements rs232x_host_t and hands it to rs232x_port_t. Reports from the workers
// reach it on the control's own thread (the apartment that created the engine), one call at a
// time, while the worker waits; reports of operations on the caller's thread (blocking I/O,
// urgent send, cancellation, close) are made directly on that thread. IsOccupied and
// CountingSuppressed are also asked from worker threads and must be safe to call from any
// thread. rs232x_counters_t is declared here and owned by the control (one per control); it
// carries its own lock, since the caller's thread and two workers count through it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace serial {

using win::LONG;

// CommIOStateIdEnum, CommErrorIdEnum and CommStateIdEnum values the engine produces.
enum : LONG {
  pioeInputThreshold = 512,
  pioeInputTimeout = 513,
  pioeInputBTimeout = 514,
  pioeInputWrapped = 515,
  pioeOutputThreshold = 528,
  pioeOutputTimeout = 529,
  pioeOutputBTimeout = 530,
  pioeOutputWrapped = 531,
};
enum : LONG {
  perFrame = 1024,
  perOverrun = 1025,
  perInputBufferOverflow = 1026,
  perParity = 1027,
  perOutputBufferFull = 1028,
};
enum : LONG {
  peCts = 1,
  peDsr = 2,
  peCd = 3,
  peRing = 4,
  peBreak = 5,
  peInputByte = 16,
  peEventByte = 17,
  peInputBuffer80Full = 18,
  peOutputBufferEmpty = 19,
  peDriverEvent1 = 253,
  peDriverEvent2 = 254,
};

// Byte counts, threshold remainders and PortLastError, under one lock.
class rs232x_counters_t {
 public:
  static constexpr LONG kMaxCount = 2147483647;

  // Result of counting: the threshold notices due and whether the count wrapped.
  struct notices_t {
    LONG thresholds = 0;
    bool wrapped = false;
  };

  // Open: both counts, both remainders and PortLastError to 0.
  void reset();

  notices_t count_input(LONG n);
  notices_t count_output(LONG n);

  LONG input_byte_count() const;
  LONG output_byte_count() const;
  LONG input_remainder() const;
  LONG output_remainder() const;
  LONG port_last_error() const;
  void set_port_last_error(LONG value);

  LONG input_threshold() const;
  LONG output_threshold() const;
  // Thresholds must be above 0 (false otherwise, nothing changed). A new value resets its
  // remainder; the same value changes nothing and returns true with *changed false.
  bool set_input_threshold(LONG value, bool* changed = nullptr);
  bool set_output_threshold(LONG value, bool* changed = nullptr);

  // Persistence: both thresholds as a stored form holds them, unchecked (counting raises no
  // threshold notice for a value below 1); the remainders restart at 0.
  void restore_thresholds(LONG input, LONG output);

  // For tests and persistence: set a count directly.
  void set_counts_for_testing(LONG inputCount, LONG outputCount);

 private:
  static notices_t count(LONG& total, LONG& remainder, LONG threshold, LONG n);

  mutable std::mutex lock_;
  LONG input_count_ = 0;
  LONG output_count_ = 0;
  LONG input_remainder_ = 0;
  LONG output_remainder_ = 0;
  LONG input_threshold_ = 20000;
  LONG output_threshold_ = 20000;
  LONG port_last_error_ = 0;
};

class rs232x_host_t {
 public:
  virtual ~rs232x_host_t() = default;

  // The hidden members. Byte arrays and strings are only valid for the call. A null text
  // pointer is the null string, a null array pointer an array argument holding no array
  // (the completions of cancelled requests).
  virtual void _Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) = 0;
  virtual void _Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) = 0;
  virtual void _Fire_CommError(LONG commErrorId) = 0;
  virtual void _Fire_CommIOState(LONG commIOStateId) = 0;
  virtual void _Fire_CommState(LONG commStateId) = 0;
  virtual void _Fire_DataDetected() = 0;
  virtual void _Fire_NonblockInput(LONG requestId, const std::u16string* text, LONG numBytes) = 0;
  virtual void _Fire_NonblockInputB(LONG requestId, const std::vector<std::uint8_t>* bytes,
                                    LONG numBytes) = 0;
  virtual void _Fire_NonblockOutput(LONG requestId, LONG numBytes) = 0;

  // The port is occupied by another control (portFree is 0). Any thread.
  virtual bool IsOccupied() = 0;
  // Occupied by a control that lacks the counting interface: no pattern search, no counting.
  // Any thread.
  virtual bool CountingSuppressed() = 0;

  // The control's counters (the same object for the life of the engine).
  virtual rs232x_counters_t& Counters() = 0;
};

}  // namespace serial
