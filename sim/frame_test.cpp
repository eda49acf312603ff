// The line: frames, BCC, the host parser, NAK handling, block mode and faults, driven through
// the Simulator without a pty.
#include <gtest/gtest.h>

#include <string>

#include "sim/simulator.h"

namespace tavosim {
namespace {

Bytes CommandFrame(const std::string& text) {
  Bytes f;
  f.reserve(text.size() + 4);
  f.push_back(kEot);
  f.push_back(kStx);
  for (char c : text) f.push_back(static_cast<std::uint8_t>(c));
  f.push_back(kEtx);
  f.push_back(Bcc(text));
  return f;
}

Bytes Block(int n, std::uint8_t fill) {
  Bytes b = {kSoh, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(255 - n)};
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < kBlockData; ++i) {
    b.push_back(fill);
    sum += fill;
  }
  b.push_back(sum);
  return b;
}

class TavosimLineTest : public ::testing::Test {
 protected:
  TavosimLineTest() : sim_(Config(), 1) {}
  static DeviceConfig Config() {
    DeviceConfig c;
    c.speed = 0;
    c.insertMs = 0;
    return c;
  }
  Bytes Send(const Bytes& b) { return sim_.OnInput(b.data(), b.size(), now_); }
  Bytes Command(const std::string& t) { return Send(CommandFrame(t)); }
  Bytes Poll() { return Send({kEot, kEnq}); }
  static Bytes Reply(const std::string& t) { return ReplyFrame(t); }

  Simulator sim_;
  std::int64_t now_ = 1000;
};

TEST(TavosimFrameTest, BccCoversTextAndEtx) {
  EXPECT_EQ(Bcc("RS"), 0x52 ^ 0x53 ^ 0x03);
  EXPECT_EQ(Bcc("RS"), 0x02);
  EXPECT_EQ(ReplyFrame("ARS90"),
            (Bytes{kStx, 'A', 'R', 'S', '9', '0', kEtx,
                   static_cast<std::uint8_t>('A' ^ 'R' ^ 'S' ^ '9' ^ '0' ^ 3)}));
}

TEST(TavosimFrameTest, BlockCheckRejectsEachKindOfDamage) {
  EXPECT_TRUE(BlockIsValid(Block(15, 0x81)));
  Bytes wrongSum = Block(15, 0x81);
  wrongSum.back() ^= 1;
  EXPECT_FALSE(BlockIsValid(wrongSum));
  Bytes wrongComplement = Block(15, 0x81);
  wrongComplement[2] = 0;
  EXPECT_FALSE(BlockIsValid(wrongComplement));
  Bytes shortBlock = Block(15, 0x81);
  shortBlock.pop_back();
  EXPECT_FALSE(BlockIsValid(shortBlock));
}

TEST_F(TavosimLineTest, PowerUpPollThenCommandsAfterPa) {
  EXPECT_EQ(Poll(), Reply("R2000"));
  EXPECT_EQ(Command("VS"), Reply("AVS10"));
  EXPECT_EQ(Command("PA"), Reply("APA90"));
  EXPECT_EQ(Poll(), Reply("R0000"));
  EXPECT_EQ(Command("VS"), Reply("AVS902.10-SIM"));
}

TEST_F(TavosimLineTest, NoiseOutsideFramesIsIgnoredAndSplitFramesJoin) {
  Command("PA");
  EXPECT_TRUE(Send({'x', kEtx, kStx, 'V', 'S', kEtx, 0x00, kEnq}).empty());
  const Bytes frame = CommandFrame("VS");
  Bytes first(frame.begin(), frame.begin() + 3), rest(frame.begin() + 3, frame.end());
  EXPECT_TRUE(Send(first).empty());
  EXPECT_EQ(Send(rest), Reply("AVS902.10-SIM"));
}

TEST_F(TavosimLineTest, BadBccGetsNakAndCountsAReceiveError) {
  Command("PA");
  Bytes f = CommandFrame("VS");
  f.back() ^= 0x10;
  EXPECT_EQ(Send(f), Bytes{kNak});
  EXPECT_EQ(Command("CT:5"), Reply("ACT9000000001"));
}

TEST_F(TavosimLineTest, HostNakRepeatsTheLastTransmission) {
  EXPECT_TRUE(Send({kNak}).empty());  // nothing sent yet, nothing to repeat
  Command("PA");
  const Bytes answer = Command("TH");
  EXPECT_EQ(Send({kNak}), answer);
  EXPECT_EQ(Send({kNak}), answer);
  EXPECT_EQ(Command("WD:1/AB"), Reply("AWD90"));
  Command("CI");
  EXPECT_EQ(Send({kNak}), Bytes{kAck});
  const Bytes done = Poll();
  EXPECT_EQ(done, Reply("ACI90"));
  EXPECT_EQ(Send({kNak}), done);  // the finished answer, not a fresh poll
}

TEST_F(TavosimLineTest, NewFrameAfterEotInsideTextResynchronises) {
  Command("PA");
  Bytes broken = {kEot, kStx, 'V'};
  const Bytes good = CommandFrame("VS");
  broken.insert(broken.end(), good.begin(), good.end());
  EXPECT_EQ(Send(broken), Reply("AVS902.10-SIM"));
}

TEST_F(TavosimLineTest, PartialFrameIsDroppedAfterASilentGap) {
  Command("PA");
  Send({kEot, kStx, 'V'});
  now_ += Simulator::kPartialTimeoutMs + 1;
  EXPECT_EQ(Send({'S', kEtx, Bcc("VS")}), Bytes{});
  EXPECT_EQ(Command("VS"), Reply("AVS902.10-SIM"));
}

TEST_F(TavosimLineTest, BlockModeAcksGoodBlocksNaksBadOnesAndEndsOnAnotherByte) {
  Command("PA");
  EXPECT_EQ(Command("IB"), Reply("AIB90"));
  Bytes two = Block(0, 0xFF);
  const Bytes second = Block(114, 0x01);
  two.insert(two.end(), second.begin(), second.end());
  EXPECT_EQ(Send(two), (Bytes{kAck, kAck}));
  Bytes bad = Block(1, 0x0F);
  bad.back() ^= 0x55;
  EXPECT_EQ(Send(bad), Bytes{kNak});
  EXPECT_EQ(Send(Block(115, 0)), Bytes{kNak});  // beyond the last line
  // A block may carry EOT and ENQ as data.
  Bytes dataLikePoll = Block(2, kEot);
  EXPECT_EQ(Send(dataLikePoll), Bytes{kAck});
  // The poll ends block mode and is answered as usual.
  EXPECT_EQ(Poll(), Reply("R0000"));
  const auto& dots = sim_.device().Buffer().dots;
  EXPECT_EQ(dots[0], 0xFF);
  EXPECT_EQ(dots[4 * 40 - 1], 0xFF);
  EXPECT_EQ(dots[4 * 40], 0x00);  // the bad block left its lines alone
  EXPECT_EQ(dots[114 * 160], 0x01);
  // Out of block mode an SOH is noise again.
  EXPECT_TRUE(Send(Block(3, 0x22)).empty());
}

TEST_F(TavosimLineTest, FaultsWithTheSameSeedGiveTheSameLine) {
  auto run = [](std::uint32_t seed) {
    Simulator sim(Config(), seed);
    FaultRates r;
    std::string error;
    EXPECT_TRUE(ParseFaultSpec("nak=0.2,bcc=0.2,garbage=0.2,silence=0.1,busy=0.1", &r, &error));
    sim.faults().SetRates(r);
    Bytes all;
    for (int i = 0; i < 60; ++i) {
      const Bytes f = CommandFrame(i % 2 ? "PA" : "TH");
      const Bytes out = sim.OnInput(f.data(), f.size(), 1000 + i);
      all.insert(all.end(), out.begin(), out.end());
      all.push_back(0xEE);  // separator, so a silence shows
    }
    return all;
  };
  const Bytes a = run(7);
  EXPECT_EQ(a, run(7));
  EXPECT_NE(a, run(8));
  // Every kind showed up at least once in 60 exchanges at these rates.
  std::string s(a.begin(), a.end());
  EXPECT_NE(s.find("\xEE\x15\xEE"), std::string::npos);  // nak
  EXPECT_NE(s.find("\xEE\xEE"), std::string::npos);      // silence
  EXPECT_NE(s.find("12\x03"), std::string::npos);        // busy
}

TEST_F(TavosimLineTest, SilencedReplyIsRecoveredByNak) {
  FaultRates r;
  r.silence = 1;
  sim_.faults().SetRates(r);
  EXPECT_TRUE(Command("PA").empty());
  sim_.faults().SetRates(FaultRates{});
  EXPECT_EQ(Send({kNak}), Reply("APA90"));
}

TEST_F(TavosimLineTest, BccFaultCorruptsOnlyTheCheckByte) {
  FaultRates r;
  r.bcc = 1;
  sim_.faults().SetRates(r);
  const Bytes bad = Poll();
  const Bytes good = Reply("R2000");
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_TRUE(std::equal(good.begin(), good.end() - 1, bad.begin()));
  EXPECT_NE(bad.back(), good.back());
}

TEST_F(TavosimLineTest, ControlWords) {
  bool quit = false;
  std::string error;
  EXPECT_TRUE(sim_.Control("state 4", now_, &quit, &error));
  EXPECT_EQ(Poll(), Reply("R4000"));
  EXPECT_TRUE(sim_.Control("  insert ", now_, &quit, &error));
  EXPECT_EQ(Poll(), Reply("R4100"));
  EXPECT_TRUE(sim_.Control("power", now_, &quit, &error));
  EXPECT_EQ(Poll(), Reply("R2100"));
  EXPECT_TRUE(sim_.Control("fault busy=1", now_, &quit, &error));
  EXPECT_EQ(Command("PA"), Reply("APA12"));
  EXPECT_TRUE(sim_.Control("fault off", now_, &quit, &error));
  EXPECT_EQ(Command("PA"), Reply("APA90"));
  EXPECT_FALSE(sim_.Control("fault nak=2", now_, &quit, &error));
  EXPECT_FALSE(sim_.Control("state x", now_, &quit, &error));
  EXPECT_FALSE(sim_.Control("dance", now_, &quit, &error));
  EXPECT_FALSE(quit);
  EXPECT_TRUE(sim_.Control("quit", now_, &quit, &error));
  EXPECT_TRUE(quit);
}

}  // namespace
}  // namespace tavosim
