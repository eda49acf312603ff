// The bytes of the device link: the control bytes, the block check character and the frames the
// host sends. A command frame is EOT STX text ETX BCC, where the BCC is the exclusive OR of the
// text bytes and ETX (STX and EOT not included); a poll is EOT ENQ; a repeat request is NAK alone.
// The device answers ACK, NAK, or STX text ETX BCC with the same check.
//
// Offers: the control byte constants, blockCheck, commandFrame, pollFrame.
#pragma once

#include <QByteArray>

namespace tavo {

inline constexpr char kSTX = 0x02;
inline constexpr char kETX = 0x03;
inline constexpr char kEOT = 0x04;
inline constexpr char kENQ = 0x05;
inline constexpr char kACK = 0x06;
inline constexpr char kNAK = 0x15;

// Exclusive OR of every byte, starting from 0.
inline char blockCheck(const QByteArray& bytes) {
  char bcc = 0;
  for (char b : bytes) bcc = static_cast<char>(bcc ^ b);
  return bcc;
}

// EOT, STX, txFrame (the text with its ETX), BCC over txFrame.
inline QByteArray commandFrame(const QByteArray& txFrame) {
  QByteArray frame;
  frame.reserve(txFrame.size() + 3);
  frame.append(kEOT).append(kSTX).append(txFrame).append(blockCheck(txFrame));
  return frame;
}

inline QByteArray pollFrame() {
  return QByteArray("\x04\x05", 2);
}

}  // namespace tavo
