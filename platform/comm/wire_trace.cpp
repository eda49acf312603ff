// The wire trace (wire_trace.h): the switch, the file, and whole-line writes.
#include "platform/comm/wire_trace.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/text/trace_line.h"

namespace win {
namespace detail {

std::atomic<int> wireTraceState{0};

}  // namespace detail

namespace {

using Clock = std::chrono::steady_clock;

// Where the lines go. Guarded by its lock; read only while the trace is on.
struct Sink {
  std::mutex lock;
  int fd = -1;
  bool ownsFd = false;
  Clock::time_point start;
};

Sink& TheSink() {
  static Sink sink;
  return sink;
}

// Writes every byte of the pieces, in order, looping over short writes. False on an error.
bool WriteAll(int fd, iovec* pieces, int count) {
  while (count > 0) {
    const ssize_t n = ::writev(fd, pieces, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    auto left = static_cast<std::size_t>(n);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

// Reads RAVLIN_TRACE and opens the sink; sink.lock held, the sink closed.
void Open(Sink& sink) {
  const char* value = std::getenv("RAVLIN_TRACE");
  const std::string path = value ? value : "";
  int fd = -1;
  bool owns = false;
  if (path == "-") {
    fd = STDERR_FILENO;
  } else if (!path.empty()) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    owns = fd >= 0;
    if (fd < 0) {
      const std::string message =
          "ravlin: RAVLIN_TRACE: cannot open " + path + ": " + std::strerror(errno) + "\n";
      [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, message.data(), message.size());
    }
  }
  sink.fd = fd;
  sink.ownsFd = owns;
  sink.start = Clock::now();
  detail::wireTraceState.store(fd >= 0 ? 2 : 1, std::memory_order_release);
}

void Close(Sink& sink) {
  if (sink.ownsFd) ::close(sink.fd);
  sink.fd = -1;
  sink.ownsFd = false;
}

// Writes one line: the stamp, taken under the lock so that the file reads in time order, then
// the rest, already formatted.
void WriteLine(std::string_view who, std::string_view rest) {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  if (sink.fd < 0) return;
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sink.start).count();
  std::string head;
  AppendTraceStamp(head, us);
  head += ' ';
  head += who;
  iovec pieces[2] = {{head.data(), head.size()}, {const_cast<char*>(rest.data()), rest.size()}};
  WriteAll(sink.fd, pieces, 2);
}

}  // namespace

namespace detail {

bool StartWireTrace() {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  if (wireTraceState.load(std::memory_order_relaxed) == 0) Open(sink);
  return wireTraceState.load(std::memory_order_relaxed) == 2;
}

}  // namespace detail

void TraceWire(std::string_view port, WireSide side, const void* data, std::size_t size) {
  if (!WireTraceOn()) return;
  try {
    std::string who(port);
    who += side == WireSide::kHost ? " host" : " dev";
    std::string bytes;
    AppendHexBytes(bytes, data, size);
    bytes += '\n';
    WriteLine(who, bytes);
  } catch (const std::bad_alloc&) {
    // The line is lost; the traffic goes on.
  }
}

void TraceNote(std::string_view port, std::string_view word, std::string_view text) {
  if (!WireTraceOn()) return;
  try {
    std::string who(port);
    who += ' ';
    who += word;
    std::string rest;
    if (!text.empty()) {
      rest += ' ';
      rest += text;
    }
    rest += '\n';
    WriteLine(who, rest);
  } catch (const std::bad_alloc&) {
    // The line is lost; the traffic goes on.
  }
}

bool RestartWireTrace() {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  Close(sink);
  Open(sink);
  return detail::wireTraceState.load(std::memory_order_relaxed) == 2;
}

}  // namespace win
