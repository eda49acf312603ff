// The card reader/writer/printer itself: power-up state, the card and its position, magnetic
// tracks, modes, the print image, the EEPROM with its counters, and the commands that act on
// them. Time is passed in by the caller (milliseconds on any steady clock), so the model runs
// the same under a test's virtual clock as under the real one.
//
// Commands are rows of one table (Device::Commands): the two-letter code, the execution time of
// a timed command, where the command is accepted (before "PA", while another executes), what it
// needs, and its handler. A frame's code is looked up once; an immediate command's handler
// makes the reply, a timed one is acknowledged and its handler makes the answer when the time
// has passed. Replies carry a ReplyStatus as two hex digits; the poll reply carries the
// DeviceState digit.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
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

// The two hexadecimal digits after the echoed code of an "A" reply.
enum class ReplyStatus : std::uint8_t {
  kPowerUpError = 0x10,       // refused before "PA"
  kCommandError = 0x11,       // unknown command or sub-command
  kBusy = 0x12,               // another command is still executing
  kParameterError = 0x14,     // parameters missing, malformed or out of range
  kCardInTheWay = 0x20,       // a card is already inside
  kCardAtExit = 0x21,         // the card waits at the exit to be taken
  kNoCardError = 0x25,        // the command needs a card and there is none
  kJamError = 0x30,           // card jam
  kMechanicalError = 0x32,    // head mechanism
  kHardError = 0x35,          // hardware (A/D)
  kVerifyError = 0x45,        // the track differs from the write data
  kNoReadData = 0x46,         // the track is empty
  kNoWriteData = 0x47,        // no "WD" data for the track
  kNoPrintData = 0x50,        // nothing saved in that RAM area
  kHeadTooHot = 0x51,         // print refused: thermal head too hot
  kOk = 0x90,                 // done
  kOkNoOperation = 0x92,      // done, nothing to do (track or field not used)
  kOkOtherTrackError = 0x96,  // done, but another track failed
};

// The state digit of the poll reply. The operator may set any digit 0-9; these are the ones the
// device acts on, the others behave as ready.
enum class DeviceState : int {
  kReady = 0,
  kPowerUp = 2,          // after power-up: everything but "PA" and "RS" is refused
  kHeadTooHot = 3,       // prints fail
  kJamError = 4,         // timed commands fail, counted as jams
  kMechanicalError = 5,  // timed commands fail, counted as mechanical errors
  kHardError = 6,        // timed commands fail, counted as hardware errors
};

// What the device sends for a command: ACK alone, or a reply frame with this text.
struct DeviceReply {
  bool ack = false;
  std::string text;
};

class Device {
 private:
  struct Request;
  using Handler = std::string (Device::*)(const Request&);

 public:
  // Command table flags: where a command is accepted beyond the ready state, and what a timed
  // one needs and does with the card.
  enum CommandFlag : unsigned {
    kInPowerUp = 1 << 0,     // accepted before "PA" (others: power-up error)
    kWhileBusy = 1 << 1,     // accepted while a timed command executes (others: busy)
    kNeedsCard = 1 << 2,     // refused with no card inside or with the card at the exit
    kStarAllowed = 1 << 3,   // "XX*" is taken; a timed command takes no parameters otherwise
    kWaitsForCard = 1 << 4,  // the time starts when a card has arrived
    kCardToExit = 1 << 5,    // a card inside when it ends is left at the exit
  };
  // Execution time of a command answered at once.
  static constexpr int kAtOnce = -1;

  struct CommandRow {
    std::string_view code;  // the first two characters of the frame
    int baseMs;             // execution time at speed 1 of a timed command; kAtOnce
    unsigned flags;         // CommandFlag bits
    Handler handler;        // at once: makes the reply; timed: makes the answer at the end
    bool Timed() const { return baseMs != kAtOnce; }
  };
  // Every command the device knows, one row each.
  static std::span<const CommandRow> Commands();
  // The row for a code, or nullptr for an unknown one.
  static const CommandRow* FindCommand(std::string_view code);

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
  void SetStateDigit(int digit) { state_ = static_cast<DeviceState>(digit); }

  int StateDigit() const { return static_cast<int>(state_); }
  int CardPosition() const { return card_; }
  bool Executing() const { return job_.has_value(); }
  Eeprom& eeprom() { return eeprom_; }
  const PrintImage& Buffer() const { return buffer_; }
  const PrintImage& CardSurface() const { return cardData_.surface; }
  // Lines for the operator (prints written, failures), taken by the caller.
  std::vector<std::string> TakeNotes();

 private:
  // What a handler is given.
  struct Request {
    std::string_view code;    // the first two characters, padded with spaces
    std::string_view text;    // the whole frame text
    std::string_view params;  // after "XX:", or after "XX" when there is no colon
    bool colon = false;       // the parameters came after a colon
    std::int64_t now = 0;
  };
  struct Job {
    const CommandRow* row = nullptr;
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool waitingForCard = false;
  };
  struct Card {
    std::array<std::string, 4> tracks;  // 1-3 used
    PrintImage surface;
  };
  enum class TrackOp { kWrite, kRead, kVerify };

  std::string Answer(std::string_view echo, ReplyStatus status, std::string_view data = {}) const;
  int Duration(int baseMs) const;
  void Start(const CommandRow& row, std::int64_t now);
  void Finish(std::int64_t at);
  std::optional<ReplyStatus> FaultStatus();
  void CardOut(std::int64_t at);
  void NewCard();
  int TrackMask() const;
  std::string Modes() const;
  std::string ClockText(std::int64_t now) const;
  ReplyStatus TrackPass(TrackOp op);
  std::string Print(const Request& r, bool overlay);

  // Commands answered at once.
  std::string DoRs(const Request& r);
  std::string DoPa(const Request& r);
  std::string DoCl(const Request& r);
  std::string DoMs(const Request& r);
  std::string DoMr(const Request& r);
  std::string DoVs(const Request& r);
  std::string DoTh(const Request& r);
  std::string DoCk(const Request& r);
  std::string DoWd(const Request& r);
  std::string DoDt(const Request& r);
  std::string DoRc(const Request& r);
  std::string DoPc(const Request& r);
  std::string DoPd(const Request& r);
  std::string DoPi(const Request& r);
  std::string DoIb(const Request& r);
  std::string DoIc(const Request& r);
  std::string DoEe(const Request& r);
  std::string DoCt(const Request& r);
  std::string DoService(const Request& r);
  std::string DoAccept(const Request& r);
  std::string EepromRead(const Request& r, std::string_view params);
  std::string EepromWrite(const Request& r, std::string_view params);

  // Timed commands, when their time has passed.
  std::string FinishCardMove(const Request& r);
  std::string FinishFeed(const Request& r);
  std::string FinishWrite(const Request& r);
  std::string FinishRead(const Request& r);
  std::string FinishVerify(const Request& r);
  std::string FinishPrint(const Request& r);
  std::string FinishOverprint(const Request& r);
  std::string FinishErase(const Request& r);

  DeviceConfig config_;
  DeviceState state_ = DeviceState::kPowerUp;  // until "PA"
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
  // Of the last track pass: tracks 1-3, IR, punch.
  std::array<ReplyStatus, 5> results_{ReplyStatus::kOkNoOperation, ReplyStatus::kOkNoOperation,
                                      ReplyStatus::kOkNoOperation, ReplyStatus::kOkNoOperation,
                                      ReplyStatus::kOkNoOperation};
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
