// rs232x_port_t: waiting for and finishing overlapped operations, with the workers' gate.
#include <cstring>

#include "serial/port.h"
#include "serial/threads.h"

namespace serial {

bool rs232x_port_t::wait_io(HANDLE event, DWORD ms, rs232x_thread_t* worker) {
  if (!worker) return win::WaitForSingleObject(event, ms) == win::WAIT_OBJECT_0;
  // A worker also wakes for a pause or a stop; a pause does not count against the time.
  win::LARGE_INTEGER start, now, freq;
  win::QueryPerformanceCounter(&start);
  win::QueryPerformanceFrequency(&freq);
  HANDLE handles[2] = {event, worker->gate().wake_event()};
  for (;;) {
    DWORD left = win::INFINITE;
    if (ms != win::INFINITE) {
      win::QueryPerformanceCounter(&now);
      const std::int64_t spent = (now.QuadPart - start.QuadPart) * 1000 / freq.QuadPart;
      if (spent >= ms) return win::WaitForSingleObject(event, 0) == win::WAIT_OBJECT_0;
      left = static_cast<DWORD>(ms - spent);
    }
    const DWORD r = win::WaitForMultipleObjects(2, handles, win::FALSE, left);
    if (r == win::WAIT_OBJECT_0) return true;
    if (r == win::WAIT_OBJECT_0 + 1) {
      if (!worker->gate().yield()) return false;
      continue;
    }
    if (r == win::WAIT_TIMEOUT) return false;
    return false;
  }
}

bool rs232x_port_t::finish_io(HANDLE device, std::uint64_t generation, win::OVERLAPPED* ov,
                              DWORD* count) {
  *count = 0;
  if (generation != device_generation_.load()) {
    // The device was closed meanwhile, which ended the operation: wait for its event only.
    win::WaitForSingleObject(ov->hEvent, win::INFINITE);
    return false;
  }
  if (win::GetOverlappedResult(device, ov, count, win::FALSE)) return true;
  if (win::GetLastError() == win::ERROR_IO_INCOMPLETE) {
    // Still pending after its time: cancel, and keep what it moved so far.
    win::CancelIoEx(device, ov);
    if (win::GetOverlappedResult(device, ov, count, win::TRUE)) return true;
  }
  return win::GetLastError() == win::ERROR_OPERATION_ABORTED;
}

}  // namespace serial
