// The device's side of the line: control bytes, the block check, reply frames, and the parser
// that turns the host's byte stream into polls, command frames, NAKs and download blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavosim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSoh = 0x01;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kEnq = 0x05;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

// Download block: SOH, n, 255 - n, 160 data bytes (four 40-byte lines), sum of the data bytes.
inline constexpr std::size_t kBlockSize = 164;
inline constexpr std::size_t kBlockData = 160;

// XOR of the text bytes and ETX, starting from 0 (STX and EOT are not covered).
std::uint8_t Bcc(std::string_view text);

// STX, text, ETX, BCC.
Bytes ReplyFrame(std::string_view text);

// Whether a 164-byte block is well formed: SOH, number and complement agree, sum matches.
bool BlockIsValid(const Bytes& block);

struct HostEvent {
  enum class Kind { Poll, Command, Nak, Block };
  Kind kind = Kind::Poll;
  std::string text;   // Command: the frame text (code-page bytes, without STX/ETX)
  bool bccOk = true;  // Command: whether the BCC matched
  Bytes block;        // Block: the 164 bytes as received
};

// Byte-by-byte parser of what the host sends. Bytes outside a frame are dropped. In block mode
// an SOH starts a 164-byte block; any other byte where a block could start ends block mode and
// is parsed as usual.
class HostParser {
 public:
  // Frames longer than this are dropped as noise (no real command comes near it).
  static constexpr std::size_t kMaxText = 8192;

  void Feed(std::uint8_t b, std::vector<HostEvent>& out);
  void EnterBlockMode() { blockMode_ = true; }
  bool InBlockMode() const { return blockMode_; }
  bool InsideBlock() const { return state_ == State::InBlock; }
  // Drops a partly received frame or block (the host stopped half-way).
  void AbandonPartial();
  // Back to the start: no partial frame, no block mode.
  void Reset() {
    AbandonPartial();
    blockMode_ = false;
  }

 private:
  enum class State { Idle, AfterEot, InText, Bcc, InBlock };
  State state_ = State::Idle;
  bool blockMode_ = false;
  std::string text_;
  Bytes block_;
};

}  // namespace tavosim
