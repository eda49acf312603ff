// The device model on a virtual clock: power-up, execution with B and A, the card cycle,
// tracks, modes, counters, EEPROM commands, printing and the clock; and the command table
// walked row by row: every row answered, every other code unknown, the power-up and busy
// columns obeyed, and each timed command taking its time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "sim/device.h"

namespace tavosim {
namespace {

class TavosimDeviceTest : public ::testing::Test {
 protected:
  void Make(DeviceConfig c = {}) {
    dev_ = std::make_unique<Device>(c);
    Send("PA");
  }
  void SetUp() override { Make(); }
  // The reply text, or "ACK".
  std::string Send(const std::string& text) {
    const DeviceReply r = dev_->Command(text, now_);
    return r.ack ? "ACK" : r.text;
  }
  std::string Poll() { return dev_->Poll(now_); }
  // Runs a command that takes time to its "A" answer.
  std::string Run(const std::string& text) {
    const std::string first = Send(text);
    if (first != "ACK") return first;
    while (auto d = dev_->NextDeadline()) {
      if (!dev_->Executing()) break;
      now_ = std::max(now_, *d);
      dev_->Advance(now_);
    }
    return Poll();
  }
  void CardIn() { ASSERT_EQ(Run("CI"), "ACI90"); }

  std::unique_ptr<Device> dev_;
  std::int64_t now_ = 0;
};

TEST_F(TavosimDeviceTest, PowerUpRefusesAllButPaAndRs) {
  Make();
  dev_->PowerUp(now_);
  EXPECT_EQ(Poll(), "R2000");
  EXPECT_EQ(Send("VS"), "AVS10");
  EXPECT_EQ(Send("CI"), "ACI10");
  EXPECT_EQ(Send("eer:00/01"), "Aee10");
  EXPECT_EQ(Send("RS"), "R2000");
  EXPECT_EQ(Send("PA"), "APA90");
  EXPECT_EQ(Poll(), "R0000");
  EXPECT_EQ(dev_->eeprom().CounterValue(Eeprom::kPowerCuts), 1u);
}

TEST_F(TavosimDeviceTest, UnknownCommandsAndBadParameters) {
  EXPECT_EQ(Send("ZZ"), "AZZ11");
  EXPECT_EQ(Send("**"), "A**11");
  EXPECT_EQ(Send("X"), "AX 11");
  EXPECT_EQ(Send("DT:9"), "ADT14");
  EXPECT_EQ(Send("WD:7/abc"), "AWD14");
  EXPECT_EQ(Send("MS:C9"), "AMS14");
  EXPECT_EQ(Send("MS:K"), "AMS14");
  EXPECT_EQ(Send("PD:0/x/0/abc"), "APD14");
  EXPECT_EQ(Send("PI:0/460/40/00"), "API14");
  EXPECT_EQ(Send("PI:0/10/2/0G00"), "API14");
  EXPECT_EQ(Send("IC:00"), "AIC14");
  EXPECT_EQ(Send("CK:2613"), "ACK14");
  EXPECT_EQ(Send("CT:G"), "ACT14");
  EXPECT_EQ(Send("WR:1"), "AWR14");
  EXPECT_EQ(Send("!!q"), "A!!11");
}

TEST_F(TavosimDeviceTest, TimedCommandAckThenBusyThenAnswerOnPoll) {
  Make({.speed = 1.0, .insertMs = 500, .removeMs = 1000, .printDir = {}});
  EXPECT_EQ(Send("CI"), "ACK");
  EXPECT_EQ(Poll(), "BCI00");
  EXPECT_EQ(Send("VS"), "AVS12");  // one command at a time
  EXPECT_EQ(Send("RS"), "R0000");  // restart drops it
  EXPECT_EQ(Poll(), "R0000");

  EXPECT_EQ(Send("CI"), "ACK");
  now_ += 499;
  EXPECT_EQ(Poll(), "BCI00");
  now_ += 1;  // the card arrives and is taken in
  EXPECT_EQ(Poll(), "BCI00");
  now_ += 400;
  EXPECT_EQ(Poll(), "ACI90");
  EXPECT_EQ(Poll(), "R0200");

  EXPECT_EQ(Send("RD"), "ACK");
  EXPECT_EQ(Send("CL"), "ACL90");  // cancel
  EXPECT_EQ(Poll(), "R0200");
}

TEST_F(TavosimDeviceTest, CardCycleWithOperatorInsertAndRemove) {
  Make({.speed = 0, .insertMs = -1, .removeMs = -1, .printDir = {}});
  EXPECT_EQ(Send("RD"), "ARD25");
  EXPECT_EQ(Send("CI"), "ACK");
  now_ += 100000;
  EXPECT_EQ(Poll(), "BCI00");  // nobody inserts one
  dev_->InsertCard(now_);
  EXPECT_EQ(Poll(), "ACI90");
  EXPECT_EQ(Poll(), "R0200");
  EXPECT_EQ(Run("CO"), "ACO90");
  EXPECT_EQ(Poll(), "R0400");
  EXPECT_EQ(Send("WR"), "AWR21");
  EXPECT_EQ(Send("CL"), "ACL90");  // takes it back in
  EXPECT_EQ(Poll(), "R0200");
  EXPECT_EQ(Run("CO"), "ACO90");
  dev_->RemoveCard(now_);
  EXPECT_EQ(Poll(), "R0000");
  dev_->InsertCard(now_);
  EXPECT_EQ(Poll(), "R0100");  // lying at the front until a "CI"
  EXPECT_EQ(Run("CI"), "ACI90");
  EXPECT_EQ(Poll(), "R0200");
}

TEST_F(TavosimDeviceTest, CardAtTheExitIsTakenAndANewOneInsertedOnTime) {
  Make({.speed = 0, .insertMs = 300, .removeMs = 200, .printDir = {}});
  CardIn();
  EXPECT_EQ(Run("CO"), "ACO90");
  now_ += 199;
  EXPECT_EQ(Poll(), "R0400");
  now_ += 1;
  EXPECT_EQ(Poll(), "R0000");
  // CI while the card is still at the exit waits for it to go and for the next one.
  EXPECT_EQ(Run("CO"), "ACO25");
  CardIn();
  EXPECT_EQ(Run("CO"), "ACO90");
  const std::int64_t out = now_;
  EXPECT_EQ(Send("CI"), "ACK");
  now_ = out + 200 + 299;
  EXPECT_EQ(Poll(), "BCI00");
  now_ = out + 200 + 300;
  EXPECT_EQ(Poll(), "ACI90");
}

TEST_F(TavosimDeviceTest, TracksWriteReadBackVerifyAndResultCodes) {
  Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = {}});
  CardIn();
  EXPECT_EQ(Send("DT:1"), "ADT461");
  EXPECT_EQ(Send("WD:1/0123456789"), "AWD90");
  EXPECT_EQ(Send("WD:3/ABC"), "AWD90");
  EXPECT_EQ(Run("WR"), "AWR96");  // track 2 had no data
  EXPECT_EQ(Send("RC"),
            "ARC90904790"
            "9292");
  EXPECT_EQ(Send("MS:C5"), "AMS90");
  EXPECT_EQ(Send("MR"), "AMR90C5");
  EXPECT_EQ(Run("WR"), "AWR90");
  EXPECT_EQ(Send("RC"),
            "ARC9090929092"
            "92");
  EXPECT_EQ(Run("RD"), "ARD90");
  EXPECT_EQ(Send("DT:1"), "ADT9010123456789");
  EXPECT_EQ(Send("DT:3"), "ADT903ABC");
  EXPECT_EQ(Send("DT:2"), "ADT462");
  EXPECT_EQ(Run("VR"), "AVR90");
  EXPECT_EQ(Send("WD:3/ABD"), "AWD90");
  EXPECT_EQ(Run("VR"), "AVR96");
  EXPECT_EQ(Send("RC"),
            "ARC9090924592"
            "92");
  // IR read on: the IR field reports a read.
  EXPECT_EQ(Send("MS: b7B1 K0"), "AMS90");
  EXPECT_EQ(Send("MR"), "AMR90C5B1K0b7");
  EXPECT_EQ(Run("RD"), "ARD90");
  EXPECT_EQ(Send("RC").substr(11, 2), "90");
}

TEST_F(TavosimDeviceTest, CountersCountAndClear) {
  Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = {}});
  CardIn();
  Send("MS:C1");
  Run("WR");  // no data: track 1 error
  Send("WD:1/X");
  Run("WR");
  Run("RD");
  Run("PR");
  Run("PP");
  EXPECT_EQ(Send("CT:0"), "ACT9000000005");
  EXPECT_EQ(Send("CT:1"), "ACT9000000002");
  EXPECT_EQ(Send("CT:2"), "ACT9000000001");
  EXPECT_EQ(Send("CT:3"), "ACT9000000002");
  EXPECT_EQ(Send("CT:9"), "ACT9000000001");
  // The counters are EEPROM words: a write shows in "CT", and the reverse.
  EXPECT_EQ(Send("eew:1E/02/000003E8"), "Aee90");
  EXPECT_EQ(Send("CT:0"), "ACT90000003E8");
  EXPECT_EQ(Send("eer:11/01"), "Aee900001");
  EXPECT_EQ(Send("!!e"), "A!!90");
  EXPECT_EQ(Send("CT:9"), "ACT9000000000");
  EXPECT_EQ(Send("CT:0"), "ACT90000003E8");
  EXPECT_EQ(Send("!!c"), "A!!90");
  EXPECT_EQ(Send("CT:0"), "ACT9000000000");
  EXPECT_EQ(Send("CT:1"), "ACT9000000002");  // writes stay
  // One-word counters stop at their largest value.
  Send("eew:11/01/FFFF");
  Send("WD:1/");
  Run("WR");
  EXPECT_EQ(Send("CT:9"), "ACT900000FFFF");
}

TEST_F(TavosimDeviceTest, EepromReadWriteAndFactoryImage) {
  EXPECT_EQ(Send("eer:20/01"), "Aee903532");
  EXPECT_EQ(Send("eer:22/01"), "Aee903134");
  EXPECT_EQ(Send("eer:08/01"), "Aee903034");
  EXPECT_EQ(Send("TH"), "ATH90525");
  EXPECT_EQ(Send("eew:20/01/3732"), "Aee90");
  EXPECT_EQ(Send("TH"), "ATH90725");
  EXPECT_EQ(Send("eew:7E/02/12abFFFF"), "Aee90");
  EXPECT_EQ(Send("eer:7E/02"), "Aee9012ABFFFF");
  EXPECT_EQ(Send("eer:7F/02"), "Aee14");           // past the end
  EXPECT_EQ(Send("eew:7E/02/12AB"), "Aee14");      // data for one word only
  EXPECT_EQ(Send("eew:10/02/0001000G"), "Aee14");  // nothing written
  EXPECT_EQ(Send("eer:10/01"), "Aee900000");
  EXPECT_EQ(Send("eex:00/01"), "Aee11");
  EXPECT_EQ(Send("eew:20/01/FFFF"), "Aee90");
  EXPECT_EQ(Send("TH"), "ATH90F25");
}

TEST_F(TavosimDeviceTest, ClockSetAndReadBack) {
  const std::string a = Send("CK");
  ASSERT_EQ(a.size(), 19u);
  EXPECT_EQ(a[11], '0');
  // 2026-12-09 is a Wednesday: the device works the weekday out itself.
  EXPECT_EQ(Send("CK:26120905101500"), "ACK90");
  const std::string b = Send("CK");
  EXPECT_EQ(b.substr(5, 8), "26120903");
  EXPECT_EQ(b.substr(13, 4), "1015");
  EXPECT_EQ(Send("CK:26133105101500"), "ACK14");
  EXPECT_EQ(Send("!!s").size(), 15u);
  EXPECT_EQ(Send("!!l").size(), 15u);
  EXPECT_EQ(Send("VS").size(), 13u);
}

TEST_F(TavosimDeviceTest, PrintImageLinesRamAreasAndFiles) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tavosim-print-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = dir.string()});
  EXPECT_EQ(Run("PR"), "APR25");
  CardIn();
  EXPECT_EQ(Send("PI:0/459/2/80FF"), "API90");
  EXPECT_EQ(Send("PD:0/0/32/\x1b"
                 "e22TOP"),
            "APD90");
  EXPECT_EQ(Send("PD/second"), "APD90");
  EXPECT_EQ(dev_->Buffer().dots[459 * 40], 0x80);
  EXPECT_EQ(dev_->Buffer().dots[459 * 40 + 1], 0xFF);
  ASSERT_EQ(dev_->Buffer().texts.size(), 2u);
  EXPECT_EQ(dev_->Buffer().texts[1].y, 32 + 27);
  EXPECT_EQ(Send("IC:03"), "AIC90");
  EXPECT_EQ(Send("PC"), "APC90");
  EXPECT_TRUE(dev_->Buffer().Empty());
  EXPECT_EQ(Send("IC:40"), "AIC50");  // never saved
  EXPECT_EQ(Send("IC:30"), "AIC90");
  EXPECT_EQ(dev_->Buffer().dots[459 * 40], 0x80);
  EXPECT_EQ(Run("PR"), "APR90");
  // An additive print keeps what is on the card.
  Send("PC");
  Send("PI:0/0/1/01");
  EXPECT_EQ(Run("PP"), "APP90");
  EXPECT_EQ(dev_->CardSurface().dots[0], 0x01);
  EXPECT_EQ(dev_->CardSurface().dots[459 * 40], 0x80);
  EXPECT_EQ(Run("PO"), "APO90");
  EXPECT_EQ(Poll(), "R0400");
  EXPECT_TRUE(std::filesystem::exists(dir / "card-0001.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "card-0003.png"));
  std::ifstream txt(dir / "card-0001.txt");
  std::string first, second;
  std::getline(txt, first);
  std::getline(txt, second);
  EXPECT_EQ(first, "font 0 x 0 y 32: <ESC>e22TOP");
  EXPECT_EQ(second, "font 0 x 0 y 59: second");
  EXPECT_EQ(dev_->TakeNotes().size(), 3u);
  std::filesystem::remove_all(dir);
}

TEST_F(TavosimDeviceTest, FaultedReaderFailsCardMovesAndCountsThem) {
  Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = {}});
  CardIn();
  dev_->SetStateDigit(4);
  EXPECT_EQ(Run("RD"), "ARD30");
  dev_->SetStateDigit(3);
  EXPECT_EQ(Run("PR"), "APR51");
  dev_->SetStateDigit(0);
  EXPECT_EQ(Send("CT:7"), "ACT9000000001");
}

// A frame that makes a table command do its work: the code alone, except where the code alone
// is not a whole command.
std::string WorkingFrame(std::string_view code) {
  if (code == "ee") return "eer:00/01";
  if (code == "!!") return "!!s";
  return std::string(code);
}

TEST_F(TavosimDeviceTest, CommandTableHasOneRowPerTwoLetterCode) {
  const std::set<std::string_view> known = {
      "RS", "PA", "CL", "CI", "CO", "HC", "FE", "WD", "WR", "WN", "RD", "VR", "DT", "RC",
      "PC", "PD", "PI", "IB", "IC", "PR", "PP", "PO", "CE", "EC", "MS", "MR", "VS", "TH",
      "CK", "CT", "ee", "!!", "BI", "BO", "BP", "CR", "FP", "RP", "ST", "EP", "DC", "DD",
      "DP", "AS", "PU", "LC", "RE", "ET", "GJ", "CJ", "RV", "PW", "IF", "wr", "dt"};
  std::set<std::string_view> seen;
  for (const Device::CommandRow& row : Device::Commands()) {
    EXPECT_EQ(row.code.size(), 2u) << row.code;
    EXPECT_TRUE(seen.insert(row.code).second) << "twice: " << row.code;
    EXPECT_EQ(Device::FindCommand(row.code), &row);
    EXPECT_NE(row.handler, nullptr) << row.code;
    // What a command needs of the card only applies to one that takes time.
    if (!row.Timed()) {
      EXPECT_EQ(row.flags & (Device::kNeedsCard | Device::kStarAllowed | Device::kWaitsForCard |
                             Device::kCardToExit),
                0u)
          << row.code;
    }
  }
  EXPECT_EQ(seen, known);
}

TEST_F(TavosimDeviceTest, EveryCommandInTheTableIsAnswered) {
  for (const Device::CommandRow& row : Device::Commands()) {
    const std::string code(row.code);
    SCOPED_TRACE(code);
    Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = {}});
    CardIn();
    const std::string first = Send(WorkingFrame(code));
    // A timed command is acknowledged and answers on a poll; the others answer at once.
    EXPECT_EQ(first == "ACK", row.Timed()) << first;
    const std::string reply = first == "ACK" ? Run(WorkingFrame(code)) : first;
    if (code == "RS") {
      EXPECT_EQ(reply, "R0200");
      continue;
    }
    ASSERT_EQ(reply.size() >= 5 ? reply.substr(0, 3) : reply, "A" + code);
    EXPECT_NE(reply.substr(3, 2), "11");
    EXPECT_NE(reply.substr(3, 2), "12");
  }
}

TEST_F(TavosimDeviceTest, EveryCodeOutsideTheTableIsUnknown) {
  Make({.speed = 0, .insertMs = 0, .removeMs = -1, .printDir = {}});
  CardIn();
  int unknown = 0;
  for (char a = ' '; a <= '~'; ++a) {
    for (char b = ' '; b <= '~'; ++b) {
      const std::string code{a, b};
      if (Device::FindCommand(code)) continue;
      ++unknown;
      ASSERT_EQ(Send(code), "A" + code + "11");
      ASSERT_EQ(Send(code + ":1"), "A" + code + "11");
    }
  }
  EXPECT_EQ(unknown, 95 * 95 - static_cast<int>(Device::Commands().size()));
  EXPECT_EQ(Poll(), "R0200");  // none of them did anything
}

TEST_F(TavosimDeviceTest, PowerUpAndBusyRefuseAllButTheirFewCommands) {
  const std::set<std::string> atPowerUp = {"PA", "RS"};
  const std::set<std::string> whileBusy = {"CL", "RS"};
  for (const Device::CommandRow& row : Device::Commands()) {
    const std::string code(row.code);
    SCOPED_TRACE(code);
    EXPECT_EQ((row.flags & Device::kInPowerUp) != 0, atPowerUp.count(code) == 1);
    EXPECT_EQ((row.flags & Device::kWhileBusy) != 0, whileBusy.count(code) == 1);

    Make({.speed = 1.0, .insertMs = -1, .removeMs = -1, .printDir = {}});
    dev_->PowerUp(now_);
    const std::string powerUpReply = Send(WorkingFrame(code));
    EXPECT_EQ(powerUpReply == "A" + code + "10", atPowerUp.count(code) == 0) << powerUpReply;

    Make({.speed = 1.0, .insertMs = -1, .removeMs = -1, .printDir = {}});
    ASSERT_EQ(Send("CI"), "ACK");  // waits for a card nobody inserts
    const std::string busyReply = Send(WorkingFrame(code));
    EXPECT_EQ(busyReply == "A" + code + "12", whileBusy.count(code) == 0) << busyReply;
  }
}

TEST_F(TavosimDeviceTest, TimedCommandsCheckTheCardAndTheirParameters) {
  const std::set<std::string> withoutCard = {"CI", "FE"};
  const std::set<std::string> withStar = {"CI"};
  for (const Device::CommandRow& row : Device::Commands()) {
    if (!row.Timed()) continue;
    const std::string code(row.code);
    SCOPED_TRACE(code);
    EXPECT_EQ((row.flags & Device::kNeedsCard) == 0, withoutCard.count(code) == 1);
    EXPECT_EQ((row.flags & Device::kStarAllowed) != 0, withStar.count(code) == 1);

    Make({.speed = 0, .insertMs = -1, .removeMs = -1, .printDir = {}});
    EXPECT_EQ(Send(code + ":1"), "A" + code + "14");
    EXPECT_EQ(Send(code + "*"), withStar.count(code) ? "ACK" : "A" + code + "14");
    Send("CL");
    EXPECT_EQ(Send(code), withoutCard.count(code) ? "ACK" : "A" + code + "25");
    Send("CL");
    // With the card at the exit.
    dev_->InsertCard(now_);
    ASSERT_EQ(Run("CI"), "ACI90");
    ASSERT_EQ(Run("CO"), "ACO90");
    ASSERT_EQ(dev_->CardPosition(), Device::kExit);
    if (!withoutCard.count(code)) {
      EXPECT_EQ(Send(code), "A" + code + "21");
    }
  }
}

TEST_F(TavosimDeviceTest, TimedCommandsTakeTheirListedTime) {
  // At speed 1; "CI" counts from the card's arrival.
  const std::map<std::string_view, int> expected = {
      {"CI", 400},  {"CO", 400},  {"HC", 400},  {"WR", 600},  {"WN", 600},
      {"RD", 500},  {"VR", 500},  {"PR", 1500}, {"PP", 1500}, {"PO", 2000},
      {"CE", 1000}, {"EC", 1000}, {"FE", 800}};
  std::map<std::string_view, int> listed;
  for (const Device::CommandRow& row : Device::Commands())
    if (row.Timed()) listed[row.code] = row.baseMs;
  EXPECT_EQ(listed, expected);

  for (const double speed : {1.0, 0.5}) {
    for (const auto& [code, baseMs] : listed) {
      const std::string c(code);
      SCOPED_TRACE(c + " at speed " + std::to_string(speed));
      const std::int64_t ms = std::lround(baseMs * speed);
      Make({.speed = speed, .insertMs = -1, .removeMs = -1, .printDir = {}});
      if (Device::FindCommand(code)->flags & Device::kWaitsForCard) {
        ASSERT_EQ(Send(c), "ACK");
        now_ += 5000;
        EXPECT_EQ(Poll(), "B" + c + "00");
        dev_->InsertCard(now_);
      } else {
        ASSERT_EQ(Send("CI"), "ACK");
        dev_->InsertCard(now_);
        ASSERT_TRUE(dev_->NextDeadline());
        now_ = *dev_->NextDeadline();
        ASSERT_EQ(Poll(), "ACI90");
        ASSERT_EQ(Send(c), "ACK");
      }
      const std::int64_t start = now_;
      EXPECT_EQ(dev_->NextDeadline(), start + ms);
      now_ = start + ms - 1;
      EXPECT_EQ(Poll(), "B" + c + "00");
      now_ = start + ms;
      EXPECT_EQ(Poll().substr(0, 3), "A" + c);
      EXPECT_FALSE(dev_->Executing());
      const bool toExit = code == "CO" || code == "HC" || code == "PO";
      EXPECT_EQ((Device::FindCommand(code)->flags & Device::kCardToExit) != 0, toExit);
      EXPECT_EQ(dev_->CardPosition(), toExit ? Device::kExit : Device::kMiddle);
    }
  }
}

}  // namespace
}  // namespace tavosim
