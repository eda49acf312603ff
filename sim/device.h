// The card reader/writer/printer itself: power-up state, the card and its position, magnetic
// tracks, modes, the print image, the EEPROM with its counters, and the commands that act on
// them. Time is passed in by the caller (milliseconds on any steady clock), so the model runs
// the same under a test's virtual clock as under the real one.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/eeprom.h"
#include "sim/frame.h"
#include "sim/print_image.h"

namespace tavosim {

struct DeviceConfig {
  double speed = 1.0;    // scale of the execution times; 0 finishes at once
  int insertMs = 500;    // a waiting "CI" gets a card after this long; negative: only `insert`
  int removeMs = 1000;   // a card at the exit is taken after this long; negative: only `remove`
  std::string printDir;  // where prints go as PNG + text; empty: nowhere
};

// What the device sends for a command: ACK alone, or a reply frame with this text.
struct DeviceReply {
  bool ack = false;
  std::string text;
};

class Device {
 public:
  // Card positions of the poll reply.
  static constexpr int kNoCard = 0, kFront = 1, kMiddle = 2, kBack = 3, kExit = 4;

  explicit Device(DeviceConfig config = {});

  // A command frame whose BCC was good.
  DeviceReply Command(std::string_view text, std::int64_t now);
  // A poll: "B" while a command executes, its "A" answer once it has finished, else "R".
  std::string Poll(std::int64_t now);
  // A download block in block mode; true when it was taken (ACK), false for NAK.
  bool Block(const Bytes& block, std::int64_t now);
  // Set by "IB"; the line layer switches its parser to blocks and clears it.
  bool TakeBlockModeRequest();
  // Set by "RS" and power-up: a block transfer in progress is over.
  bool TakeBlockModeCancel();

  // Lets time pass: card insertion and removal, command completion.
  void Advance(std::int64_t now);
  // When Advance next has something to do.
  std::optional<std::int64_t> NextDeadline() const;

  // Operator actions (control input).
  void InsertCard(std::int64_t now);
  void RemoveCard(std::int64_t now);
  void PowerUp(std::int64_t now);
  void SetStateDigit(int digit) { state_ = digit; }

  int StateDigit() const { return state_; }
  int CardPosition() const { return card_; }
  bool Executing() const { return job_.has_value(); }
  Eeprom& eeprom() { return eeprom_; }
  const PrintImage& Buffer() const { return buffer_; }
  const PrintImage& CardSurface() const { return cardData_.surface; }
  // Lines for the operator (prints written, failures), taken by the caller.
  std::vector<std::string> TakeNotes();

 private:
  struct Job {
    std::string command;  // the first two characters
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool waitingForCard = false;
  };
  struct Card {
    std::array<std::string, 4> tracks;  // 1-3 used
    PrintImage surface;
  };

  std::string Immediate(const std::string& cmd, std::string_view text, std::int64_t now);
  std::string Answer(const std::string& echo, std::string_view status,
                     std::string_view data = {}) const;
  int Duration(int baseMs) const;
  void Start(const std::string& cmd, std::int64_t now);
  void Finish(std::int64_t at);
  std::string FinishStatus(const std::string& cmd);
  void CardOut(std::int64_t at);
  void NewCard();
  int TrackMask() const;
  std::string Modes() const;

  std::string DoMs(std::string_view params);
  std::string DoPd(std::string_view rest, bool continued);
  std::string DoPi(std::string_view params);
  std::string DoIc(std::string_view params);
  std::string DoEer(std::string_view params);
  std::string DoEew(std::string_view params);
  std::string DoClock(std::string_view params, std::int64_t now);
  std::string ClockText(std::int64_t now) const;

  DeviceConfig config_;
  int state_ = 2;  // power-up until "PA"
  int card_ = kNoCard;
  std::int64_t cardOutAt_ = 0;   // when the card reached the exit
  std::int64_t cardGoneAt_ = 0;  // when the last card was taken
  std::optional<Job> job_;
  std::optional<std::string> pendingAnswer_;
  bool blockModeRequest_ = false;
  bool blockModeCancel_ = false;

  std::array<std::string, 4> writeData_;
  std::array<std::string, 4> readData_;
  std::array<bool, 4> readValid_{};
  std::string results_ = "9292929292";  // tracks 1-3, IR, punch
  std::map<char, char> modes_;
  Card cardData_;

  PrintImage buffer_;
  std::map<char, PrintImage> ramAreas_;
  int printCount_ = 0;
  PrintText lastText_;

  Eeprom eeprom_;
  std::int64_t clockOffsetSec_ = 0;
  std::vector<std::string> notes_;
};

}  // namespace tavosim
