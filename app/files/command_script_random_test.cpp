// Command files from a fixed random seed, run under the checking host of the fuzz target, so every
// build runs what the fuzzer checks. The files lean toward lines that mean something (keys,
// loop targets and pass counts, waits, commands) with random bytes among them.
#include <gtest/gtest.h>

#include <QByteArray>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/files/command_script.h"
#include "app/files/script_fuzz_body.h"

namespace tavo {
namespace {

class ScriptMaker {
 public:
  explicit ScriptMaker(uint32_t seed) : rng_(seed) {}

  // A file of about `lines` lines, then (mostly) a NUL and the host's bytes.
  QByteArray input() {
    const uint32_t size = below(100);
    const int lines = static_cast<int>(size < 40   ? below(12)
                                       : size < 90 ? 12 + below(50)
                                                   : 280 + below(40));
    QByteArray out;
    int made = 0;
    while (made < lines) {
      made += appendStep(out, made, lines);
    }
    if (below(5) != 0) out += hostBytes(lines);
    return out;
  }

 private:
  uint32_t below(uint32_t n) { return rng_() % n; }

  template <size_t N>
  const char* pick(const std::array<const char*, N>& from) {
    return from[below(N)];
  }

  QByteArray lineEnd() {
    const uint32_t r = below(100);
    if (r < 92) return "\r\n";
    if (r < 95) return "\n";
    if (r < 98) return "\r";
    return "";  // runs into the next line
  }

  QByteArray randomBytes() {
    static constexpr std::array<char, 8> kLikely = {'\r',   '\n', '\x82', '\x83',
                                                    '\x81', ' ',  '0',    '\0'};
    QByteArray out;
    const uint32_t n = 1 + below(12);
    for (uint32_t k = 0; k < n; ++k) {
      out += below(3) == 0 ? kLikely[below(kLikely.size())] : static_cast<char>(below(256));
    }
    return out;
  }

  // A line number for the target of a LOOP line after line `made`: mostly a line before it,
  // sometimes any line of the file, or none.
  QByteArray target(int made, int lines) {
    static constexpr std::array<const char*, 10> kOdd = {"0",     "-1",  "301", "1.5", "x",
                                                         "32767", "1e9", " 2 ", "+1",  ""};
    const uint32_t r = below(8);
    if (r < 2) return pick(kOdd);
    if (r < 3)
      return QByteArray::number(1 + static_cast<int>(below(static_cast<uint32_t>(lines) + 2)));
    return QByteArray::number(1 + static_cast<int>(below(static_cast<uint32_t>(made) + 1)));
  }

  QByteArray number() {
    static constexpr std::array<const char*, 18> kNumbers = {
        "0", "1", "2",     "3",      "5",   "-1",  "100", "301",   "32767",
        "x", "",  "32768", "-32768", "1e9", "1.5", "0.4", "1e300", "4 passes"};
    return pick(kNumbers);
  }

  // Appends one step (a key line and its number lines, or a single line); returns how many
  // lines it made.
  int appendStep(QByteArray& out, int made, int lines) {
    static constexpr std::array<const char*, 6> kLoop = {"LOOP",   "Loop",   "loop",
                                                         "LOOP**", "LOOPxy", "LoopLoop"};
    static constexpr std::array<const char*, 5> kWait = {"WAIT", "wait", "Wait**", "WAIT  2", "w"};
    static constexpr std::array<const char*, 12> kOther = {
        "END",      "end",      "End of it", "POLL**", "poll",   "COMANDCL",
        "COMANDPA", "PowAckPA", "Print>PC",  "COMAND", "' note", "Print>PD:0/10/50/esc$e11Ab"};
    const uint32_t r = below(100);
    if (r < 22) {
      out += pick(kLoop) + lineEnd();
      if (below(5) == 0) return 1;  // a LOOP line without its numbers
      out += target(made, lines) + lineEnd();
      out += number() + lineEnd();
      return 3;
    }
    if (r < 32) {
      out += pick(kWait) + lineEnd();
      out += number() + lineEnd();
      return 2;
    }
    if (r < 80) {
      out += QByteArray(pick(kOther)) + lineEnd();
      return 1;
    }
    if (r < 88) {
      out += number() + lineEnd();
      return 1;
    }
    if (r < 92) {
      out += "' \x83\x54\x83\x93\x83\x76\x83\x8B" + lineEnd();  // "' サンプル"
      return 1;
    }
    out += randomBytes() + lineEnd();
    return 1;
  }

  // A step number at which something happens: mostly never, else early in the run.
  void appendStepNumber(QByteArray& out, int lines) {
    const uint32_t at = below(3) != 0 ? 0 : 1 + below(static_cast<uint32_t>(2 * lines) + 4);
    out += static_cast<char>(at & 0xFF);
    out += static_cast<char>(at >> 8);
  }

  QByteArray hostBytes(int lines) {
    QByteArray out(1, '\0');
    out += static_cast<char>(below(8));  // Error Stop, Japanese, the stop while the step runs
    appendStepNumber(out, lines);        // the port closes
    appendStepNumber(out, lines);        // a stop
    const uint32_t statuses = below(4);
    for (uint32_t k = 0; k < statuses; ++k) out += static_cast<char>(below(256));
    return out;
  }

  std::mt19937 rng_;
};

std::string shown(const QByteArray& input) {
  std::string out;
  for (char c : input) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n\n";
    } else if (b < 0x20 || b >= 0x7F || b == '\\') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

CheckedRun check(const QByteArray& input, int stepBudget = kFuzzStepBudget,
                 const ScriptRunner& run = runScript) {
  return checkScriptRun(reinterpret_cast<const uint8_t*>(input.constData()),
                        static_cast<size_t>(input.size()), stepBudget, run);
}

TEST(CommandScriptRandom, SeededInputsAllEnd) {
  // A small budget keeps the test quick; runs that reach it are stopped and must end then.
  constexpr int kRuns = 4000;
  constexpr int kBudget = 10000;
  ScriptMaker maker(20240611);
  std::map<RunEnd, int> ends;
  int budgetStops = 0;
  int longRuns = 0;
  int failures = 0;
  for (int k = 0; k < kRuns && failures < 5; ++k) {
    const QByteArray input = maker.input();
    const CheckedRun run = check(input, kBudget);
    if (!run.finding.empty()) {
      ADD_FAILURE() << "input " << k << ": " << run.finding << "\n" << shown(input);
      ++failures;
      continue;
    }
    ++ends[run.end];
    if (run.steps == kBudget) ++budgetStops;
    if (run.steps > 1000) ++longRuns;
  }
  // The inputs reach every way a run can end, loops that run long, and the budget's stop.
  for (RunEnd end : {RunEnd::Finished, RunEnd::ErrorStop, RunEnd::PortClosed, RunEnd::Stopped,
                     RunEnd::BadLoop}) {
    EXPECT_GE(ends[end], 40) << "RunEnd " << static_cast<int>(end);
  }
  EXPECT_GE(budgetStops, 20);
  EXPECT_GE(longRuns, 100);
}

// Passes everything through but can hide a stop, a closed port or a bad status from the run.
class Blinkers final : public RunHost {
 public:
  explicit Blinkers(RunHost& host) : host_(host) {}
  bool hideStop = false;
  bool hidePortClosing = false;
  bool hideBadStatus = false;

  void yield() override { host_.yield(); }
  void showLine(int line) override { host_.showLine(line); }
  void showLoop(int loopRemaining) override { host_.showLoop(loopRemaining); }
  void showCommand(const QString& text) override { host_.showCommand(text); }
  void showWait(const QString& text) override { host_.showWait(text); }
  void poll() override { host_.poll(); }
  void send(const QString& command) override { host_.send(command); }
  void waitSeconds(float seconds) override { host_.waitSeconds(seconds); }
  bool portOpen() override { return hidePortClosing || host_.portOpen(); }
  bool stopRequested() override { return !hideStop && host_.stopRequested(); }
  QString replyStatus() override {
    return hideBadStatus ? QStringLiteral("90") : host_.replyStatus();
  }
  void report(const QString& text) override { host_.report(text); }

 private:
  RunHost& host_;
};

ScriptRunner blinkered(void (*set)(Blinkers&)) {
  return [set](const QStringList& lines, bool errorStop, bool japanese, RunHost& host) {
    Blinkers blinkers(host);
    set(blinkers);
    return runScript(lines, errorStop, japanese, blinkers);
  };
}

// A run that never notices the budget's stop is a finding at the first step after it.
TEST(CommandScriptRandom, ARunThatMissesTheStopIsAFinding) {
  const QByteArray loop("COMANDA\r\nLOOP\r\n1\r\n32767\r\n");
  EXPECT_EQ(check(loop, 500).finding, "");
  EXPECT_EQ(check(loop, 500).end, RunEnd::Stopped);
  const CheckedRun run = check(loop, 500, blinkered([](Blinkers& b) { b.hideStop = true; }));
  EXPECT_FALSE(run.ended);
  EXPECT_NE(run.finding.find("went on after a stop at step 500"), std::string::npos) << run.finding;
}

TEST(CommandScriptRandom, ARunThatMissesThePortClosingIsAFinding) {
  // The port closes at step 2.
  const char bytes[] = "COMANDA\r\nCOMANDB\r\nCOMANDC\r\n\0\0\x02\0";
  const QByteArray input(bytes, sizeof bytes - 1);
  EXPECT_EQ(check(input).finding, "");
  EXPECT_EQ(check(input).end, RunEnd::PortClosed);
  const CheckedRun run =
      check(input, kFuzzStepBudget, blinkered([](Blinkers& b) { b.hidePortClosing = true; }));
  EXPECT_NE(run.finding.find("went on after the port closed at step 2"), std::string::npos)
      << run.finding;
}

TEST(CommandScriptRandom, ARunThatMissesABadStatusIsAFinding) {
  // Error Stop on; the first command's status is "14".
  const char bytes[] = "COMANDA\r\nCOMANDB\r\n\0\x01\0\0\0\0\x05";
  const QByteArray input(bytes, sizeof bytes - 1);
  EXPECT_EQ(check(input).finding, "");
  EXPECT_EQ(check(input).end, RunEnd::ErrorStop);
  const CheckedRun run =
      check(input, kFuzzStepBudget, blinkered([](Blinkers& b) { b.hideBadStatus = true; }));
  EXPECT_NE(run.finding.find("status \"14\" under Error Stop"), std::string::npos) << run.finding;
}

// A run loop that jumps back without a LOOP line, or runs a LOOP line inside another loop (and so
// starts the other loop again), would not be known to end; both are findings.
TEST(CommandScriptRandom, JumpsThatCouldRunForeverAreFindings) {
  auto steps = [](std::vector<std::pair<int, int>> shown) -> ScriptRunner {
    return [shown](const QStringList&, bool, bool, RunHost& host) {
      for (const auto& [loop, line] : shown) {
        host.yield();
        host.showLoop(loop);
        host.showLine(line);
      }
      return RunEnd::Finished;
    };
  };
  const CheckedRun back = check("'a\r\n'b\r\n", kFuzzStepBudget, steps({{0, 1}, {0, 2}, {0, 1}}));
  EXPECT_NE(back.finding.find("a jump off a LOOP line, from line 2"), std::string::npos)
      << back.finding;
  // Two loops of two passes each, the second back over the first: the run ends at line 1 the
  // second time round.
  const QByteArray twoLoops("LOOP\r\n1\r\n2\r\nLOOP\r\n1\r\n2\r\n");
  EXPECT_EQ(check(twoLoops).finding, "");
  EXPECT_EQ(check(twoLoops).end, RunEnd::BadLoop);
  const CheckedRun nested =
      check(twoLoops, kFuzzStepBudget, steps({{0, 1}, {1, 1}, {0, 4}, {1, 1}, {0, 4}}));
  EXPECT_NE(nested.finding.find("went on past a LOOP inside the loop of line 4"), std::string::npos)
      << nested.finding;
}

}  // namespace
}  // namespace tavo
