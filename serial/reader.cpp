// Input: the input wait, the read core, blocking and queued Input/InputB, automatic input, the
// error poll, and the pattern search and counting around every delivery.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/comm/wire_trace.h"
#include "platform/text/codepage.h"
#include "platform/text/convert.h"
#include "serial/engine_trace.h"
#include "serial/port.h"
#include "serial/threads.h"

namespace serial {

namespace {

// Whole seconds since start, times 1005: the time-out arithmetic of the input wait.
DWORD elapsed_1005(const win::LARGE_INTEGER& start) {
  win::LARGE_INTEGER now, freq;
  win::QueryPerformanceCounter(&now);
  win::QueryPerformanceFrequency(&freq);
  const std::int64_t seconds = (now.QuadPart - start.QuadPart) / freq.QuadPart;
  const std::int64_t product = seconds * 1005;
  return product > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<DWORD>(product);
}

// True when the last byte is a lead byte left without its trail byte.
bool ends_on_lead_byte(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  std::size_t i = 0;
  while (i < count) {
    if (win::IsDBCSLeadByteEx(win::CP_ACP, bytes[i])) {
      if (i + 1 >= count) return true;
      i += 2;
    } else {
      ++i;
    }
  }
  return false;
}

}  // namespace

bool rs232x_port_t::wait_for_input(DWORD n, rs232x_thread_t* worker) {
  win::LARGE_INTEGER start, freq;
  win::QueryPerformanceCounter(&start);
  win::QueryPerformanceFrequency(&freq);
  // The comm layer wakes the wait when the bytes are queued, when the cancel event (auto-reset,
  // so the wait consumes it) or a worker's pause or stop is signalled, or at the time-out,
  // instead of a look at the driver queue every millisecond. The time-out keeps its whole
  // seconds: the wait gives up at the first look where whole seconds x 1005 reach InputTimeout.
  HANDLE aborts[2] = {input_cancel_event_, worker ? worker->gate().wake_event() : nullptr};
  const DWORD abortCount = worker ? 2 : 1;
  for (;;) {
    HANDLE device = handle_.load();
    if (device == win::INVALID_HANDLE_VALUE) return false;
    win::COMSTAT stat;
    if (n == 0) {
      win::WaitForSingleObject(input_cancel_event_, 0);
      clear_errors(nullptr, &stat);
      return false;
    }
    const DWORD timeout = input_timeout_now();
    const std::uint64_t seconds = timeout / 1005 + (timeout % 1005 ? 1 : 0);
    win::LARGE_INTEGER now;
    win::QueryPerformanceCounter(&now);
    const std::int64_t spentMs = (now.QuadPart - start.QuadPart) * 1000 / freq.QuadPart;
    const std::int64_t leftMs = static_cast<std::int64_t>(seconds * 1000) - spentMs;
    const DWORD wait = static_cast<DWORD>(std::clamp<std::int64_t>(leftMs, 0, 0x7FFFFFFF));
    const DWORD r = win::WaitCommInput(device, n, wait, abortCount, aborts);
    if (r == win::WAIT_OBJECT_0 + 1) return false;  // cancelled
    if (r == win::WAIT_OBJECT_0 + 2) {
      if (!worker->gate().yield()) return false;
      continue;
    }
    if (r == win::WAIT_OBJECT_0) {
      // Line errors are cleared by the wait as they always were, so that a read under
      // AbortOnError does not find them unreported; the count needs no second look.
      DWORD errors = 0;
      return win::ClearCommError(device, &errors, nullptr) != win::FALSE;
    }
    if (r != win::WAIT_TIMEOUT) return false;
    if (clear_errors(nullptr, &stat) != RS_OK) return false;
    if (stat.cbInQue >= n) return true;
    if (elapsed_1005(start) >= input_timeout_now()) return false;
    if (worker && !worker->gate().yield()) return false;
  }
}

rs232x_port_t::read_result_t rs232x_port_t::read_bytes(DWORD n, kind_t kind,
                                                       rs232x_thread_t* worker) {
  read_result_t result;
  if (!opened()) {
    result.status = RS_INPUT_FAILED;
    return result;
  }
  HANDLE event = worker ? worker->io_event() : read_event_;
  DWORD want = n;
  std::size_t got = 0;
  for (int pass = 0; pass < 2; ++pass) {
    // The array is made once the bytes are there, so a huge count allocates only what came.
    if (!wait_for_input(want, worker)) break;
    try {
      result.bytes.resize(got + want);
    } catch (const std::bad_alloc&) {
      result.status = RS_OUT_OF_MEMORY;
      result.bytes.clear();
      return result;
    }
    HANDLE device = handle_.load();
    const std::uint64_t generation = device_generation_.load();
    if (device == win::INVALID_HANDLE_VALUE) break;
    win::ResetEvent(event);
    win::OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = event;
    DWORD count = 0;
    if (!win::ReadFile(device, result.bytes.data() + got, want, &count, &ov)) {
      if (win::GetLastError() != win::ERROR_IO_PENDING) {
        if (pass == 0) {
          result.status = RS_INPUT_FAILED;
          result.bytes.clear();
          return result;
        }
        break;
      }
      wait_io(event, input_timeout_now(), worker);
      if (!finish_io(device, generation, &ov, &count) && pass == 0) {
        result.status = RS_INPUT_FAILED;
        result.bytes.clear();
        return result;
      }
    }
    got += count;
    result.bytes.resize(got);
    // A string read completes a double-byte character split at its end.
    if (pass == 0 && kind == kind_t::string && got > 0 && ends_on_lead_byte(result.bytes, got)) {
      want = 1;
      continue;
    }
    break;
  }
  result.bytes.resize(got);
  return result;
}

void rs232x_port_t::after_input(const std::vector<std::uint8_t>& bytes, bool countIt,
                                const fire_t& fire) {
  if (host_.CountingSuppressed()) return;
  rs232x_host_t& host = host_;
  const int matches = pattern_.search(bytes.data(), bytes.size());
  for (int i = 0; i < matches; ++i)
    if (!fire([&host] { host._Fire_DataDetected(); })) return;
  if (!countIt) return;
  const auto notices = host_.Counters().count_input(static_cast<LONG>(bytes.size()));
  for (LONG i = 0; i < notices.thresholds; ++i)
    if (!fire([&host] { host._Fire_CommIOState(pioeInputThreshold); })) return;
  if (notices.wrapped) fire([&host] { host._Fire_CommIOState(pioeInputWrapped); });
}

int rs232x_port_t::input(LONG numBytes, kind_t kind, std::vector<std::uint8_t>* bytes,
                         std::u16string* text, LONG* result) {
  if (!opened()) return RS_NOT_OPEN;
  if (numBytes < -1) return RS_INVALID_ARG;
  if (numBytes == 0) numBytes = -1;
  *result = 0;
  if (bytes) bytes->clear();
  if (text) text->clear();
  DWORD wanted = static_cast<DWORD>(numBytes);
  if (numBytes == -1) {
    win::COMSTAT stat;
    if (clear_errors(nullptr, &stat) != RS_OK) return RS_QUERY_FAILED;
    wanted = stat.cbInQue;
  }
  if (input_queued(config_)) {
    if (closing_) return RS_INPUT_FAILED;
    rs232x_input_request_t request;
    request.count = static_cast<LONG>(wanted);
    request.kind = static_cast<std::uint8_t>(kind);
    if (win::WireTraceOn()) {
      // Traced under the queue's lock: the reader cannot take the request before the line is out.
      *result = input_requests_.push(request, [&](LONG id) {
        trace_request(port_number_, std::string(kind == kind_t::string ? "Input " : "InputB ") +
                                        std::to_string(wanted) + " queued " + std::to_string(id));
      });
    } else {
      *result = input_requests_.push(request);
    }
    return RS_OK;
  }
  if (win::WireTraceOn()) {
    trace_request(port_number_, std::string(kind == kind_t::string ? "Input " : "InputB ") +
                                    std::to_string(wanted));
  }
  read_result_t read = read_bytes(wanted, kind, nullptr);
  if (read.status == RS_OUT_OF_MEMORY) return RS_OUT_OF_MEMORY;
  if (read.status != RS_OK) return RS_INPUT_FAILED;
  const bool shortRead = read.bytes.size() < wanted;
  after_input(read.bytes, false, fire_directly);
  if (kind == kind_t::string) {
    *text = win::AnsiToWide(
        std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
  } else {
    *bytes = read.bytes;
  }
  if (shortRead) {
    const LONG id = kind == kind_t::string ? pioeInputTimeout : pioeInputBTimeout;
    *result = -1;
    host_.Counters().set_port_last_error(id);
    host_._Fire_CommIOState(id);
    return RS_OK;
  }
  *result = static_cast<LONG>(read.bytes.size());
  if (!host_.CountingSuppressed()) {
    const auto notices = host_.Counters().count_input(*result);
    for (LONG i = 0; i < notices.thresholds; ++i) host_._Fire_CommIOState(pioeInputThreshold);
    if (notices.wrapped) host_._Fire_CommIOState(pioeInputWrapped);
  }
  return RS_OK;
}

int rs232x_port_t::input_string(LONG numBytes, std::u16string* text, LONG* result) {
  return input(numBytes, kind_t::string, nullptr, text, result);
}

int rs232x_port_t::input_bytes(LONG numBytes, std::vector<std::uint8_t>* bytes, LONG* result) {
  return input(numBytes, kind_t::bytes, bytes, nullptr, result);
}

// ---- rs232x_reader_t: one queued request per step ---------------------------------------------

void rs232x_reader_t::serve_one() {
  auto request = port_.input_requests().pop();
  if (!request) {
    // Idle: wait for a request rather than waking every 10 ms for an empty queue.
    if (!wait_for_work(port_.input_requests().ready_event())) return;
    request = port_.input_requests().pop();
    if (!request) return;
  }
  const LONG id = request->request_id;
  port_.take_in_flight(worker_t::reader, id, request->kind);
  // Fires a completion on the control's thread only while the request is still this worker's
  // to complete (close or a cancellation may have completed it meanwhile). False otherwise.
  auto completeVia = [this, id](const std::function<void()>& fire) {
    bool fired = false;
    if (control_.IsOccupied()) return port_.claim_in_flight(worker_t::reader, id);
    bool ran = false;
    // Counting follows only while the session goes on (a handler may close the port).
    const bool sessionGoesOn = report([&] {
      ran = true;
      if (!port_.claim_in_flight(worker_t::reader, id)) return;
      fired = true;
      fire();
    });
    if (!ran) port_.claim_in_flight(worker_t::reader, id);  // no host to tell, or stopping
    return fired && sessionGoesOn;
  };
  auto viaControl = [this](const std::function<void()>& call) { return report(call); };
  const engineConfig config = port_.config_snapshot();
  // A request taken from the queue is always completed: when it cannot be served it completes
  // like a cancelled one, with nothing and a count of 0.
  auto unserved = [&] {
    port_.complete_unserved_input(
        *request, [&](const std::function<void()>& fire) { return completeVia(fire); });
  };
  if (!port_.opened() || !input_queued(config)) return unserved();
  const auto kind = static_cast<rs232x_worker_port_t::kind_t>(request->kind);
  auto read = port_.read_bytes(static_cast<DWORD>(request->count), kind, this);
  if (read.status != RS_OK) return unserved();
  const bool shortRead = read.bytes.size() < static_cast<std::size_t>(request->count);
  const LONG numBytes = shortRead ? -1 : static_cast<LONG>(read.bytes.size());
  if (shortRead)
    control_.Counters().set_port_last_error(
        kind == rs232x_worker_port_t::kind_t::string ? pioeInputTimeout : pioeInputBTimeout);
  rs232x_host_t& host = control_;
  if (kind == rs232x_worker_port_t::kind_t::bytes) {
    if (!completeVia([&] { host._Fire_NonblockInputB(id, &read.bytes, numBytes); })) return;
  } else {
    const std::u16string text = win::AnsiToWide(
        std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
    if (!completeVia([&] { host._Fire_NonblockInput(id, &text, numBytes); })) return;
  }
  port_.after_input(read.bytes, read.bytes.size() <= static_cast<std::size_t>(request->count),
                    viaControl);
}

// ---- rs232x_reader_monitor_t: error poll and automatic input -----------------------------------

LONG comm_error_for(DWORD errors) {
  LONG value = 0;
  if (errors & win::CE_FRAME) value = perFrame;
  if (errors & win::CE_OVERRUN) value = perOverrun;
  if (errors & win::CE_RXOVER) value = perInputBufferOverflow;
  if (errors & win::CE_RXPARITY) value = perParity;
  if (errors & win::CE_TXFULL) value = perOutputBufferFull;
  return value;
}

void rs232x_reader_monitor_t::poll() {
  if (!port_.opened()) return;
  DWORD errors = 0;
  win::COMSTAT stat;
  if (port_.clear_errors(&errors, &stat) != RS_OK) return;
  const engineConfig config = port_.config_snapshot();
  const LONG value = (config.event_mask & WIN_EV_ERR) ? comm_error_for(errors) : 0;
  control_.Counters().set_port_last_error(value);
  rs232x_host_t& host = control_;
  if (value != 0 && !report([&] { host._Fire_CommError(value); })) return;
  if (!config.auto_input || stat.cbInQue == 0) return;
  auto read = port_.read_bytes(stat.cbInQue, rs232x_worker_port_t::kind_t::bytes, this);
  // Another reader may have taken the bytes first: nothing is delivered then.
  if (read.status != RS_OK || read.bytes.empty()) return;
  const LONG count = static_cast<LONG>(read.bytes.size());
  const bool delivered = !control_.IsOccupied() || control_.CountingSuppressed()
                             ? report([&] { host._Fire_AutoInput(read.bytes, count); })
                             : report([&] { host._Fire__UberAutoInput(read.bytes, count); });
  if (!delivered) return;
  port_.after_input(read.bytes, true,
                    [this](const std::function<void()>& call) { return report(call); });
}

}  // namespace serial
