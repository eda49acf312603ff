// libFuzzer target: tavosim's receiving side, the frame parser and the device model behind it.
//
// Input: the first byte is the time that passes before each following byte arrives, in tens of
// milliseconds (0-2550 ms; above 2000 ms a partly received frame is dropped). The following
// bytes are what the host sends, fed one at a time to Simulator::OnInput on a virtual clock
// (Advance first, as the simulator's timers would), with no faults.
//
// Checks, each a crash with a message when broken: an independent model of the line protocol
// (EOT ENQ poll; EOT STX text ETX BCC command; NAK repeat request; after an accepted "IB",
// 164-byte blocks starting with SOH) says after which byte the simulator must answer, and:
// - every answer is one transmission: ACK, NAK, or STX text ETX BCC with a good BCC and no ETX
//   inside the text;
// - nothing is sent where the model expects no answer;
// - a poll gets a reply frame starting "R", "B" or "A";
// - a command with a bad BCC gets NAK; with a good one, ACK or an answer frame: "A" + the
//   command's first two characters + a two-digit status, or an "R" reply for "RS";
// - a NAK from the host gets the last transmission again, byte for byte;
// - a download block gets ACK or NAK;
// - the device's state digit is 0-9 and its card position 0-4 after every byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/simulator.h"

namespace {

using tavosim::Bytes;

std::string Show(const Bytes& b) {
  std::string s;
  char buf[8];
  for (std::uint8_t x : b) {
    if (x >= 0x20 && x < 0x7F) {
      s.push_back(static_cast<char>(x));
    } else {
      std::snprintf(buf, sizeof buf, "<%02X>", x);
      s += buf;
    }
  }
  return s;
}

[[noreturn]] void Fail(std::size_t at, const std::string& what, const Bytes& sent) {
  std::fprintf(stderr, "sim_protocol_fuzz: after host byte %zu: %s; the simulator sent \"%s\"\n",
               at, what.c_str(), Show(sent).c_str());
  std::abort();
}

// The host side's view of what the device parser must be doing.
struct Model {
  enum class State { Idle, AfterEot, InText, Bcc, InBlock } state = State::Idle;
  bool blockMode = false;
  std::string text;
  std::size_t blockBytes = 0;
};

enum class Expect { Nothing, PollReply, CommandReply, Repeat, BlockReply };

std::uint8_t Bcc(const std::string& text) {
  std::uint8_t bcc = tavosim::kEtx;
  for (char c : text) bcc ^= static_cast<std::uint8_t>(c);
  return bcc;
}

// Feeds one byte to the model; returns what the simulator must answer to it.
Expect Step(Model& m, std::uint8_t b, bool* bccOk) {
  switch (m.state) {
    case Model::State::InBlock:
      if (++m.blockBytes == tavosim::kBlockSize) {
        m.state = Model::State::Idle;
        return Expect::BlockReply;
      }
      return Expect::Nothing;
    case Model::State::Idle:
      if (m.blockMode) {
        if (b == tavosim::kSoh) {
          m.state = Model::State::InBlock;
          m.blockBytes = 1;
          return Expect::Nothing;
        }
        m.blockMode = false;
      }
      if (b == tavosim::kEot) m.state = Model::State::AfterEot;
      return b == tavosim::kNak ? Expect::Repeat : Expect::Nothing;
    case Model::State::AfterEot:
      if (b == tavosim::kEnq) {
        m.state = Model::State::Idle;
        return Expect::PollReply;
      }
      if (b == tavosim::kStx) {
        m.text.clear();
        m.state = Model::State::InText;
      } else if (b != tavosim::kEot) {
        m.state = Model::State::Idle;
      }
      return Expect::Nothing;
    case Model::State::InText:
      if (b == tavosim::kEtx) {
        m.state = Model::State::Bcc;
      } else if (b == tavosim::kEot) {
        m.state = Model::State::AfterEot;
      } else if (m.text.size() >= tavosim::HostParser::kMaxText) {
        m.state = Model::State::Idle;
      } else {
        m.text.push_back(static_cast<char>(b));
      }
      return Expect::Nothing;
    case Model::State::Bcc:
      *bccOk = Bcc(m.text) == b;
      m.state = Model::State::Idle;
      return Expect::CommandReply;
  }
  return Expect::Nothing;
}

// The text of a reply frame, after checking its form.
std::string FrameText(std::size_t at, const Bytes& out) {
  if (out.size() < 3 || out.front() != tavosim::kStx || out[out.size() - 2] != tavosim::kEtx)
    Fail(at, "not one reply frame", out);
  std::string text(out.begin() + 1, out.end() - 2);
  if (text.find(static_cast<char>(tavosim::kEtx)) != std::string::npos)
    Fail(at, "ETX inside a reply text", out);
  if (Bcc(text) != out.back()) Fail(at, "a reply frame with a bad BCC", out);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::int64_t step = data[0] * 10;

  tavosim::DeviceConfig config;  // no print folder: prints go nowhere
  tavosim::Simulator sim(config, 1);
  Model model;
  Bytes last;
  std::int64_t now = 1000;

  for (std::size_t i = 1; i < size; ++i) {
    now += step;
    if (step > tavosim::Simulator::kPartialTimeoutMs && model.state != Model::State::Idle) {
      model.state = Model::State::Idle;  // a partial frame or block left too long is dropped
      model.text.clear();
    }
    sim.Advance(now);
    const std::string command = model.text;
    bool bccOk = true;
    const Expect expect = Step(model, data[i], &bccOk);
    const Bytes out = sim.OnInput(&data[i], 1, now);

    switch (expect) {
      case Expect::Nothing:
        if (!out.empty()) Fail(i, "an answer where none is due", out);
        break;
      case Expect::Repeat:
        if (out != last)
          Fail(i, "a NAK did not get the last transmission \"" + Show(last) + "\"", out);
        break;
      case Expect::BlockReply:
        if (out != Bytes{tavosim::kAck} && out != Bytes{tavosim::kNak})
          Fail(i, "a block got neither ACK nor NAK", out);
        break;
      case Expect::PollReply: {
        const std::string text = FrameText(i, out);
        if (text.empty() || (text[0] != 'R' && text[0] != 'B' && text[0] != 'A'))
          Fail(i, "a poll reply that is not R, B or A", out);
        break;
      }
      case Expect::CommandReply: {
        if (!bccOk) {
          if (out != Bytes{tavosim::kNak}) Fail(i, "a bad BCC did not get NAK", out);
          break;
        }
        if (out == Bytes{tavosim::kAck}) break;
        const std::string text = FrameText(i, out);
        std::string echo = command.substr(0, 2);
        echo.resize(2, ' ');
        if (echo == "RS") {
          if (text.empty() || text[0] != 'R') Fail(i, "RS did not get an R reply", out);
          model.blockMode = false;
          break;
        }
        if (text.size() < 5 || text[0] != 'A' || text.compare(1, 2, echo) != 0 || text[3] < '0' ||
            text[3] > '9' || text[4] < '0' || text[4] > '9')
          Fail(i, "command \"" + command + "\" got no A answer with its echo and a status", out);
        if (echo == "IB" && text.compare(3, 2, "90") == 0) model.blockMode = true;
        break;
      }
    }
    if (!out.empty()) last = out;
    const int state = sim.device().StateDigit();
    const int card = sim.device().CardPosition();
    if (state < 0 || state > 9) Fail(i, "state digit " + std::to_string(state), out);
    if (card < 0 || card > 4) Fail(i, "card position " + std::to_string(card), out);
  }
  return 0;
}
