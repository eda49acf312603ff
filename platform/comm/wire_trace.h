// The wire trace: every byte the comm layer moves on a line, and the requests and reports of
// the serial engine, as time-stamped text lines for an engineer to read after a run.
//
// How it works: the environment variable RAVLIN_TRACE is read once, at the first look
// (WireTraceOn). Unset or empty, the trace is off, and a trace point costs one load of a cached
// flag and a branch: nothing is formatted, nothing is locked. A file name turns it on: the file
// is created or emptied and the lines go to it; "-" sends them to standard error. A file that
// cannot be opened leaves the trace off after one line on standard error that says so; nothing
// else changes. While on, each line is formatted by the calling thread and then written whole,
// in one write, under a lock that exists only for that, so the lines of several threads never
// mix. The line format is the simulator's (platform/text/trace_line.h), seconds counted from
// the moment the trace was turned on:
//     SSSSSS.UUUUUU PORT host XX XX ...   bytes the program gave to the line
//     SSSSSS.UUUUUU PORT dev XX XX ...    bytes the program took from the line
//     SSSSSS.UUUUUU PORT WORD TEXT        a note: the engine's requests and reports
// where PORT is the device path (the engine's notes name the port COM<n>).
//
// Offers: WireTraceOn, WireSide, TraceWire, TraceNote, RestartWireTrace.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

namespace win {

namespace detail {
// 0: RAVLIN_TRACE not read yet; 1: off; 2: on.
extern std::atomic<int> wireTraceState;
// Reads RAVLIN_TRACE (once) and opens the trace; true when it is on.
bool StartWireTrace();
}  // namespace detail

// True while the trace is on. The first call reads the environment; every later one is a load.
inline bool WireTraceOn() {
  const int state = detail::wireTraceState.load(std::memory_order_relaxed);
  if (state == 2) return true;
  if (state == 1) return false;
  return detail::StartWireTrace();
}

// Which way bytes went: given to the line by the program (host) or taken from it (dev).
enum class WireSide { kHost, kDevice };

// Writes a line of `size` bytes in hex for the port, when the trace is on (check WireTraceOn
// first to spare the call). A line that cannot be written is lost; nothing is reported.
void TraceWire(std::string_view port, WireSide side, const void* data, std::size_t size);
// Writes "PORT WORD TEXT" when the trace is on. Failure as for TraceWire.
void TraceNote(std::string_view port, std::string_view word, std::string_view text);

// Closes the trace and reads RAVLIN_TRACE again, as at the first look; returns WireTraceOn().
// For tests and benchmarks that switch the trace within one process; safe against trace points
// running meanwhile on other threads (their lines go to the old file, the new one, or nowhere).
bool RestartWireTrace();

}  // namespace win
