// rs232x_monitor_t: the line-event wait and its bit-to-CommState table.
#include <cstring>

#include "serial/port.h"
#include "serial/threads.h"

namespace serial {

LONG comm_state_for(DWORD events) {
  // The later row wins.
  static constexpr struct {
    DWORD bit;
    LONG state;
  } kRows[] = {
      {win::EV_BREAK, peBreak},
      {win::EV_CTS, peCts},
      {win::EV_DSR, peDsr},
      {win::EV_RING, peRing},
      {win::EV_RLSD, peCd},
      {win::EV_RXCHAR, peInputByte},
      {win::EV_RXFLAG, peEventByte},
      {win::EV_TXEMPTY, peOutputBufferEmpty},
      {win::EV_RX80FULL, peInputBuffer80Full},
      {win::EV_EVENT1, peDriverEvent1},
      {win::EV_EVENT2, peDriverEvent2},
  };
  LONG state = 0;
  for (const auto& row : kRows)
    if (events & row.bit) state = row.state;
  return state;
}

void rs232x_monitor_t::wait_line_event() {
  HANDLE device = port_.handle();
  if (device == win::INVALID_HANDLE_VALUE) return;
  const std::uint64_t generation = port_.device_generation();
  HANDLE event = port_.event_wait_event();
  win::ResetEvent(event);
  win::OVERLAPPED ov;
  std::memset(&ov, 0, sizeof ov);
  ov.hEvent = event;
  DWORD events = 0;
  if (!win::WaitCommEvent(device, &events, &ov)) {
    if (win::GetLastError() != win::ERROR_IO_PENDING) return;
    // Ends with a line event, a mask change or the device closing; a pause parks here, a stop
    // cancels the wait.
    HANDLE handles[2] = {event, gate_->wake_event()};
    for (;;) {
      const DWORD r = win::WaitForMultipleObjects(2, handles, win::FALSE, win::INFINITE);
      if (r == win::WAIT_OBJECT_0) break;
      if (r == win::WAIT_OBJECT_0 + 1 && gate_->yield()) continue;
      // Stopping, or the wait failed: end the operation before its record goes away.
      if (generation == port_.device_generation()) {
        DWORD ignored = 0;
        win::CancelIoEx(device, &ov);
        win::GetOverlappedResult(device, &ov, &ignored, win::TRUE);
      } else {
        win::WaitForSingleObject(event, win::INFINITE);
      }
      return;
    }
    DWORD ignored = 0;
    const bool ok = port_.finish_io(device, generation, &ov, &ignored);
    win::ResetEvent(event);
    if (!ok) return;
  }
  const LONG state = comm_state_for(events);
  if (state == 0) return;
  rs232x_host_t& host = control_;
  report([&] { host._Fire_CommState(state); });
}

}  // namespace serial
