// Kernel objects of the platform: handles, events, waits, last error, time.
//
// Principle: every kernel object (an event, an open serial device) lives in one process-wide
// handle table and is named by an opaque HANDLE. Events are Linux eventfds, so that a thread
// can wait on several of them at once, and so that the component runtime's "wait with message
// dispatch" can poll them together with its apartment descriptor (GetHandleDescriptor).
// The last error is per thread, as on the platform.
//
// Offers: CreateEventA, SetEvent, ResetEvent, WaitForSingleObject, WaitForMultipleObjects,
// CloseHandle, DuplicateHandle, GetCurrentProcess, GetLastError, SetLastError,
// QueryPerformanceCounter, QueryPerformanceFrequency, GetTickCount, Sleep, and
// GetHandleDescriptor (ours).
#pragma once

#include "platform/wintypes.h"

namespace win {

// Error codes (GetLastError) the system observes.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_COUNTER_TIMEOUT = 1121;

// Waits.
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// DuplicateHandle options.
constexpr DWORD DUPLICATE_CLOSE_SOURCE = 0x1;
constexpr DWORD DUPLICATE_SAME_ACCESS = 0x2;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};

DWORD GetLastError();
void SetLastError(DWORD code);

// Events. A manual-reset event stays signalled until ResetEvent; an auto-reset event is
// reset by the one wait it releases. The name is ignored (no named objects here).
HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits on events (devices are not waitable here). Timeout in ms, INFINITE for none.
// WaitForMultipleObjects returns WAIT_OBJECT_0 + index of the first signalled object
// (waitAll FALSE), or WAIT_OBJECT_0 once all are signalled (waitAll TRUE).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds);

// Closes any handle of the table. A device's last handle closing closes the device.
BOOL CloseHandle(HANDLE handle);

// The pseudo handle of the calling process, for DuplicateHandle.
HANDLE GetCurrentProcess();

// Makes a second handle to the same object (only within this process). The object lives until
// its last handle is closed.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD desiredAccess, BOOL inheritHandle, DWORD options);

// High-resolution counter (CLOCK_MONOTONIC, in nanoseconds; the frequency is 1e9).
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Ours: a descriptor that polls readable (POLLIN) while the event is signalled, for waits that
// combine events with other descriptors. Reading from it is not allowed. -1 for a handle
// that is not an event.
int GetHandleDescriptor(HANDLE handle);

}  // namespace win
