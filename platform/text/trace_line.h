// Trace lines: one time-stamped text line per piece of traffic, as tavosim --trace writes them.
//
// Principle: a line reads "SSSSSS.UUUUUU WHO XX XX ...": the seconds since the trace began,
// right-aligned in at least six places, a point and six places of microseconds; then who moved
// the bytes (one word or more); then each byte as two upper-case hex digits after a space; then
// a newline. A line that tells of something other than bytes carries free text after WHO
// instead. These functions only format; where the lines go, and when, is the caller's.
//
// Offers: AppendTraceStamp, AppendHexBytes, TraceLine, TraceTextLine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace win {

// Appends the stamp of `microseconds` since the trace began ("     1.000250"). Never fails
// but by std::bad_alloc, which leaves `out` as it was or longer by part of the stamp.
void AppendTraceStamp(std::string& out, std::int64_t microseconds);
// Appends " XX" for each byte. Failure as for AppendTraceStamp.
void AppendHexBytes(std::string& out, const void* data, std::size_t size);

// A whole line, newline included: stamp, who, the bytes in hex. Throws std::bad_alloc only.
std::string TraceLine(std::int64_t microseconds, std::string_view who, const void* data,
                      std::size_t size);
// A whole line with text in place of the bytes ("stamp who text"; no text: "stamp who").
std::string TraceTextLine(std::int64_t microseconds, std::string_view who, std::string_view text);

}  // namespace win
