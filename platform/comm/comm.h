// The serial communications API of the platform, over POSIX termios and Linux ioctls.
//
// Principle: CreateFileA("\\.\COM<n>") resolves the name to a device path (RAVLIN_COM<n>, then
// the registry value COM<n> under HKEY_LOCAL_MACHINE\Software\Cobrix\Ravlin\Ports, then
// /dev/ttyS<n-1>, for every port number up to 2147483647; a device-namespace name that is no
// port fails with ERROR_FILE_NOT_FOUND, never read as a path in the current folder; "mem:<name>"
// paths reach the in-memory device of memory_device.h) and opens it non-blocking in raw mode,
// remembering the termios state to put back at close. Each open device has a shadow
// DCB/COMMTIMEOUTS/mask/queue sizes, so the getters return exactly what the setters stored even
// where termios cannot hold a member. Overlapped operations (ReadFile, WriteFile, WaitCommEvent)
// complete at once when they can; otherwise they stay pending and the device's service thread
// completes them, setting the OVERLAPPED's event. An abort purge, a mask change (for
// WaitCommEvent) or closing the device ends pending operations. With RAVLIN_TRACE set, every
// byte moved on a line is written to a trace (wire_trace.h).
//
// Offers: the structures DCB (28 bytes), COMMTIMEOUTS (20 bytes), COMSTAT, COMMPROP, OVERLAPPED
// with the platform's layouts and flag values; CreateFileA, SetupComm, GetCommState,
// SetCommState, GetCommTimeouts, SetCommTimeouts, GetCommMask, SetCommMask, GetCommProperties,
// ClearCommError, GetCommModemStatus, EscapeCommFunction, SetCommBreak, ClearCommBreak,
// PurgeComm, TransmitCommChar, WaitCommEvent, ReadFile, WriteFile, GetOverlappedResult,
// CancelIo, CancelIoEx. Handles, events and waits are in kernel.h. Ours, with no platform
// counterpart: WaitCommInput, a wait for a number of queued input bytes that takes none; and for
// tests GetCommActivity and WaitCommActivity, a look at what the device is doing.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/comm/error_detail.h"
#include "platform/kernel/kernel.h"
#include "platform/wintypes.h"

namespace win {

// ---- DCB ---------------------------------------------------------------------------------

constexpr DWORD DTR_CONTROL_DISABLE = 0x00;
constexpr DWORD DTR_CONTROL_ENABLE = 0x01;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 0x02;
constexpr DWORD RTS_CONTROL_DISABLE = 0x00;
constexpr DWORD RTS_CONTROL_ENABLE = 0x01;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 0x02;
constexpr DWORD RTS_CONTROL_TOGGLE = 0x03;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// Flag word at offset 8, as bits (fBinary is bit 0 ... fAbortOnError bit 14).
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB keeps the platform's 28-byte layout");
static_assert(offsetof(DCB, XonLim) == 14 && offsetof(DCB, ByteSize) == 18 &&
              offsetof(DCB, EvtChar) == 25 && offsetof(DCB, wReserved1) == 26);

// The flag word of a DCB as one DWORD (offset 8), and back.
DWORD DcbFlags(const DCB& dcb);
void SetDcbFlags(DCB& dcb, DWORD flags);

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS keeps the platform's 20-byte layout");

struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};

struct COMMPROP {
  WORD wPacketLength;
  WORD wPacketVersion;
  DWORD dwServiceMask;
  DWORD dwReserved1;
  DWORD dwMaxTxQueue;
  DWORD dwMaxRxQueue;
  DWORD dwMaxBaud;
  DWORD dwProvSubType;
  DWORD dwProvCapabilities;
  DWORD dwSettableParams;
  DWORD dwSettableBaud;
  WORD wSettableData;
  WORD wSettableStopParity;
  DWORD dwCurrentTxQueue;
  DWORD dwCurrentRxQueue;
  DWORD dwProvSpec1;
  DWORD dwProvSpec2;
  WCHAR wcProvChar[1];
};

// An overlapped record. Internal holds the status while pending (STATUS_PENDING) and the
// completion code after; InternalHigh the bytes transferred. The record must stay alive until
// the operation completed or was cancelled (CancelIoEx then GetOverlappedResult(wait TRUE)).
struct OVERLAPPED {
  UINT_PTR Internal;
  UINT_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

constexpr UINT_PTR STATUS_PENDING = 0x103;

// ---- Constants -----------------------------------------------------------------------------

// CreateFileA
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// Communication events (SetCommMask, WaitCommEvent).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_RX80FULL = 0x0400;
constexpr DWORD EV_EVENT1 = 0x0800;
constexpr DWORD EV_EVENT2 = 0x1000;

// Line errors (ClearCommError).
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;

// Modem status (GetCommModemStatus).
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// PurgeComm.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// ---- Functions -----------------------------------------------------------------------------
// As on the platform: BOOL results, failure details through GetLastError.

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, DCB* dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL GetCommMask(HANDLE file, DWORD* eventMask);
BOOL SetCommMask(HANDLE file, DWORD eventMask);
BOOL GetCommProperties(HANDLE file, COMMPROP* properties);
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL TransmitCommChar(HANDLE file, char c);
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead,
              OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite, DWORD* numberOfBytesWritten,
               OVERLAPPED* overlapped);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* numberOfBytesTransferred,
                         BOOL wait);
BOOL CancelIo(HANDLE file);
BOOL CancelIoEx(HANDLE file, OVERLAPPED* overlapped);

// ---- Ours: not part of the platform's API ---------------------------------------------------

// Blocks until the device's input queue, counted as ClearCommError counts cbInQue, holds at
// least `count` bytes, or one of the `abortCount` events (at most MAXIMUM_WAIT_OBJECTS - 1) is
// signalled, or `milliseconds` pass (0 looks once; INFINITE never times out). Nothing is taken
// from the queue, so a wait that times out leaves every byte for a later read. The events are
// tested first, lowest index first, and the one that ends the wait is acquired (an auto-reset
// event is reset by it). Returns WAIT_OBJECT_0 when the bytes are there, WAIT_OBJECT_0 + 1 + i
// when event i ended it, WAIT_TIMEOUT, or WAIT_FAILED with the last error set (the device was
// closed or lost, or a bad argument). Errors are not cleared, unlike ClearCommError.
DWORD WaitCommInput(HANDLE file, DWORD count, DWORD milliseconds, DWORD abortCount,
                    const HANDLE* aborts);

// For tests: what an open device is doing at this moment, so that a test can act once another
// thread has reached its wait (a thread inside WaitCommInput, an event wait pending, a write the
// line holds back) instead of sleeping for it.
struct CommActivity {
  DWORD inputWaits = 0;     // threads inside WaitCommInput
  DWORD inputQueued = 0;    // bytes in the input queue (the line is not looked at for this)
  DWORD pendingWrites = 0;  // writes not yet completed
  BOOL eventWaitPending = FALSE;
  // How often the service thread has gone round its loop since the open, and whether it sleeps
  // now with no deadline, so that only the line or a call can wake it.
  DWORD serviceRounds = 0;
  BOOL serviceIdle = FALSE;
};
// FALSE with ERROR_INVALID_HANDLE when the handle is not an open device.
BOOL GetCommActivity(HANDLE file, CommActivity* activity);
// Looks at the device every millisecond until `reached` holds for what it is doing: TRUE; FALSE
// when `milliseconds` passed first or the handle is not an open device.
BOOL WaitCommActivity(HANDLE file, const std::function<bool(const CommActivity&)>& reached,
                      DWORD milliseconds);

}  // namespace win
