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
// GetHandleDescriptor and GetEventWaiterCount (ours). The error codes are in platform/winerror.h.
#pragma once

#include "platform/winerror.h"
#include "platform/wintypes.h"

namespace win {

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
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

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

// Ours, for tests: how many threads sleep now in WaitForSingleObject or WaitForMultipleObjects
// on this event (each found it unsignalled and waits for it), so that a test can act once
// another thread has reached its wait instead of sleeping for it. 0 for a handle that is not
// an event.
DWORD GetEventWaiterCount(HANDLE handle);

}  // namespace win
