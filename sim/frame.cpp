#include "sim/frame.h"

namespace tavosim {

std::uint8_t Bcc(std::string_view text) {
  std::uint8_t bcc = 0;
  for (char c : text) bcc ^= static_cast<std::uint8_t>(c);
  return bcc ^ kEtx;
}

Bytes ReplyFrame(std::string_view text) {
  Bytes frame;
  frame.reserve(text.size() + 3);
  frame.push_back(kStx);
  frame.insert(frame.end(), text.begin(), text.end());
  frame.push_back(kEtx);
  frame.push_back(Bcc(text));
  return frame;
}

bool BlockIsValid(const Bytes& block) {
  if (block.size() != kBlockSize || block[0] != kSoh) return false;
  if (static_cast<std::uint8_t>(block[1] + block[2]) != 0xFF) return false;
  std::uint8_t sum = 0;
  for (std::size_t i = 3; i < 3 + kBlockData; ++i) sum += block[i];
  return sum == block[kBlockSize - 1];
}

void HostParser::AbandonPartial() {
  if (state_ != State::Idle) {
    state_ = State::Idle;
    text_.clear();
    block_.clear();
  }
}

void HostParser::Feed(std::uint8_t b, std::vector<HostEvent>& out) {
  switch (state_) {
    case State::InBlock:
      block_.push_back(b);
      if (block_.size() == kBlockSize) {
        HostEvent ev;
        ev.kind = HostEvent::Kind::Block;
        ev.block = std::move(block_);
        block_.clear();
        state_ = State::Idle;
        out.push_back(std::move(ev));
      }
      return;
    case State::Idle:
      if (blockMode_) {
        if (b == kSoh) {
          block_.assign(1, b);
          state_ = State::InBlock;
          return;
        }
        blockMode_ = false;
      }
      if (b == kEot) {
        state_ = State::AfterEot;
      } else if (b == kNak) {
        out.push_back(HostEvent{HostEvent::Kind::Nak, {}, true, {}});
      }
      return;
    case State::AfterEot:
      if (b == kEnq) {
        state_ = State::Idle;
        out.push_back(HostEvent{HostEvent::Kind::Poll, {}, true, {}});
      } else if (b == kStx) {
        text_.clear();
        state_ = State::InText;
      } else if (b != kEot) {
        state_ = State::Idle;
      }
      return;
    case State::InText:
      if (b == kEtx) {
        state_ = State::Bcc;
      } else if (b == kEot) {
        // The host gave up on this frame and starts another.
        text_.clear();
        state_ = State::AfterEot;
      } else if (text_.size() >= kMaxText) {
        text_.clear();
        state_ = State::Idle;
      } else {
        text_.push_back(static_cast<char>(b));
      }
      return;
    case State::Bcc: {
      HostEvent ev;
      ev.kind = HostEvent::Kind::Command;
      ev.bccOk = Bcc(text_) == b;
      ev.text = std::move(text_);
      text_.clear();
      state_ = State::Idle;
      out.push_back(std::move(ev));
      return;
    }
  }
}

}  // namespace tavosim
