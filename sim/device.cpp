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

bool IsTimed(const std::string& c) {
  static const char* const kTimed[] = {"CI", "CO", "HC", "WR", "WN", "RD", "VR",
                                       "PR", "PP", "PO", "CE", "EC", "FE"};
  return std::any_of(std::begin(kTimed), std::end(kTimed), [&](const char* t) { return c == t; });
}

bool NeedsCard(const std::string& c) {
  return c != "CI" && c != "FE" && IsTimed(c);
}

// Commands accepted with "90" and nothing more.
bool IsPlainOk(const std::string& c) {
  static const char* const kPlain[] = {"BI", "BO", "BP", "CR", "FP", "RP", "ST", "EP",
                                       "DC", "DD", "DP", "AS", "PU", "LC", "RE", "ET",
                                       "GJ", "CJ", "RV", "PW", "IF", "wr", "dt"};
  return std::any_of(std::begin(kPlain), std::end(kPlain), [&](const char* t) { return c == t; });
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

std::string Device::Answer(const std::string& echo, std::string_view status,
                           std::string_view data) const {
  std::string s = "A" + echo;
  s += status;
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
  std::string cmd(text.substr(0, 2));
  while (cmd.size() < 2) cmd += ' ';

  if (cmd == "RS") {
    // Restart: whatever runs is dropped, and the reader says where it stands.
    job_.reset();
    pendingAnswer_.reset();
    blockModeCancel_ = true;
    return {false, Poll(now)};
  }
  if (state_ == 2 && cmd != "PA") return {false, Answer(cmd, "10")};
  if (job_) {
    if (cmd == "CL") {
      job_.reset();
      pendingAnswer_.reset();
      if (card_ >= kExit) card_ = kMiddle;
      return {false, Answer(cmd, "90")};
    }
    return {false, Answer(cmd, "12")};
  }
  pendingAnswer_.reset();

  if (IsTimed(cmd)) {
    if (text.size() > 2 && !(cmd == "CI" && text == "CI*")) return {false, Answer(cmd, "14")};
    if (NeedsCard(cmd)) {
      if (card_ == kNoCard) return {false, Answer(cmd, "25")};
      if (card_ >= kExit) return {false, Answer(cmd, "21")};
    }
    Start(cmd, now);
    return {true, {}};
  }
  return {false, Immediate(cmd, text, now)};
}

std::string Device::Immediate(const std::string& cmd, std::string_view text, std::int64_t now) {
  // Parameters after "XX:" (or after "XX" when there is no colon).
  std::string_view params = text.size() > 2 ? text.substr(2) : std::string_view{};
  const bool colon = !params.empty() && params[0] == ':';
  if (colon) params.remove_prefix(1);

  if (cmd == "PA") {
    if (state_ == 2) state_ = 0;
    return Answer(cmd, "90");
  }
  if (cmd == "CL") {
    if (card_ >= kExit) card_ = kMiddle;
    return Answer(cmd, "90");
  }
  if (cmd == "MS") return DoMs(params);
  if (cmd == "MR") return Answer(cmd, "90", Modes());
  if (cmd == "VS") return Answer(cmd, "90", kVersion);
  if (cmd == "TH") {
    const int rank = eeprom_.Word(0x20) >> 8;
    const char digit = rank >= '0' && rank <= '9' ? static_cast<char>(rank) : 'F';
    return Answer(cmd, "90", std::string(1, digit) + "25");
  }
  if (cmd == "CK") return DoClock(colon ? params : std::string_view{}, now);
  if (cmd == "WD") {
    // "WD:n/" + data; n is track 1-3.
    if (!colon || params.size() < 2 || params[1] != '/' || params[0] < '1' || params[0] > '3')
      return Answer(cmd, "14");
    writeData_[params[0] - '0'] = std::string(params.substr(2));
    return Answer(cmd, "90");
  }
  if (cmd == "DT") {
    if (!colon || params.size() != 1 || params[0] < '1' || params[0] > '5')
      return Answer(cmd, "14");
    const int n = params[0] - '0';
    if (n > 3 || !readValid_[n]) return Answer(cmd, "46", params);
    return Answer(cmd, "90", std::string(params) + readData_[n]);
  }
  if (cmd == "RC") return Answer(cmd, "90", results_);
  if (cmd == "PC") {
    buffer_.Clear();
    lastText_ = PrintText{};
    return Answer(cmd, "90");
  }
  if (cmd == "PD") {
    if (colon) return DoPd(params, false);
    if (!params.empty() && params[0] == '/') return DoPd(params.substr(1), true);
    return Answer(cmd, "14");
  }
  if (cmd == "PI") return colon ? DoPi(params) : Answer(cmd, "14");
  if (cmd == "IB") {
    blockModeRequest_ = true;
    return Answer(cmd, "90");
  }
  if (cmd == "IC") return colon ? DoIc(params) : Answer(cmd, "14");
  if (cmd == "ee") {
    if (text.size() > 3 && text[2] == 'r' && text[3] == ':') return DoEer(text.substr(4));
    if (text.size() > 3 && text[2] == 'w' && text[3] == ':') return DoEew(text.substr(4));
    return Answer(cmd, "11");
  }
  if (cmd == "CT") {
    if (params.empty()) {
      std::string all;
      for (int code = 0; code < 16; ++code) {
        char buf[12];
        std::snprintf(buf, sizeof buf, "%08X", eeprom_.CounterValue(code));
        all += buf;
      }
      return Answer(cmd, "90", all);
    }
    if (!colon || params.size() != 1 || HexValue(params[0]) < 0) return Answer(cmd, "14");
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", eeprom_.CounterValue(HexValue(params[0])));
    return Answer(cmd, "90", buf);
  }
  if (cmd == "!!") {
    const char sub = text.size() > 2 ? text[2] : '\0';
    switch (sub) {
      case 's':
        return Answer(cmd, "90", "A2867F3D99");  // sensor voltages
      case 'l':
        return Answer(cmd, "90", "80808080A0");  // their thresholds
      case 'e':
        eeprom_.ClearErrors();
        return Answer(cmd, "90");
      case 'c':
        eeprom_.ClearErrorsAndPasses();
        return Answer(cmd, "90");
      case 'w':
      case 'm':
        return Answer(cmd, "90");
      default:
        return Answer(cmd, "11");
    }
  }
  if (IsPlainOk(cmd)) return Answer(cmd, "90");
  return Answer(cmd, "11");
}

std::string Device::DoMs(std::string_view params) {
  std::map<char, char> changed = modes_;
  std::size_t i = 0;
  while (i < params.size()) {
    const char letter = params[i];
    if (letter == ' ') {
      ++i;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(letter)) || i + 1 >= params.size())
      return Answer("MS", "14");
    const char value = params[i + 1];
    if (static_cast<unsigned char>(value) <= ' ') return Answer("MS", "14");
    if (letter == 'C' && (value < '0' || value > '7')) return Answer("MS", "14");
    changed[letter] = value;
    i += 2;
  }
  modes_ = std::move(changed);
  return Answer("MS", "90");
}

std::string Device::DoPd(std::string_view rest, bool continued) {
  PrintText t;
  if (continued) {
    t = lastText_;
    t.y += kTextLineDots;
    t.text = std::string(rest);
  } else {
    int fields[3];
    for (int k = 0; k < 3; ++k) {
      const std::size_t slash = rest.find('/');
      if (slash == rest.npos) return Answer("PD", "14");
      fields[k] = Decimal(rest.substr(0, slash));
      if (fields[k] < 0) return Answer("PD", "14");
      rest.remove_prefix(slash + 1);
    }
    t.font = fields[0];
    t.x = fields[1];
    t.y = fields[2];
    t.text = std::string(rest);
  }
  lastText_ = t;
  buffer_.texts.push_back(std::move(t));
  return Answer("PD", "90");
}

std::string Device::DoPi(std::string_view params) {
  // "0/line/count/hex"
  std::string_view f[4];
  for (int k = 0; k < 3; ++k) {
    const std::size_t slash = params.find('/');
    if (slash == params.npos) return Answer("PI", "14");
    f[k] = params.substr(0, slash);
    params.remove_prefix(slash + 1);
  }
  f[3] = params;
  const int line = Decimal(f[1]);
  const int count = Decimal(f[2]);
  if (Decimal(f[0]) < 0 || line < 0 || line >= PrintImage::kHeight || count < 0 ||
      count > PrintImage::kStride || f[3].size() != static_cast<std::size_t>(count) * 2)
    return Answer("PI", "14");
  std::uint8_t bytes[PrintImage::kStride];
  for (int k = 0; k < count; ++k) {
    const int v = HexPair(f[3].substr(k * 2, 2));
    if (v < 0) return Answer("PI", "14");
    bytes[k] = static_cast<std::uint8_t>(v);
  }
  buffer_.SetLine(line, bytes, count);
  return Answer("PI", "90");
}

std::string Device::DoIc(std::string_view params) {
  if (params.size() != 2) return Answer("IC", "14");
  if (params[0] == '0' && IsRamArea(params[1])) {
    ramAreas_[params[1]] = buffer_;
    return Answer("IC", "90");
  }
  if (params[1] == '0' && IsRamArea(params[0])) {
    auto it = ramAreas_.find(params[0]);
    if (it == ramAreas_.end()) return Answer("IC", "50");  // nothing saved there
    buffer_ = it->second;
    return Answer("IC", "90");
  }
  return Answer("IC", "14");
}

std::string Device::DoEer(std::string_view params) {
  if (params.size() != 5 || params[2] != '/') return Answer("ee", "14");
  const int address = HexPair(params.substr(0, 2));
  const int count = HexPair(params.substr(3, 2));
  if (address < 0 || count < 1 || address + count > Eeprom::kWords) return Answer("ee", "14");
  std::string data;
  for (int w = address; w < address + count; ++w) data += Hex4(eeprom_.Word(w));
  return Answer("ee", "90", data);
}

std::string Device::DoEew(std::string_view params) {
  if (params.size() < 6 || params[2] != '/' || params[5] != '/') return Answer("ee", "14");
  const int address = HexPair(params.substr(0, 2));
  const int count = HexPair(params.substr(3, 2));
  const std::string_view data = params.substr(6);
  if (address < 0 || count < 1 || address + count > Eeprom::kWords ||
      data.size() != static_cast<std::size_t>(count) * 4)
    return Answer("ee", "14");
  std::vector<std::uint16_t> words;
  for (int k = 0; k < count; ++k) {
    const int hi = HexPair(data.substr(k * 4, 2));
    const int lo = HexPair(data.substr(k * 4 + 2, 2));
    if (hi < 0 || lo < 0) return Answer("ee", "14");
    words.push_back(static_cast<std::uint16_t>(hi << 8 | lo));
  }
  // Nothing is written unless the whole command is good.
  for (int k = 0; k < count; ++k) eeprom_.SetWord(address + k, words[k]);
  return Answer("ee", "90");
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

std::string Device::DoClock(std::string_view params, std::int64_t now) {
  if (params.empty()) return Answer("CK", "90", ClockText(now));
  // yymmdd 0 w hhmmss
  if (params.size() != 14 ||
      !std::all_of(params.begin(), params.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Answer("CK", "14");
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
    return Answer("CK", "14");
  const std::time_t set = std::mktime(&tm);
  if (set == static_cast<std::time_t>(-1)) return Answer("CK", "14");
  clockOffsetSec_ = static_cast<std::int64_t>(set - std::time(nullptr));
  return Answer("CK", "90");
}

void Device::Start(const std::string& cmd, std::int64_t now) {
  Job job;
  job.command = cmd;
  job.start = now;
  if (cmd == "CI") {
    job.waitingForCard = true;
  } else {
    int ms = kCardOutMs;
    if (cmd == "WR" || cmd == "WN") ms = kWriteMs;
    if (cmd == "RD") ms = kReadMs;
    if (cmd == "VR") ms = kVerifyMs;
    if (cmd == "PR" || cmd == "PP") ms = kPrintMs;
    if (cmd == "PO") ms = kPrintOutMs;
    if (cmd == "CE" || cmd == "EC") ms = kEraseMs;
    if (cmd == "FE") ms = kFeedMs;
    job.end = now + Duration(ms);
  }
  job_ = job;
}

std::string Device::Poll(std::int64_t now) {
  Advance(now);
  if (job_) return "B" + job_->command + "00";
  if (pendingAnswer_) {
    std::string a = std::move(*pendingAnswer_);
    pendingAnswer_.reset();
    return a;
  }
  std::string r = "R";
  r += static_cast<char>('0' + (state_ % 10));
  r += static_cast<char>('0' + (card_ % 10));
  r += "00";
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
    job_->end = now + Duration(kCardInMs);
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
  state_ = 2;
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
        job_->end = std::max(job_->start, now) + Duration(kCardInMs);
        continue;
      }
      const std::int64_t due = std::max(job_->start, cardGoneAt_) + config_.insertMs;
      if (card_ == kNoCard && config_.insertMs >= 0 && now >= due) {
        NewCard();
        card_ = kMiddle;
        job_->waitingForCard = false;
        job_->end = due + Duration(kCardInMs);
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
  const std::string cmd = job_->command;
  job_.reset();
  pendingAnswer_ = Answer(cmd, FinishStatus(cmd));
  if ((cmd == "CO" || cmd == "HC" || cmd == "PO") && card_ != kNoCard) CardOut(at);
}

std::string Device::FinishStatus(const std::string& cmd) {
  // A faulted reader fails what moves the card.
  if (state_ == 4) {
    eeprom_.Count(Eeprom::kJamErrors);
    return "30";
  }
  if (state_ == 5) {
    eeprom_.Count(Eeprom::kMechErrors);
    return "32";
  }
  if (state_ == 6) {
    eeprom_.Count(Eeprom::kHardErrors);
    return "35";
  }
  if (cmd == "CI" || cmd == "CO" || cmd == "HC") return "90";
  if (cmd == "FE") {
    if (card_ == kNoCard) {
      NewCard();
      card_ = kMiddle;
      return "90";
    }
    return "20";  // a card is already in the way
  }
  eeprom_.Count(Eeprom::kPasses);
  const bool write = cmd == "WR" || cmd == "WN";
  if (write || cmd == "RD" || cmd == "VR") {
    if (write) eeprom_.Count(Eeprom::kWrites);
    if (cmd == "RD") eeprom_.Count(Eeprom::kReads);
    const int mask = TrackMask();
    int good = 0, bad = 0;
    std::string firstBad;
    std::string codes;
    for (int t = 1; t <= 3; ++t) {
      std::string code = "92";
      if (mask & (1 << (t - 1))) {
        std::string& onCard = cardData_.tracks[t];
        if (write) {
          if (writeData_[t].empty()) {
            code = "47";
          } else {
            onCard = writeData_[t];
            code = "90";
          }
        } else if (cmd == "RD") {
          readValid_[t] = !onCard.empty();
          readData_[t] = onCard;
          code = onCard.empty() ? "46" : "90";
        } else {
          code = writeData_[t].empty() ? "47" : onCard == writeData_[t] ? "90" : "45";
        }
        if (code == "90") {
          ++good;
        } else {
          ++bad;
          if (firstBad.empty()) firstBad = code;
          eeprom_.Count(Eeprom::kTrack1Errors + (t - 1));
        }
      }
      codes += code;
    }
    auto ir = modes_.find('B');
    const bool irRead = cmd == "RD" && ir != modes_.end() && ir->second == '1';
    results_ = codes + (irRead ? "90" : "92") + "92";
    if (bad == 0) return good ? "90" : "92";
    return good ? "96" : firstBad;
  }
  if (cmd == "PR" || cmd == "PP" || cmd == "PO") {
    if (state_ == 3) return "51";  // head too hot
    eeprom_.Count(Eeprom::kPrints);
    if (cmd == "PP") {
      cardData_.surface.Overlay(buffer_);
    } else {
      cardData_.surface = buffer_;
    }
    if (!config_.printDir.empty()) {
      const std::string base = WritePrintFiles(config_.printDir, ++printCount_, cardData_.surface);
      notes_.push_back(base.empty() ? "print: cannot write to " + config_.printDir
                                    : "print " + base + ".png");
    }
    return "90";
  }
  if (cmd == "CE" || cmd == "EC") {
    cardData_.surface.Clear();
    return "90";
  }
  return "90";
}

}  // namespace tavosim
