// PortStateStream: the Port control's settings as one little-endian byte stream, the form a
// host stores with its form and hands back when the form is loaded.
//
// Layout, in order: PortNumber (int32); the engine's 76-byte configuration block, raw; L, the
// byte length of the modem-link name with its terminating NUL (0 = no name); the name in
// UTF-16LE with its NUL; the portFree and AllowConnection bytes; PortLastError, InputThreshold
// and OutputThreshold (int32 each); the property-map block: version 0x0300 and the control's
// extent, width and height in HIMETRIC (uint32 each).
//
// Reading is a sequence of fields; a stream that ends early stops the read at the field it ends
// in, and the fields read before it are reported as read so that the control can keep them
// (an older host's truncated stream still gives back what it holds). A field is never applied
// half-read. The reader takes nothing on trust: a name length that is odd, above 64 KiB or whose
// name lacks its NUL is refused before anything is allocated for it.
//
// Offers: port_state (the persisted values), port_state_field (their order), WritePortState,
// ReadPortState, kPortStateVersion.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/stream.h"
#include "serial/engine_config.h"

namespace ravlin {

inline constexpr std::uint32_t kPortStateVersion = 0x0300;
// The longest modem-link name a stream may carry, in bytes with its NUL.
inline constexpr std::uint32_t kMaxModemNameBytes = 64 * 1024;

struct port_state {
  win::LONG portNumber = 1;
  serial::engineConfig config{};
  std::u16string modemName;  // empty: no modem link (written as L = 0)
  std::uint8_t portFree = 1;
  std::uint8_t allowConnection = 1;
  win::LONG portLastError = 0;
  win::LONG inputThreshold = 20000;
  win::LONG outputThreshold = 20000;
  std::uint32_t version = kPortStateVersion;
  std::uint32_t extentWidth = 0;
  std::uint32_t extentHeight = 0;
};

// The fields in stream order; ReadPortState says how many of them it read whole.
enum port_state_field : int {
  kFieldPortNumber,
  kFieldConfig,
  kFieldModemName,
  kFieldPortFree,
  kFieldAllowConnection,
  kFieldPortLastError,
  kFieldInputThreshold,
  kFieldOutputThreshold,
  kFieldVersion,
  kFieldExtentWidth,
  kFieldExtentHeight,
  kFieldCount
};

// Writes every field in order. The name is written only when its length was. The result is the
// first failure of a write, or S_OK; what was written before a failure stays in the stream.
win::HRESULT WritePortState(win::IStream* stream, const port_state& state);

// Reads the fields in order into *state and sets *fieldsRead to how many were read whole
// (fields after that keep what *state held). E_FAIL when PortNumber is missing or below 1
// (nothing read then), when the stream ends inside a later field, when the name's length or
// terminator is refused, or when the version is above kPortStateVersion (the fields before the
// version are read then); S_OK when all were read. E_POINTER for null arguments.
win::HRESULT ReadPortState(win::IStream* stream, port_state* state, int* fieldsRead);

}  // namespace ravlin
