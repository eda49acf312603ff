#include "sim/device.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavosim {
namespace {

// Execution times at speed 1, in milliseconds.
constexpr int kCardInMs = 400;
constexpr int kCardOutMs = 400;
constexpr int kWriteMs = 600;
constexpr int kReadMs = 500;
constexpr int kVerifyMs = 500;
constexpr int kPrintMs = 1500;
constexpr int kPrintOutMs = 2000;
constexpr int kEraseMs = 1000;
constexpr int kFeedMs = 800;

// Height of one print text line in dots, for "PD/" continuation lines.
constexpr int kTextLineDots = 27;

constexpr const char* kVersion = "2.10-SIM";

// Data of a "TH" reply after the head's rank digit: its temperature in degrees.
constexpr const char* kHeadTemperature = "25";

// The poll replies end in two digits the device does not use.
constexpr const char* kPollTail = "00";

void AppendStatus(std::string& s, ReplyStatus status) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  const auto v = static_cast<unsigned>(status);
  s += kHexDigits[v >> 4];
  s += kHexDigits[v & 0xF];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two hexadecimal digits, or -1.
int HexPair(std::string_view s) {
  if (s.size() != 2) return -1;
  const int hi = HexValue(s[0]), lo = HexValue(s[1]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// A non-empty run of decimal digits, or -1.
int Decimal(std::string_view s) {
  if (s.empty() || s.size() > 6) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string Hex4(std::uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

bool IsRamArea(char c) {
  return c >= '1' && c <= '>';
}

}  // namespace

Device::Device(DeviceConfig config) : config_(std::move(config)) {}

std::span<const Device::CommandRow> Device::Commands() {
  // clang-format off
  static constexpr CommandRow kTable[] = {
      // code  time         flags                                 handler
      // Control of the device itself.
      {"RS", kAtOnce,     kInPowerUp | kWhileBusy,              &Device::DoRs},
      {"PA", kAtOnce,     kInPowerUp,                           &Device::DoPa},
      {"CL", kAtOnce,     kWhileBusy,                           &Device::DoCl},
      // The card.
      {"CI", kCardInMs,   kWaitsForCard | kStarAllowed,         &Device::FinishCardMove},
      {"CO", kCardOutMs,  kNeedsCard | kCardToExit,             &Device::FinishCardMove},
      {"HC", kCardOutMs,  kNeedsCard | kCardToExit,             &Device::FinishCardMove},
      {"FE", kFeedMs,     0,                                    &Device::FinishFeed},
      // Magnetic tracks.
      {"WD", kAtOnce,     0,                                    &Device::DoWd},
      {"WR", kWriteMs,    kNeedsCard,                           &Device::FinishWrite},
      {"WN", kWriteMs,    kNeedsCard,                           &Device::FinishWrite},
      {"RD", kReadMs,     kNeedsCard,                           &Device::FinishRead},
      {"VR", kVerifyMs,   kNeedsCard,                           &Device::FinishVerify},
      {"DT", kAtOnce,     0,                                    &Device::DoDt},
      {"RC", kAtOnce,     0,                                    &Device::DoRc},
      // Printing.
      {"PC", kAtOnce,     0,                                    &Device::DoPc},
      {"PD", kAtOnce,     0,                                    &Device::DoPd},
      {"PI", kAtOnce,     0,                                    &Device::DoPi},
      {"IB", kAtOnce,     0,                                    &Device::DoIb},
      {"IC", kAtOnce,     0,                                    &Device::DoIc},
      {"PR", kPrintMs,    kNeedsCard,                           &Device::FinishPrint},
      {"PP", kPrintMs,    kNeedsCard,                           &Device::FinishOverprint},
      {"PO", kPrintOutMs, kNeedsCard | kCardToExit,             &Device::FinishPrint},
      {"CE", kEraseMs,    kNeedsCard,                           &Device::FinishErase},
      {"EC", kEraseMs,    kNeedsCard,                           &Device::FinishErase},
      // Modes, information, EEPROM and service.
      {"MS", kAtOnce,     0,                                    &Device::DoMs},
      {"MR", kAtOnce,     0,                                    &Device::DoMr},
      {"VS", kAtOnce,     0,                                    &Device::DoVs},
      {"TH", kAtOnce,     0,                                    &Device::DoTh},
      {"CK", kAtOnce,     0,                                    &Device::DoCk},
      {"CT", kAtOnce,     0,                                    &Device::DoCt},
      {"ee", kAtOnce,     0,                                    &Device::DoEe},
      {"!!", kAtOnce,     0,                                    &Device::DoService},
      // Accepted, with nothing for the model to do.
      {"BI", kAtOnce,     0,                                    &Device::DoAccept},
      {"BO", kAtOnce,     0,                                    &Device::DoAccept},
      {"BP", kAtOnce,     0,                                    &Device::DoAccept},
      {"CR", kAtOnce,     0,                                    &Device::DoAccept},
      {"FP", kAtOnce,     0,                                    &Device::DoAccept},
      {"RP", kAtOnce,     0,                                    &Device::DoAccept},
      {"ST", kAtOnce,     0,                                    &Device::DoAccept},
      {"EP", kAtOnce,     0,                                    &Device::DoAccept},
      {"DC", kAtOnce,     0,                                    &Device::DoAccept},
      {"DD", kAtOnce,     0,                                    &Device::DoAccept},
      {"DP", kAtOnce,     0,                                    &Device::DoAccept},
      {"AS", kAtOnce,     0,                                    &Device::DoAccept},
      {"PU", kAtOnce,     0,                                    &Device::DoAccept},
      {"LC", kAtOnce,     0,                                    &Device::DoAccept},
      {"RE", kAtOnce,     0,                                    &Device::DoAccept},
      {"ET", kAtOnce,     0,                                    &Device::DoAccept},
      {"GJ", kAtOnce,     0,                                    &Device::DoAccept},
      {"CJ", kAtOnce,     0,                                    &Device::DoAccept},
      {"RV", kAtOnce,     0,                                    &Device::DoAccept},
      {"PW", kAtOnce,     0,                                    &Device::DoAccept},
      {"IF", kAtOnce,     0,                                    &Device::DoAccept},
      {"wr", kAtOnce,     0,                                    &Device::DoAccept},
      {"dt", kAtOnce,     0,                                    &Device::DoAccept},
  };
  // clang-format on
  return kTable;
}

const Device::CommandRow* Device::FindCommand(std::string_view code) {
  for (const CommandRow& row : Commands())
    if (row.code == code) return &row;
  return nullptr;
}

std::vector<std::string> Device::TakeNotes() {
  std::vector<std::string> out;
  out.swap(notes_);
  return out;
}

bool Device::TakeBlockModeRequest() {
  const bool r = blockModeRequest_;
  blockModeRequest_ = false;
  return r;
}

bool Device::TakeBlockModeCancel() {
  const bool r = blockModeCancel_;
  blockModeCancel_ = false;
  return r;
}

int Device::Duration(int baseMs) const {
  return static_cast<int>(std::lround(baseMs * std::max(0.0, config_.speed)));
}

std::string Device::Answer(std::string_view echo, ReplyStatus status, std::string_view data) const {
  std::string s = "A";
  s += echo;
  AppendStatus(s, status);
  s += data;
  return s;
}

int Device::TrackMask() const {
  auto it = modes_.find('C');
  if (it == modes_.end()) return 7;
  return it->second - '0';
}

std::string Device::Modes() const {
  // The track mask comes first, so the first "C" of the answer is the mode letter.
  std::string s = "C";
  s += static_cast<char>('0' + TrackMask());
  for (const auto& [letter, value] : modes_) {
    if (letter == 'C') continue;
    s += letter;
    s += value;
  }
  return s;
}

void Device::NewCard() {
  cardData_ = Card{};
}

DeviceReply Device::Command(std::string_view text, std::int64_t now) {
  Advance(now);
  std::string code(text.substr(0, 2));
  while (code.size() < 2) code += ' ';
  const CommandRow* row = FindCommand(code);
  const unsigned flags = row ? row->flags : 0;

  if (state_ == DeviceState::kPowerUp && !(flags & kInPowerUp))
    return {false, Answer(code, ReplyStatus::kPowerUpError)};
  if (job_ && !(flags & kWhileBusy)) return {false, Answer(code, ReplyStatus::kBusy)};
  // A new command drops an answer nobody polled for.
  pendingAnswer_.reset();
  if (!row) return {false, Answer(code, ReplyStatus::kCommandError)};

  const std::string_view after = text.size() > 2 ? text.substr(2) : std::string_view{};
  if (row->Timed()) {
    if (!after.empty() && !((flags & kStarAllowed) && after == "*"))
      return {false, Answer(code, ReplyStatus::kParameterError)};
    if (flags & kNeedsCard) {
      if (card_ == kNoCard) return {false, Answer(code, ReplyStatus::kNoCardError)};
      if (card_ >= kExit) return {false, Answer(code, ReplyStatus::kCardAtExit)};
    }
    Start(*row, now);
    return {true, {}};
  }

  Request r;
  r.code = row->code;
  r.text = text;
  r.params = after;
  r.colon = !after.empty() && after[0] == ':';
  if (r.colon) r.params.remove_prefix(1);
  r.now = now;
  return {false, (this->*row->handler)(r)};
}

std::string Device::DoRs(const Request& r) {
  // Restart: whatever runs is dropped, and the reader says where it stands.
  job_.reset();
  pendingAnswer_.reset();
  blockModeCancel_ = true;
  return Poll(r.now);
}

std::string Device::DoPa(const Request& r) {
  if (state_ == DeviceState::kPowerUp) state_ = DeviceState::kReady;
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoCl(const Request& r) {
  // Cancels a running command, and takes a card at the exit back in.
  job_.reset();
  pendingAnswer_.reset();
  if (card_ >= kExit) card_ = kMiddle;
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoMr(const Request& r) {
  return Answer(r.code, ReplyStatus::kOk, Modes());
}

std::string Device::DoVs(const Request& r) {
  return Answer(r.code, ReplyStatus::kOk, kVersion);
}

std::string Device::DoTh(const Request& r) {
  const int rank = eeprom_.Word(0x20) >> 8;
  const char digit = rank >= '0' && rank <= '9' ? static_cast<char>(rank) : 'F';
  return Answer(r.code, ReplyStatus::kOk, std::string(1, digit) + kHeadTemperature);
}

std::string Device::DoCk(const Request& r) {
  // Parameters count only after a colon; "CK" alone reads the clock.
  const std::string_view params = r.colon ? r.params : std::string_view{};
  if (params.empty()) return Answer(r.code, ReplyStatus::kOk, ClockText(r.now));
  // yymmdd 0 w hhmmss
  if (params.size() != 14 ||
      !std::all_of(params.begin(), params.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Answer(r.code, ReplyStatus::kParameterError);
  auto num = [&](int pos) { return (params[pos] - '0') * 10 + (params[pos + 1] - '0'); };
  std::tm tm{};
  tm.tm_year = 100 + num(0);
  tm.tm_mon = num(2) - 1;
  tm.tm_mday = num(4);
  tm.tm_hour = num(8);
  tm.tm_min = num(10);
  tm.tm_sec = num(12);
  tm.tm_isdst = -1;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 59 || params[7] > '6')
    return Answer(r.code, ReplyStatus::kParameterError);
  const std::time_t set = std::mktime(&tm);
  if (set == static_cast<std::time_t>(-1)) return Answer(r.code, ReplyStatus::kParameterError);
  clockOffsetSec_ = static_cast<std::int64_t>(set - std::time(nullptr));
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::ClockText(std::int64_t) const {
  const std::time_t t = std::time(nullptr) + clockOffsetSec_;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d0%d%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_wday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string Device::DoWd(const Request& r) {
  // "WD:n/" + data; n is track 1-3.
  const std::string_view p = r.params;
  if (!r.colon || p.size() < 2 || p[1] != '/' || p[0] < '1' || p[0] > '3')
    return Answer(r.code, ReplyStatus::kParameterError);
  writeData_[p[0] - '0'] = std::string(p.substr(2));
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoDt(const Request& r) {
  // "DT:n": the data read from track n; 4 and 5 name fields this model never reads.
  const std::string_view p = r.params;
  if (!r.colon || p.size() != 1 || p[0] < '1' || p[0] > '5')
    return Answer(r.code, ReplyStatus::kParameterError);
  const int n = p[0] - '0';
  if (n > 3 || !readValid_[n]) return Answer(r.code, ReplyStatus::kNoReadData, p);
  return Answer(r.code, ReplyStatus::kOk, std::string(p) + readData_[n]);
}

std::string Device::DoRc(const Request& r) {
  std::string codes;
  for (ReplyStatus s : results_) AppendStatus(codes, s);
  return Answer(r.code, ReplyStatus::kOk, codes);
}

std::string Device::DoMs(const Request& r) {
  // Letter-value pairs, spaces between them ignored; nothing changes unless all are good.
  const std::string_view params = r.params;
  std::map<char, char> changed = modes_;
  std::size_t i = 0;
  while (i < params.size()) {
    const char letter = params[i];
    if (letter == ' ') {
      ++i;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(letter)) || i + 1 >= params.size())
      return Answer(r.code, ReplyStatus::kParameterError);
    const char value = params[i + 1];
    if (static_cast<unsigned char>(value) <= ' ')
      return Answer(r.code, ReplyStatus::kParameterError);
    if (letter == 'C' && (value < '0' || value > '7'))
      return Answer(r.code, ReplyStatus::kParameterError);
    changed[letter] = value;
    i += 2;
  }
  modes_ = std::move(changed);
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoPc(const Request& r) {
  buffer_.Clear();
  lastText_ = PrintText{};
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoPd(const Request& r) {
  // "PD:font/x/y/text" places a text; "PD/text" puts one more line under the last one.
  PrintText t;
  std::string_view rest = r.params;
  if (r.colon) {
    int fields[3];
    for (int k = 0; k < 3; ++k) {
      const std::size_t slash = rest.find('/');
      if (slash == rest.npos) return Answer(r.code, ReplyStatus::kParameterError);
      fields[k] = Decimal(rest.substr(0, slash));
      if (fields[k] < 0) return Answer(r.code, ReplyStatus::kParameterError);
      rest.remove_prefix(slash + 1);
    }
    t.font = fields[0];
    t.x = fields[1];
    t.y = fields[2];
    t.text = std::string(rest);
  } else if (!rest.empty() && rest[0] == '/') {
    t = lastText_;
    t.y += kTextLineDots;
    t.text = std::string(rest.substr(1));
  } else {
    return Answer(r.code, ReplyStatus::kParameterError);
  }
  lastText_ = t;
  buffer_.texts.push_back(std::move(t));
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoPi(const Request& r) {
  // "PI:0/line/count/hex"
  if (!r.colon) return Answer(r.code, ReplyStatus::kParameterError);
  std::string_view params = r.params;
  std::string_view f[4];
  for (int k = 0; k < 3; ++k) {
    const std::size_t slash = params.find('/');
    if (slash == params.npos) return Answer(r.code, ReplyStatus::kParameterError);
    f[k] = params.substr(0, slash);
    params.remove_prefix(slash + 1);
  }
  f[3] = params;
  const int line = Decimal(f[1]);
  const int count = Decimal(f[2]);
  if (Decimal(f[0]) < 0 || line < 0 || line >= PrintImage::kHeight || count < 0 ||
      count > PrintImage::kStride || f[3].size() != static_cast<std::size_t>(count) * 2)
    return Answer(r.code, ReplyStatus::kParameterError);
  std::uint8_t bytes[PrintImage::kStride];
  for (int k = 0; k < count; ++k) {
    const int v = HexPair(f[3].substr(k * 2, 2));
    if (v < 0) return Answer(r.code, ReplyStatus::kParameterError);
    bytes[k] = static_cast<std::uint8_t>(v);
  }
  buffer_.SetLine(line, bytes, count);
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoIb(const Request& r) {
  blockModeRequest_ = true;
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoIc(const Request& r) {
  // "IC:0n" saves the image buffer in RAM area n, "IC:n0" loads it back.
  const std::string_view p = r.params;
  if (!r.colon || p.size() != 2) return Answer(r.code, ReplyStatus::kParameterError);
  if (p[0] == '0' && IsRamArea(p[1])) {
    ramAreas_[p[1]] = buffer_;
    return Answer(r.code, ReplyStatus::kOk);
  }
  if (p[1] == '0' && IsRamArea(p[0])) {
    auto it = ramAreas_.find(p[0]);
    if (it == ramAreas_.end()) return Answer(r.code, ReplyStatus::kNoPrintData);
    buffer_ = it->second;
    return Answer(r.code, ReplyStatus::kOk);
  }
  return Answer(r.code, ReplyStatus::kParameterError);
}

std::string Device::DoEe(const Request& r) {
  // "eer:aa/nn" reads, "eew:aa/nn/data" writes.
  const std::string_view text = r.text;
  if (text.size() > 3 && text[2] == 'r' && text[3] == ':') return EepromRead(r, text.substr(4));
  if (text.size() > 3 && text[2] == 'w' && text[3] == ':') return EepromWrite(r, text.substr(4));
  return Answer(r.code, ReplyStatus::kCommandError);
}

std::string Device::EepromRead(const Request& r, std::string_view params) {
  if (params.size() != 5 || params[2] != '/') return Answer(r.code, ReplyStatus::kParameterError);
  const int address = HexPair(params.substr(0, 2));
  const int count = HexPair(params.substr(3, 2));
  if (address < 0 || count < 1 || address + count > Eeprom::kWords)
    return Answer(r.code, ReplyStatus::kParameterError);
  std::string data;
  for (int w = address; w < address + count; ++w) data += Hex4(eeprom_.Word(w));
  return Answer(r.code, ReplyStatus::kOk, data);
}

std::string Device::EepromWrite(const Request& r, std::string_view params) {
  if (params.size() < 6 || params[2] != '/' || params[5] != '/')
    return Answer(r.code, ReplyStatus::kParameterError);
  const int address = HexPair(params.substr(0, 2));
  const int count = HexPair(params.substr(3, 2));
  const std::string_view data = params.substr(6);
  if (address < 0 || count < 1 || address + count > Eeprom::kWords ||
      data.size() != static_cast<std::size_t>(count) * 4)
    return Answer(r.code, ReplyStatus::kParameterError);
  std::vector<std::uint16_t> words;
  for (int k = 0; k < count; ++k) {
    const int hi = HexPair(data.substr(k * 4, 2));
    const int lo = HexPair(data.substr(k * 4 + 2, 2));
    if (hi < 0 || lo < 0) return Answer(r.code, ReplyStatus::kParameterError);
    words.push_back(static_cast<std::uint16_t>(hi << 8 | lo));
  }
  // Nothing is written unless the whole command is good.
  for (int k = 0; k < count; ++k) eeprom_.SetWord(address + k, words[k]);
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::DoCt(const Request& r) {
  // "CT" alone: all 16 counters; "CT:h": the one with hex code h.
  if (r.params.empty()) {
    std::string all;
    for (int code = 0; code < 16; ++code) {
      char buf[12];
      std::snprintf(buf, sizeof buf, "%08X", eeprom_.CounterValue(code));
      all += buf;
    }
    return Answer(r.code, ReplyStatus::kOk, all);
  }
  if (!r.colon || r.params.size() != 1 || HexValue(r.params[0]) < 0)
    return Answer(r.code, ReplyStatus::kParameterError);
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", eeprom_.CounterValue(HexValue(r.params[0])));
  return Answer(r.code, ReplyStatus::kOk, buf);
}

std::string Device::DoService(const Request& r) {
  // "!!" and one letter: the service sub-commands.
  const char sub = r.text.size() > 2 ? r.text[2] : '\0';
  switch (sub) {
    case 's':
      return Answer(r.code, ReplyStatus::kOk, "A2867F3D99");  // sensor voltages
    case 'l':
      return Answer(r.code, ReplyStatus::kOk, "80808080A0");  // their thresholds
    case 'e':
      eeprom_.ClearErrors();
      return Answer(r.code, ReplyStatus::kOk);
    case 'c':
      eeprom_.ClearErrorsAndPasses();
      return Answer(r.code, ReplyStatus::kOk);
    case 'w':
    case 'm':
      return Answer(r.code, ReplyStatus::kOk);
    default:
      return Answer(r.code, ReplyStatus::kCommandError);
  }
}

std::string Device::DoAccept(const Request& r) {
  return Answer(r.code, ReplyStatus::kOk);
}

void Device::Start(const CommandRow& row, std::int64_t now) {
  Job job;
  job.row = &row;
  job.start = now;
  if (row.flags & kWaitsForCard) {
    job.waitingForCard = true;
  } else {
    job.end = now + Duration(row.baseMs);
  }
  job_ = job;
}

std::string Device::Poll(std::int64_t now) {
  Advance(now);
  if (job_) {
    std::string busy = "B";
    busy += job_->row->code;
    busy += kPollTail;
    return busy;
  }
  if (pendingAnswer_) {
    std::string a = std::move(*pendingAnswer_);
    pendingAnswer_.reset();
    return a;
  }
  std::string r = "R";
  r += static_cast<char>('0' + (StateDigit() % 10));
  r += static_cast<char>('0' + (card_ % 10));
  r += kPollTail;
  return r;
}

bool Device::Block(const Bytes& block, std::int64_t now) {
  Advance(now);
  if (!BlockIsValid(block)) return false;
  const int n = block[1];
  if ((n + 1) * 4 > PrintImage::kHeight) return false;
  for (int k = 0; k < 4; ++k)
    buffer_.SetLine(n * 4 + k, block.data() + 3 + k * PrintImage::kStride, PrintImage::kStride);
  return true;
}

void Device::InsertCard(std::int64_t now) {
  Advance(now);
  if (card_ != kNoCard) return;
  NewCard();
  card_ = kFront;
  if (job_ && job_->waitingForCard) {
    card_ = kMiddle;
    job_->waitingForCard = false;
    job_->end = now + Duration(job_->row->baseMs);
  }
}

void Device::RemoveCard(std::int64_t now) {
  Advance(now);
  if (card_ == kNoCard) return;
  card_ = kNoCard;
  cardGoneAt_ = now;
}

void Device::PowerUp(std::int64_t now) {
  Advance(now);
  job_.reset();
  pendingAnswer_.reset();
  blockModeCancel_ = true;
  state_ = DeviceState::kPowerUp;
  eeprom_.Count(Eeprom::kPowerCuts);
}

void Device::CardOut(std::int64_t at) {
  card_ = kExit;
  cardOutAt_ = at;
}

std::optional<std::int64_t> Device::NextDeadline() const {
  std::optional<std::int64_t> next;
  auto consider = [&](std::int64_t t) {
    if (!next || t < *next) next = t;
  };
  if (card_ >= kExit && config_.removeMs >= 0) consider(cardOutAt_ + config_.removeMs);
  if (job_) {
    if (!job_->waitingForCard) {
      consider(job_->end);
    } else if (card_ == kNoCard && config_.insertMs >= 0) {
      consider(std::max(job_->start, cardGoneAt_) + config_.insertMs);
    }
  }
  return next;
}

void Device::Advance(std::int64_t now) {
  // Events are applied at the times they were due, in order, so a late call gives the same
  // result as a punctual one.
  for (int guard = 0; guard < 8; ++guard) {
    if (card_ >= kExit && config_.removeMs >= 0 && now >= cardOutAt_ + config_.removeMs) {
      card_ = kNoCard;
      cardGoneAt_ = cardOutAt_ + config_.removeMs;
      continue;
    }
    if (job_ && job_->waitingForCard) {
      if (card_ == kFront || card_ == kMiddle || card_ == kBack) {
        card_ = kMiddle;
        job_->waitingForCard = false;
        job_->end = std::max(job_->start, now) + Duration(job_->row->baseMs);
        continue;
      }
      const std::int64_t due = std::max(job_->start, cardGoneAt_) + config_.insertMs;
      if (card_ == kNoCard && config_.insertMs >= 0 && now >= due) {
        NewCard();
        card_ = kMiddle;
        job_->waitingForCard = false;
        job_->end = due + Duration(job_->row->baseMs);
        continue;
      }
    }
    if (job_ && !job_->waitingForCard && now >= job_->end) {
      Finish(job_->end);
      continue;
    }
    break;
  }
}

void Device::Finish(std::int64_t at) {
  const CommandRow& row = *job_->row;
  job_.reset();
  Request r;
  r.code = row.code;
  r.text = row.code;
  r.now = at;
  if (const std::optional<ReplyStatus> fault = FaultStatus()) {
    pendingAnswer_ = Answer(row.code, *fault);
  } else {
    pendingAnswer_ = (this->*row.handler)(r);
  }
  if ((row.flags & kCardToExit) && card_ != kNoCard) CardOut(at);
}

std::optional<ReplyStatus> Device::FaultStatus() {
  // A faulted reader fails what moves the card, and counts it.
  switch (state_) {
    case DeviceState::kJamError:
      eeprom_.Count(Eeprom::kJamErrors);
      return ReplyStatus::kJamError;
    case DeviceState::kMechanicalError:
      eeprom_.Count(Eeprom::kMechErrors);
      return ReplyStatus::kMechanicalError;
    case DeviceState::kHardError:
      eeprom_.Count(Eeprom::kHardErrors);
      return ReplyStatus::kHardError;
    default:
      return std::nullopt;
  }
}

std::string Device::FinishCardMove(const Request& r) {
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::FinishFeed(const Request& r) {
  // A new card from the feeder, unless one is already inside.
  if (card_ != kNoCard) return Answer(r.code, ReplyStatus::kCardInTheWay);
  NewCard();
  card_ = kMiddle;
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::FinishWrite(const Request& r) {
  eeprom_.Count(Eeprom::kPasses);
  eeprom_.Count(Eeprom::kWrites);
  return Answer(r.code, TrackPass(TrackOp::kWrite));
}

std::string Device::FinishRead(const Request& r) {
  eeprom_.Count(Eeprom::kPasses);
  eeprom_.Count(Eeprom::kReads);
  return Answer(r.code, TrackPass(TrackOp::kRead));
}

std::string Device::FinishVerify(const Request& r) {
  eeprom_.Count(Eeprom::kPasses);
  return Answer(r.code, TrackPass(TrackOp::kVerify));
}

ReplyStatus Device::TrackPass(TrackOp op) {
  // The tracks of the mode "C" mask are worked; the others report no operation.
  const int mask = TrackMask();
  int good = 0, bad = 0;
  std::optional<ReplyStatus> firstBad;
  for (int t = 1; t <= 3; ++t) {
    ReplyStatus code = ReplyStatus::kOkNoOperation;
    if (mask & (1 << (t - 1))) {
      std::string& onCard = cardData_.tracks[t];
      switch (op) {
        case TrackOp::kWrite:
          if (writeData_[t].empty()) {
            code = ReplyStatus::kNoWriteData;
          } else {
            onCard = writeData_[t];
            code = ReplyStatus::kOk;
          }
          break;
        case TrackOp::kRead:
          readValid_[t] = !onCard.empty();
          readData_[t] = onCard;
          code = onCard.empty() ? ReplyStatus::kNoReadData : ReplyStatus::kOk;
          break;
        case TrackOp::kVerify:
          code = writeData_[t].empty()     ? ReplyStatus::kNoWriteData
                 : onCard == writeData_[t] ? ReplyStatus::kOk
                                           : ReplyStatus::kVerifyError;
          break;
      }
      if (code == ReplyStatus::kOk) {
        ++good;
      } else {
        ++bad;
        if (!firstBad) firstBad = code;
        eeprom_.Count(Eeprom::kTrack1Errors + (t - 1));
      }
    }
    results_[t - 1] = code;
  }
  // The IR field reports a read when IR reading is on (mode "B1"); punching is never done.
  auto ir = modes_.find('B');
  const bool irRead = op == TrackOp::kRead && ir != modes_.end() && ir->second == '1';
  results_[3] = irRead ? ReplyStatus::kOk : ReplyStatus::kOkNoOperation;
  results_[4] = ReplyStatus::kOkNoOperation;
  if (bad == 0) return good ? ReplyStatus::kOk : ReplyStatus::kOkNoOperation;
  return good ? ReplyStatus::kOkOtherTrackError : *firstBad;
}

std::string Device::FinishPrint(const Request& r) {
  return Print(r, false);
}

std::string Device::FinishOverprint(const Request& r) {
  return Print(r, true);
}

std::string Device::Print(const Request& r, bool overlay) {
  // The image buffer goes onto the card surface: over what is there, or in its place.
  eeprom_.Count(Eeprom::kPasses);
  if (state_ == DeviceState::kHeadTooHot) return Answer(r.code, ReplyStatus::kHeadTooHot);
  eeprom_.Count(Eeprom::kPrints);
  if (overlay) {
    cardData_.surface.Overlay(buffer_);
  } else {
    cardData_.surface = buffer_;
  }
  if (!config_.printDir.empty()) {
    const std::string base = WritePrintFiles(config_.printDir, ++printCount_, cardData_.surface);
    notes_.push_back(base.empty() ? "print: cannot write to " + config_.printDir
                                  : "print " + base + ".png");
  }
  return Answer(r.code, ReplyStatus::kOk);
}

std::string Device::FinishErase(const Request& r) {
  eeprom_.Count(Eeprom::kPasses);
  cardData_.surface.Clear();
  return Answer(r.code, ReplyStatus::kOk);
}

}  // namespace tavosim
