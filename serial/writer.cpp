// Output: the write core, blocking and queued Output/OutputB, OutputUrgent, and the writer.
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/comm/wire_trace.h"
#include "platform/text/convert.h"
#include "serial/engine_trace.h"
#include "serial/port.h"
#include "serial/threads.h"

namespace serial {

int rs232x_port_t::write_bytes(const std::uint8_t* data, DWORD n, DWORD* written,
                               rs232x_thread_t* worker) {
  *written = 0;
  HANDLE device = handle_.load();
  if (device == win::INVALID_HANDLE_VALUE) return RS_OUTPUT_FAILED;
  const std::uint64_t generation = device_generation_.load();
  HANDLE event = worker ? worker->io_event() : write_event_;
  win::ResetEvent(event);
  win::OVERLAPPED ov;
  std::memset(&ov, 0, sizeof ov);
  ov.hEvent = event;
  DWORD count = 0;
  if (win::WriteFile(device, data, n, &count, &ov)) {
    *written = count;
    return RS_OK;
  }
  if (win::GetLastError() != win::ERROR_IO_PENDING) return RS_OUTPUT_FAILED;
  wait_io(event, output_timeout_now(), worker);
  if (!finish_io(device, generation, &ov, &count)) return RS_OUTPUT_FAILED;
  *written = count;
  return RS_OK;
}

void rs232x_port_t::count_output_and_report(LONG n, const fire_t& fire, bool atMostOneNotice) {
  if (host_.CountingSuppressed()) return;
  rs232x_host_t& host = host_;
  const auto notices = host_.Counters().count_output(n);
  const LONG thresholds = atMostOneNotice && notices.thresholds > 1 ? 1 : notices.thresholds;
  for (LONG i = 0; i < thresholds; ++i)
    if (!fire([&host] { host._Fire_CommIOState(pioeOutputThreshold); })) return;
  if (notices.wrapped) fire([&host] { host._Fire_CommIOState(pioeOutputWrapped); });
}

int rs232x_port_t::output(const std::uint8_t* data, std::size_t count, kind_t kind, LONG* result) {
  if (!opened()) return RS_NOT_OPEN;
  if (count > static_cast<std::size_t>(std::numeric_limits<LONG>::max())) return RS_INVALID_ARG;
  *result = static_cast<LONG>(count);
  if (count == 0) return RS_OK;
  if (output_queued(config_)) {
    if (closing_ || !opened()) return RS_OUTPUT_FAILED;
    rs232x_output_request_t request;
    request.kind = static_cast<std::uint8_t>(kind);
    try {
      request.bytes.assign(data, data + count);
      request.count = static_cast<LONG>(count);
    } catch (const std::bad_alloc&) {
      request.bytes.clear();
      request.count = 0;
    }
    if (win::WireTraceOn()) {
      // Traced under the queue's lock: the writer cannot send the bytes before the line is out.
      *result = output_requests_.push(std::move(request), [&](LONG id) {
        trace_request(port_number_, std::string(kind == kind_t::string ? "Output " : "OutputB ") +
                                        std::to_string(count) + " queued " + std::to_string(id));
      });
    } else {
      *result = output_requests_.push(std::move(request));
    }
    return RS_OK;
  }
  if (win::WireTraceOn()) {
    trace_request(port_number_, std::string(kind == kind_t::string ? "Output " : "OutputB ") +
                                    std::to_string(count));
  }
  DWORD written = 0;
  if (write_bytes(data, static_cast<DWORD>(count), &written, nullptr) != RS_OK)
    return RS_OUTPUT_FAILED;
  if (written < count) {
    const LONG id = kind == kind_t::string ? pioeOutputTimeout : pioeOutputBTimeout;
    *result = -1;
    host_.Counters().set_port_last_error(id);
    host_._Fire_CommIOState(id);
    return RS_OK;
  }
  *result = static_cast<LONG>(written);
  count_output_and_report(*result, fire_directly);
  return RS_OK;
}

int rs232x_port_t::output_string(std::u16string_view text, LONG* result) {
  if (!opened()) return RS_NOT_OPEN;
  const std::string bytes = win::WideToAnsi(text);
  if (bytes.empty()) return RS_OUTPUT_FAILED;  // the empty string converts to nothing
  return output(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), kind_t::string,
                result);
}

int rs232x_port_t::output_bytes(const std::uint8_t* data, std::size_t count, LONG* result) {
  return output(data, count, kind_t::bytes, result);
}

int rs232x_port_t::output_urgent(std::uint8_t byte, bool* sent) {
  *sent = false;
  if (!opened()) return RS_NOT_OPEN;
  if (win::WireTraceOn()) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    trace_request(port_number_,
                  std::string("OutputUrgent ") + kDigits[byte >> 4] + kDigits[byte & 0xF]);
  }
  win::LARGE_INTEGER start, now, freq;
  win::QueryPerformanceCounter(&start);
  if (!win::TransmitCommChar(handle_.load(), static_cast<char>(byte))) return RS_OK;
  win::QueryPerformanceCounter(&now);
  win::QueryPerformanceFrequency(&freq);
  const std::int64_t product = (now.QuadPart - start.QuadPart) / freq.QuadPart * 1005;
  const DWORD elapsed = product > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<DWORD>(product);
  if (elapsed >= output_timeout_now()) return RS_OK;
  count_output_and_report(1, fire_directly, true);
  *sent = true;
  return RS_OK;
}

// ---- rs232x_writer_t: one queued request per step ---------------------------------------------

void rs232x_writer_t::serve_one() {
  auto request = port_.output_requests().pop();
  if (!request) {
    // Idle: wait for a request rather than waking every 10 ms for an empty queue.
    if (!wait_for_work(port_.output_requests().ready_event())) return;
    request = port_.output_requests().pop();
    if (!request) return;
  }
  rs232x_host_t& host = control_;
  const LONG id = request->request_id;
  port_.take_in_flight(worker_t::writer, id, request->kind);
  // Completes the request on the control's thread only while it is still this worker's to
  // complete (close or a cancellation may have completed it meanwhile). False otherwise.
  auto complete = [&](LONG numBytes) {
    bool fired = false;
    if (control_.IsOccupied()) return port_.claim_in_flight(worker_t::writer, id);
    bool ran = false;
    // Counting follows only while the session goes on (a handler may close the port).
    const bool sessionGoesOn = report([&] {
      ran = true;
      if (!port_.claim_in_flight(worker_t::writer, id)) return;
      fired = true;
      host._Fire_NonblockOutput(id, numBytes);
    });
    if (!ran) port_.claim_in_flight(worker_t::writer, id);  // no host to tell, or stopping
    return fired && sessionGoesOn;
  };
  const engineConfig config = port_.config_snapshot();
  // A request taken from the queue is always completed (count 0 when it could not be served).
  auto unserved = [&] { complete(0); };
  if (!port_.opened() || !output_queued(config)) return unserved();
  DWORD written = 0;
  if (port_.write_bytes(request->bytes.data(), static_cast<DWORD>(request->bytes.size()), &written,
                        this) != RS_OK)
    return unserved();
  const bool shortWrite = written < static_cast<DWORD>(request->count);
  if (shortWrite)
    control_.Counters().set_port_last_error(request->kind == 0 ? pioeOutputTimeout
                                                               : pioeOutputBTimeout);
  const LONG numBytes = shortWrite ? -1 : static_cast<LONG>(written);
  if (!complete(numBytes)) return;
  port_.count_output_and_report(static_cast<LONG>(written),
                                [this](const std::function<void()>& call) { return report(call); });
}

}  // namespace serial
