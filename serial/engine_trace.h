// The engine's part of the wire trace (platform/comm/wire_trace.h): what the program asks of a
// port and what the engine reports back, as note lines beside the bytes the comm layer traces.
//
// How it works: when the trace is on as the engine is made, rs232x_port_t reaches its host
// through an rs232x_traced_host_t, which writes one line for each report and then passes the
// report on, on the same thread, so that requests a handler makes follow its line. With the
// trace off the engine holds its host directly and nothing here runs. Requests are traced at
// the engine's public entry points (open, close, the I/O calls, the cancellations and purges),
// each behind a look at the trace's cached flag, so nothing is formatted while it is off.
// Lines name the port COM<n>:
//     SSSSSS.UUUUUU COM3 request OutputB 5 queued 12
//     SSSSSS.UUUUUU COM3 event NonblockOutput 12 5
//
// Offers: rs232x_traced_host_t, trace_request.
#pragma once

#include <atomic>
#include <string_view>

#include "serial/engine_host.h"

namespace serial {

// Writes "COM<port> request <text>" when the trace is on. Never fails (a line that cannot be
// written is lost).
void trace_request(LONG port, std::string_view text);

// Traces every report it passes on to the host; asks of the host (occupancy, counters) pass
// through untraced. Thread-safe as the host is.
class rs232x_traced_host_t final : public rs232x_host_t {
 public:
  explicit rs232x_traced_host_t(rs232x_host_t& host) : host_(host) {}

  // The port number the lines name from now on; any thread.
  void set_port(LONG port) { port_.store(port, std::memory_order_relaxed); }

  void _Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override;
  void _Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override;
  void _Fire_CommError(LONG commErrorId) override;
  void _Fire_CommIOState(LONG commIOStateId) override;
  void _Fire_CommState(LONG commStateId) override;
  void _Fire_DataDetected() override;
  void _Fire_NonblockInput(LONG requestId, const std::u16string* text, LONG numBytes) override;
  void _Fire_NonblockInputB(LONG requestId, const std::vector<std::uint8_t>* bytes,
                            LONG numBytes) override;
  void _Fire_NonblockOutput(LONG requestId, LONG numBytes) override;

  bool IsOccupied() override { return host_.IsOccupied(); }
  bool CountingSuppressed() override { return host_.CountingSuppressed(); }
  rs232x_counters_t& Counters() override { return host_.Counters(); }

 private:
  void event(std::string_view text) const;

  rs232x_host_t& host_;
  std::atomic<LONG> port_{1};
};

}  // namespace serial
