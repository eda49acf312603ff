// tavosim core: the card reader/writer/printer as the host sees it on the line.
//
// How it works: bytes from the host go through HostParser (frame.h), which finds polls, command
// frames, NAKs and, after "IB", download blocks. The Simulator answers each one: a command
// frame with a bad BCC gets NAK; a good one goes to the Device model (device.h), whose answer
// (ACK, or a reply frame) is sent back; a NAK from the host gets the last transmission again.
// Faults (fault.h) are drawn per transmission from a seeded generator. Nothing here touches a
// file descriptor or a clock: the caller hands in bytes and the time in milliseconds and gets
// back the bytes to send, so tests drive it directly and main.cpp only moves bytes and paces
// them on the pseudo-terminal.
//
// Offers:
//   Simulator        the line protocol over a Device, with faults and the operator's control words
//   Device           power-up state, card, tracks, modes, print image, EEPROM, clock (device.h)
//   HostParser, Bcc, ReplyFrame, BlockIsValid   the frames (frame.h)
//   Eeprom           128 words, counters, factory image, file (eeprom.h)
//   PrintImage, WritePrintFiles   the 320 x 460 image and its PNG/text output (print_image.h)
//   EncodePng1Bit, Crc32, Adler32 (png.h);  FaultRates, ParseFaultSpec, FaultInjector (fault.h)
//   Options, ParseOptions         the command line (options.h)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/device.h"
#include "sim/fault.h"
#include "sim/frame.h"

namespace tavosim {

class Simulator {
 public:
  // A partly received frame or block left this long is dropped.
  static constexpr std::int64_t kPartialTimeoutMs = 2000;

  Simulator(const DeviceConfig& config, std::uint32_t seed) : device_(config), faults_(seed) {}

  // Bytes from the host; returns what the device sends back, in order.
  Bytes OnInput(const std::uint8_t* data, std::size_t size, std::int64_t now);
  void Advance(std::int64_t now) { device_.Advance(now); }
  std::optional<std::int64_t> NextDeadline() const { return device_.NextDeadline(); }

  // One line of the control input: insert, remove, power, state DIGIT, fault SPEC, quit.
  // Returns false with a reason for a word it does not know; *quit is set by "quit".
  bool Control(std::string_view line, std::int64_t now, bool* quit, std::string* error);

  Device& device() { return device_; }
  FaultInjector& faults() { return faults_; }

 private:
  // Sends one transmission (ACK, NAK or a frame), with the faults that apply to it.
  void Transmit(const Bytes& clean, bool isFrame, Bytes& out);

  HostParser parser_;
  Device device_;
  FaultInjector faults_;
  Bytes last_;
  std::int64_t lastInputAt_ = 0;
};

}  // namespace tavosim
