// engineConfig: the engine's 76-byte configuration block and the rules that live in it.
//
// The block is persisted whole by the control, so its layout is a file format (little-endian,
// natural alignment, offsets asserted below). The properties of the Port control that live in
// the block are stored as members of the platform's DCB and COMMTIMEOUTS, as three I/O-mode
// flags and as a few fields of our own; this file holds the encodings between the property
// values and the block (handshaking groups, stop-bit codes, I/O-mode flags, flow-control limits).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/comm/comm.h"

namespace serial {

using win::BYTE;
using win::DWORD;
using win::LONG;

struct engineConfig {
  BYTE auto_input;             // 0: automatic-input flag (1 = on)
  BYTE nonblocking_input;      // 1
  BYTE nonblocking_output;     // 2
  BYTE break_state;            // 3: break last set (1 = on)
  BYTE dtr;                    // 4: DTR wanted (1 = raised)
  BYTE rts;                    // 5: RTS wanted (1 = raised)
  BYTE padding[2];             // 6: always 0
  DWORD event_mask;            // 8: EventMaskIdEnum bits for SetCommMask
  DWORD on_threshold;          // 12: percent of the input buffer size
  DWORD off_threshold;         // 16: percent of the input buffer size
  DWORD input_buffer_size;     // 20: SetupComm input queue
  DWORD output_buffer_size;    // 24: SetupComm output queue
  win::DCB dcb;                // 28
  win::COMMTIMEOUTS timeouts;  // 56
};
static_assert(sizeof(engineConfig) == 76, "engineConfig is a 76-byte file format");
static_assert(offsetof(engineConfig, padding) == 6 && offsetof(engineConfig, event_mask) == 8 &&
              offsetof(engineConfig, on_threshold) == 12 &&
              offsetof(engineConfig, off_threshold) == 16 &&
              offsetof(engineConfig, input_buffer_size) == 20 &&
              offsetof(engineConfig, output_buffer_size) == 24 &&
              offsetof(engineConfig, dcb) == 28 && offsetof(engineConfig, timeouts) == 56);

// HandshakingEnum, ParityEnum, IOModeEnum values.
enum : LONG { hsNone = 0, hsXonXoff = 1, hsRtsCts = 2, hsBoth = 3, hsDtrDsr = 4 };
enum : LONG { iomAutoInput = 0, iomBlocking = 1, iomNonBlocking = 2 };

// EventMaskIdEnum bit of the error poll.
constexpr DWORD WIN_EV_ERR = 0x80;
constexpr DWORD kDefaultEventMask = 0x178;
constexpr DWORD kHandshakingMask = 0x333C;  // fOutxCtsFlow..fRtsControl in the DCB flag word

// The engine defaults (DTR and RTS 0: the device's view; a new control then raises both).
engineConfig DefaultEngineConfig();
// The current block of a new control: the defaults with DTR and RTS raised.
engineConfig NewControlConfig();

// Handshaking group of a DCB. encode refuses values outside 0..4 (returns false, DCB untouched).
bool encode_handshaking(win::DCB& dcb, LONG value);
// Decodes the group and rewrites it in canonical form.
LONG decode_handshaking(win::DCB& dcb);
// Decodes without touching the DCB.
LONG peek_handshaking(const win::DCB& dcb);

// Flow-control limits (16-bit, truncating).
win::WORD xon_limit(DWORD inputBufferSize, DWORD onThreshold);
win::WORD xoff_limit(DWORD inputBufferSize, DWORD offThreshold);

// IOMode <-> the three flags. io_mode_of returns -1 for a combination that is no mode.
void set_io_mode_flags(engineConfig& config, LONG mode);
LONG io_mode_of(const engineConfig& config);
// Where input and output go through the request queues.
inline bool input_queued(const engineConfig& c) {
  return c.nonblocking_input || c.auto_input;
}
inline bool output_queued(const engineConfig& c) {
  return c.nonblocking_output || c.auto_input;
}

// StopBits property <-> DCB code. stop_bits_code returns -1 for anything but 1, 1.5, 2.
int stop_bits_code(float value);
float stop_bits_value(BYTE code);  // 0.0f for an unknown code
// Data bits / stop-bit code compatibility (5 with 2, or 6..8 with 1.5, clash).
bool data_stop_compatible(int dataBits, int stopCode);

}  // namespace serial
