#include "serial/engine_config.h"

#include <cstring>

namespace serial {

namespace {

// Flag-word bits of the handshaking group.
constexpr DWORD kOutxCtsFlow = 0x0004;
constexpr DWORD kOutxDsrFlow = 0x0008;
constexpr DWORD kDtrEnable = 0x0010;
constexpr DWORD kDtrHandshake = 0x0020;
constexpr DWORD kOutX = 0x0100;
constexpr DWORD kInX = 0x0200;
constexpr DWORD kRtsEnable = 0x1000;
constexpr DWORD kRtsHandshake = 0x2000;

constexpr DWORD kHandshakingBits[] = {
    kDtrEnable | kRtsEnable,                                   // hsNone 0x1010
    kDtrEnable | kOutX | kInX | kRtsEnable,                    // hsXonXoff 0x1310
    kOutxCtsFlow | kDtrEnable | kRtsHandshake,                 // hsRtsCts 0x2014
    kOutxCtsFlow | kDtrEnable | kOutX | kInX | kRtsHandshake,  // hsBoth 0x2314
    kOutxDsrFlow | kDtrHandshake | kRtsEnable,                 // hsDtrDsr 0x1028
};

}  // namespace

engineConfig DefaultEngineConfig() {
  engineConfig c;
  std::memset(&c, 0, sizeof c);
  c.auto_input = 1;
  c.event_mask = kDefaultEventMask;
  c.on_threshold = 25;
  c.off_threshold = 75;
  c.input_buffer_size = 4096;
  c.output_buffer_size = 4096;
  c.dcb.BaudRate = 9600;
  c.dcb.ByteSize = 8;
  c.dcb.Parity = win::NOPARITY;
  c.dcb.StopBits = win::ONESTOPBIT;
  c.dcb.XonChar = 0x11;
  c.dcb.XoffChar = 0x13;
  c.dcb.fBinary = 1;
  encode_handshaking(c.dcb, hsBoth);
  c.dcb.XonLim = xon_limit(c.input_buffer_size, c.on_threshold);
  c.dcb.XoffLim = xoff_limit(c.input_buffer_size, c.off_threshold);
  c.timeouts.ReadTotalTimeoutConstant = 2000;
  c.timeouts.WriteTotalTimeoutConstant = 2000;
  return c;
}

engineConfig NewControlConfig() {
  engineConfig c = DefaultEngineConfig();
  c.dtr = 1;
  c.rts = 1;
  return c;
}

bool encode_handshaking(win::DCB& dcb, LONG value) {
  if (value < hsNone || value > hsDtrDsr) return false;
  DWORD flags = win::DcbFlags(dcb);
  flags = (flags & ~kHandshakingMask) | kHandshakingBits[value];
  win::SetDcbFlags(dcb, flags);
  return true;
}

LONG peek_handshaking(const win::DCB& dcb) {
  const bool xonxoff = dcb.fInX || dcb.fOutX;
  if (dcb.fRtsControl == win::RTS_CONTROL_HANDSHAKE && xonxoff) return hsBoth;
  if (dcb.fDtrControl == win::DTR_CONTROL_HANDSHAKE && xonxoff) return hsBoth;
  if (dcb.fRtsControl == win::RTS_CONTROL_HANDSHAKE) return hsRtsCts;
  if (dcb.fDtrControl == win::DTR_CONTROL_HANDSHAKE) return hsDtrDsr;
  if (xonxoff) return hsXonXoff;
  return hsNone;
}

LONG decode_handshaking(win::DCB& dcb) {
  const LONG value = peek_handshaking(dcb);
  encode_handshaking(dcb, value);
  return value;
}

win::WORD xon_limit(DWORD inputBufferSize, DWORD onThreshold) {
  return static_cast<win::WORD>(static_cast<std::uint64_t>(inputBufferSize) * onThreshold / 100);
}

win::WORD xoff_limit(DWORD inputBufferSize, DWORD offThreshold) {
  return static_cast<win::WORD>(static_cast<std::uint64_t>(100 - offThreshold) * inputBufferSize /
                                100);
}

void set_io_mode_flags(engineConfig& config, LONG mode) {
  const BYTE flags[3][3] = {{1, 1, 1}, {0, 0, 0}, {0, 1, 1}};
  config.auto_input = flags[mode][0];
  config.nonblocking_input = flags[mode][1];
  config.nonblocking_output = flags[mode][2];
}

LONG io_mode_of(const engineConfig& config) {
  if (config.auto_input == 1) return iomAutoInput;
  if (config.nonblocking_input == 0 && config.nonblocking_output == 0) return iomBlocking;
  if (config.nonblocking_input == 1 && config.nonblocking_output == 1) return iomNonBlocking;
  return -1;
}

int stop_bits_code(float value) {
  if (value == 1.0f) return win::ONESTOPBIT;
  if (value == 1.5f) return win::ONE5STOPBITS;
  if (value == 2.0f) return win::TWOSTOPBITS;
  return -1;
}

float stop_bits_value(BYTE code) {
  switch (code) {
    case win::ONESTOPBIT:
      return 1.0f;
    case win::ONE5STOPBITS:
      return 1.5f;
    case win::TWOSTOPBITS:
      return 2.0f;
    default:
      return 0.0f;
  }
}

bool data_stop_compatible(int dataBits, int stopCode) {
  if (dataBits == 5 && stopCode == win::TWOSTOPBITS) return false;
  if (dataBits >= 6 && dataBits <= 8 && stopCode == win::ONE5STOPBITS) return false;
  return true;
}

}  // namespace serial
