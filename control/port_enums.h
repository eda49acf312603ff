// The seven enumerations of the Port control's type library, with their values and help
// strings. The values are the wire contract with hosts (event arguments, property values); the
// tables let the type description and tools list them by name.
#pragma once

#include <cstdint>
#include <span>

namespace ravlin {

enum CommErrorIdEnum : std::int32_t {
  perFrame = 1024,
  perOverrun = 1025,
  perInputBufferOverflow = 1026,
  perParity = 1027,
  perOutputBufferFull = 1028,
  perIncorrectEventMask = 1029,
};

enum CommIOStateIdEnum : std::int32_t {
  pioeInputThreshold = 512,
  pioeInputTimeout = 513,
  pioeInputBTimeout = 514,
  pioeInputWrapped = 515,
  pioeOutputThreshold = 528,
  pioeOutputTimeout = 529,
  pioeOutputBTimeout = 530,
  pioeOutputWrapped = 531,
};

enum CommStateIdEnum : std::int32_t {
  peCts = 1,
  peDsr = 2,
  peCd = 3,
  peRing = 4,
  peBreak = 5,
  peInputByte = 16,
  peEventByte = 17,
  peInputBuffer80Full = 18,
  peOutputBufferEmpty = 19,
  peDriverEvent1 = 253,
  peDriverEvent2 = 254,
  peEventMaskChanged = 255,
};

enum HandshakingEnum : std::int32_t {
  hsNone = 0,
  hsXonXoff = 1,
  hsRtsCts = 2,
  hsBoth = 3,
  hsDtrDsr = 4,
};

enum ParityEnum : std::int32_t {
  parNone = 0,
  parOdd = 1,
  parEven = 2,
  parMark = 3,
  parSpace = 4,
};

enum IOModeEnum : std::int32_t {
  iomAutoInput = 0,
  iomBlocking = 1,
  iomNonBlocking = 2,
};

enum EventMaskIdEnum : std::int32_t {
  WIN_EV_RXCHAR = 1,
  WIN_EV_RXFLAG = 2,
  WIN_EV_TXEMPTY = 4,
  WIN_EV_CTS = 8,
  WIN_EV_DSR = 16,
  WIN_EV_RLSD = 32,
  WIN_EV_BREAK = 64,
  WIN_EV_ERR = 128,
  WIN_EV_RING = 256,
  WIN_EV_RX80FULL = 1024,
  WIN_EV_EVENT1 = 2048,
  WIN_EV_EVENT2 = 4096,
};

struct enum_constant {
  const char* name;
  std::int32_t value;
  const char* help;  // UTF-8
};

struct enum_description {
  const char* name;
  const char* help;  // UTF-8
  std::span<const enum_constant> constants;
};

// The seven enumerations in type-library order.
std::span<const enum_description> portEnumerations();

}  // namespace ravlin
