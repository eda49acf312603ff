// The engine's trace lines (engine_trace.h).
#include "serial/engine_trace.h"

#include <string>

#include "platform/comm/wire_trace.h"

namespace serial {
namespace {

std::string port_name(LONG port) {
  return "COM" + std::to_string(port);
}

std::string numbers(std::string_view name, LONG a) {
  return std::string(name) + " " + std::to_string(a);
}

std::string numbers(std::string_view name, LONG a, LONG b) {
  return numbers(name, a) + " " + std::to_string(b);
}

}  // namespace

void trace_request(LONG port, std::string_view text) {
  win::TraceNote(port_name(port), "request", text);
}

void rs232x_traced_host_t::event(std::string_view text) const {
  win::TraceNote(port_name(port_.load(std::memory_order_relaxed)), "event", text);
}

// Each report is traced before it runs, so that what its handler asks comes after it.
void rs232x_traced_host_t::_Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) {
  if (win::WireTraceOn()) event(numbers("AutoInput", numBytes));
  host_._Fire_AutoInput(bytes, numBytes);
}

void rs232x_traced_host_t::_Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes,
                                                LONG numBytes) {
  if (win::WireTraceOn()) event(numbers("UberAutoInput", numBytes));
  host_._Fire__UberAutoInput(bytes, numBytes);
}

void rs232x_traced_host_t::_Fire_CommError(LONG commErrorId) {
  if (win::WireTraceOn()) event(numbers("CommError", commErrorId));
  host_._Fire_CommError(commErrorId);
}

void rs232x_traced_host_t::_Fire_CommIOState(LONG commIOStateId) {
  if (win::WireTraceOn()) event(numbers("CommIOState", commIOStateId));
  host_._Fire_CommIOState(commIOStateId);
}

void rs232x_traced_host_t::_Fire_CommState(LONG commStateId) {
  if (win::WireTraceOn()) event(numbers("CommState", commStateId));
  host_._Fire_CommState(commStateId);
}

void rs232x_traced_host_t::_Fire_DataDetected() {
  if (win::WireTraceOn()) event("DataDetected");
  host_._Fire_DataDetected();
}

void rs232x_traced_host_t::_Fire_NonblockInput(LONG requestId, const std::u16string* text,
                                               LONG numBytes) {
  if (win::WireTraceOn()) event(numbers("NonblockInput", requestId, numBytes));
  host_._Fire_NonblockInput(requestId, text, numBytes);
}

void rs232x_traced_host_t::_Fire_NonblockInputB(LONG requestId,
                                                const std::vector<std::uint8_t>* bytes,
                                                LONG numBytes) {
  if (win::WireTraceOn()) event(numbers("NonblockInputB", requestId, numBytes));
  host_._Fire_NonblockInputB(requestId, bytes, numBytes);
}

void rs232x_traced_host_t::_Fire_NonblockOutput(LONG requestId, LONG numBytes) {
  if (win::WireTraceOn()) event(numbers("NonblockOutput", requestId, numBytes));
  host_._Fire_NonblockOutput(requestId, numBytes);
}

}  // namespace serial
