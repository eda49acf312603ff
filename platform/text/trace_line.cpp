// Trace lines (trace_line.h).
#include "platform/text/trace_line.h"

#include <cstdio>

namespace win {

void AppendTraceStamp(std::string& out, std::int64_t microseconds) {
  char stamp[48];
  const int n = std::snprintf(stamp, sizeof stamp, "%6lld.%06lld",
                              static_cast<long long>(microseconds / 1000000),
                              static_cast<long long>(microseconds % 1000000));
  out.append(stamp, static_cast<std::size_t>(n));
}

void AppendHexBytes(std::string& out, const void* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::size_t start = out.size();
  out.resize(start + 3 * size);
  char* p = out.data() + start;
  for (std::size_t i = 0; i < size; ++i) {
    *p++ = ' ';
    *p++ = kDigits[bytes[i] >> 4];
    *p++ = kDigits[bytes[i] & 0xF];
  }
}

std::string TraceLine(std::int64_t microseconds, std::string_view who, const void* data,
                      std::size_t size) {
  std::string line;
  line.reserve(16 + who.size() + 3 * size);
  AppendTraceStamp(line, microseconds);
  line += ' ';
  line += who;
  AppendHexBytes(line, data, size);
  line += '\n';
  return line;
}

std::string TraceTextLine(std::int64_t microseconds, std::string_view who, std::string_view text) {
  std::string line;
  line.reserve(18 + who.size() + text.size());
  AppendTraceStamp(line, microseconds);
  line += ' ';
  line += who;
  if (!text.empty()) {
    line += ' ';
    line += text;
  }
  line += '\n';
  return line;
}

}  // namespace win
