// The harness of the Tavotest end-to-end tests: a device played on a pseudo-terminal with a
// frame parser of its own, the program run as a child process with its transcript read line by
// line, the simulator on a pseudo-terminal with its trace, and small text helpers. Expected
// frames and texts are worked out by the tests from the link protocol, not taken from the
// application's code.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tavotest_e2e {

namespace fs = std::filesystem;
using Bytes = std::string;  // raw line bytes
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr char STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05, ACK = 0x06, NAK = 0x15;

// ---- Frames ------------------------------------------------------------------------------------

// XOR of the text bytes and ETX.
char Bcc(const Bytes& text) {
  char b = ETX;
  for (char c : text) b ^= c;
  return b;
}
// What the device sends: STX text ETX BCC.
Bytes Reply(const Bytes& text) {
  return STX + text + ETX + Bcc(text);
}
Bytes ReplyWithBadBcc(const Bytes& text) {
  return STX + text + ETX + static_cast<char>(Bcc(text) ^ 0x5A);
}
// What the host sends for a command: EOT STX text ETX BCC.
Bytes CommandFrame(const Bytes& text) {
  return EOT + Reply(text);
}
const Bytes kPoll{EOT, ENQ};

// "テスト" in code page 932.
const Bytes kTesutoSjis = "\x83\x65\x83\x58\x83\x67";

// One transmission of the host, as the device takes it apart.
struct HostFrame {
  enum class Kind { Poll, Command, Nak, Stray, Block };
  Kind kind = Kind::Stray;
  Bytes bytes;  // as on the line
  Bytes text;   // a command's text, without ETX; a block's 164 bytes
  speed_t speed = 0;
  Clock::time_point at;          // when the device read it
  Clock::time_point answeredAt;  // when the device's answer went out (none: at)
};

// Splits the host's byte stream into polls, command frames (with a good check byte), NAKs and
// stray bytes. After an "IB" command an SOH starts a 164-byte download block; any other byte
// where a block could start ends the block mode.
class FrameParser {
 public:
  static constexpr std::size_t kBlockSize = 164;

  // Returns true when c completed a transmission, stored in *out.
  bool Take(char c, HostFrame* out) {
    switch (state_) {
      case State::Block:
        partial_ += c;
        if (partial_.size() < kBlockSize) return false;
        state_ = State::Idle;
        return Emit(HostFrame::Kind::Block, partial_, partial_, out);
      case State::Idle:
        if (blockMode_ && c == 0x01) {
          partial_.assign(1, c);
          state_ = State::Block;
          return false;
        }
        blockMode_ = false;
        if (c == EOT) {
          partial_.assign(1, c);
          state_ = State::AfterEot;
          return false;
        }
        return Emit(c == NAK ? HostFrame::Kind::Nak : HostFrame::Kind::Stray, Bytes(1, c), {}, out);
      case State::AfterEot:
        partial_ += c;
        if (c == STX) {
          state_ = State::Text;
          return false;
        }
        state_ = State::Idle;
        return Emit(c == ENQ ? HostFrame::Kind::Poll : HostFrame::Kind::Stray, partial_, {}, out);
      case State::Text:
        partial_ += c;
        if (c == ETX) state_ = State::Check;
        return false;
      case State::Check: {
        partial_ += c;
        state_ = State::Idle;
        const Bytes text = partial_.substr(2, partial_.size() - 4);
        const bool good = Bcc(text) == c;
        blockMode_ = good && text == "IB";
        return Emit(good ? HostFrame::Kind::Command : HostFrame::Kind::Stray, partial_,
                    good ? text : Bytes(), out);
      }
    }
    return false;
  }

 private:
  enum class State { Idle, AfterEot, Text, Check, Block };
  static bool Emit(HostFrame::Kind kind, const Bytes& bytes, const Bytes& text, HostFrame* out) {
    *out = HostFrame{};
    out->kind = kind;
    out->bytes = bytes;
    out->text = text;
    return true;
  }
  State state_ = State::Idle;
  bool blockMode_ = false;
  Bytes partial_;
};

// "poll", "NAK", a command's text, or "stray" + hex bytes: frame lists read in test output.
std::string Describe(const HostFrame& f) {
  switch (f.kind) {
    case HostFrame::Kind::Poll:
      return "poll";
    case HostFrame::Kind::Nak:
      return "NAK";
    case HostFrame::Kind::Command:
      return f.text;
    case HostFrame::Kind::Block:
      return "block " + std::to_string(static_cast<unsigned char>(f.text[1]));
    case HostFrame::Kind::Stray:
      break;
  }
  std::string out = "stray";
  char hex[4];
  for (unsigned char c : f.bytes) {
    std::snprintf(hex, sizeof hex, " %02X", c);
    out += hex;
  }
  return out;
}
Lines Describe(const std::vector<HostFrame>& frames) {
  Lines out;
  for (const auto& f : frames) out.push_back(Describe(f));
  return out;
}
std::vector<HostFrame> Commands(const std::vector<HostFrame>& frames) {
  std::vector<HostFrame> out;
  for (const auto& f : frames)
    if (f.kind == HostFrame::Kind::Command) out.push_back(f);
  return out;
}
std::vector<HostFrame> OfKind(const std::vector<HostFrame>& frames, HostFrame::Kind kind) {
  std::vector<HostFrame> out;
  for (const auto& f : frames)
    if (f.kind == kind) out.push_back(f);
  return out;
}
// The texts of the commands among the frames, as bytes of the wire.
Lines CommandTexts(const std::vector<HostFrame>& frames) {
  Lines out;
  for (const auto& f : Commands(frames)) out.push_back(f.text);
  return out;
}
bool StartsWith(const std::string& s, const std::string& head) {
  return s.rfind(head, 0) == 0;
}
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
long long Ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// ---- The device played by the test ---------------------------------------------------------

// What the device sends back for a transmission, after a delay of its own; nothing for silence.
struct Answer {
  Answer() = default;
  Answer(Bytes b, int delay = 0) : bytes(std::move(b)), delayMs(delay) {}  // NOLINT
  Bytes bytes;
  int delayMs = 0;
  // >= 0: the device goes away (the pty's master closes) this long after the answer went out.
  int hangUpMs = -1;
};

// The usual device: a poll answers "R0000" (idle, no card), a command "A" + echo + "90";
// "RS" (reset) answers like a poll.
Answer UsualAnswer(const HostFrame& f) {
  if (f.kind == HostFrame::Kind::Poll || f.text == "RS") return Reply("R0000");
  if (f.kind == HostFrame::Kind::Command) return Reply("A" + f.text.substr(0, 2) + "90");
  return {};
}

// A pseudo-terminal whose slave is the program's COM1 and whose master is the device. A thread
// reads what the program sends, records each transmission with the line speed the program had
// set, and answers through the handler. The test keeps the slave open, so the line survives the
// program closing and reopening its port.
class PtyDevice {
 public:
  using Handler = std::function<Answer(const HostFrame&)>;

  explicit PtyDevice(Handler handler = UsualAnswer) : handler_(std::move(handler)) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed";
      return;
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    path_ = ttyname(slave_);
    thread_ = std::thread([this] { Run(); });
  }
  ~PtyDevice() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  const std::string& path() const { return path_; }

  std::vector<HostFrame> Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  // Waits until done(frames) holds, at most timeoutMs.
  bool WaitUntil(const std::function<bool(const std::vector<HostFrame>&)>& done,
                 int timeoutMs = 10000) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return done(frames_); });
  }
  bool WaitFrames(std::size_t count, int timeoutMs = 10000) const {
    return WaitUntil([count](const auto& f) { return f.size() >= count; }, timeoutMs);
  }

 private:
  struct Pending {
    Clock::time_point due;
    Bytes bytes;
    std::size_t frame;
    int hangUpMs;
  };

  void Run() {
    FrameParser parser;
    while (!stop_) {
      int waitMs = 20;
      const auto now = Clock::now();
      if (hangUp_ && *hangUp_ <= now) {
        close(master_);
        master_ = -1;
        return;
      }
      if (hangUp_) waitMs = static_cast<int>(std::clamp<long long>(Ms(*hangUp_ - now), 0, 20));
      if (!pending_.empty())
        waitMs = static_cast<int>(std::clamp<long long>(Ms(pending_.front().due - now), 0, 20));
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, waitMs) == 1 && (p.revents & POLLIN)) {
        char buf[512];
        const ssize_t n = read(master_, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i) {
          HostFrame f;
          if (parser.Take(buf[i], &f)) Record(std::move(f));
        }
      }
      while (!pending_.empty() && pending_.front().due <= Clock::now()) {
        const Pending a = pending_.front();
        pending_.pop_front();
        ssize_t written = write(master_, a.bytes.data(), a.bytes.size());
        (void)written;
        if (a.hangUpMs >= 0) hangUp_ = Clock::now() + std::chrono::milliseconds(a.hangUpMs);
        std::lock_guard lock(mutex_);
        frames_[a.frame].answeredAt = Clock::now();
        changed_.notify_all();
      }
    }
  }

  void Record(HostFrame f) {
    termios t{};
    tcgetattr(slave_, &t);
    f.speed = cfgetospeed(&t);
    f.at = f.answeredAt = Clock::now();
    const Answer a = handler_(f);
    std::lock_guard lock(mutex_);
    frames_.push_back(f);
    if (!a.bytes.empty()) {
      // Answers go out in order: one due earlier than an answer still waiting waits for it.
      Clock::time_point due = f.at + std::chrono::milliseconds(a.delayMs);
      if (!pending_.empty()) due = std::max(due, pending_.back().due);
      pending_.push_back({due, a.bytes, frames_.size() - 1, a.hangUpMs});
    }
    changed_.notify_all();
  }

  Handler handler_;
  int master_ = -1, slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::deque<Pending> pending_;              // device thread only
  std::optional<Clock::time_point> hangUp_;  // device thread only
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<HostFrame> frames_;
};

// ---- Child processes ---------------------------------------------------------------------------

// A program run with its standard output and error captured as they come.
class Child {
 public:
  // env entries "NAME=VALUE" replace or add to the test's own environment.
  Child(const std::string& program, const Lines& args, const Lines& env) {
    Lines environment;
    for (char** e = environ; *e; ++e) {
      const std::string entry(*e);
      const std::string name = entry.substr(0, entry.find('=') + 1);
      if (std::none_of(env.begin(), env.end(),
                       [&](const std::string& o) { return o.rfind(name, 0) == 0; }))
        environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    // Everything the child needs is built before fork: only async-signal-safe calls after it.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(null, 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(null);
    close(out[1]);
    close(err[1]);
    if (pid_ < 0) {
      close(out[0]);
      close(err[0]);
      ADD_FAILURE() << "fork failed";
      return;
    }
    reader_ = std::thread([this, o = out[0], e = err[0]] { Read(o, e); });
  }
  ~Child() {
    {
      std::lock_guard lock(mutex_);
      if (!ended_ && pid_ > 0) kill(pid_, SIGKILL);
    }
    if (reader_.joinable()) reader_.join();
  }

  // Waits for an output line that matches, at most timeoutMs.
  bool WaitLine(const std::function<bool(const std::string&)>& match, int timeoutMs = 10000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return std::any_of(lines_.begin(), lines_.end(), match); });
  }
  bool WaitLine(const std::string& line, int timeoutMs = 10000) {
    return WaitLine([&](const std::string& l) { return l == line; }, timeoutMs);
  }
  Lines OutputLines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::string Stderr() const {
    std::lock_guard lock(mutex_);
    return stderr_;
  }
  // The exit status; -1 when the program had not ended within timeoutMs (it is then killed).
  int Wait(int timeoutMs = 30000) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_; })) {
      kill(pid_, SIGKILL);
      changed_.wait(lock, [&] { return ended_; });
      return -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  }
  // Asks the program to end (SIGTERM) and waits for it as Wait does.
  int Terminate(int timeoutMs = 10000) {
    {
      std::lock_guard lock(mutex_);
      if (!ended_ && pid_ > 0) kill(pid_, SIGTERM);
    }
    return Wait(timeoutMs);
  }

 private:
  void Read(int out, int err) {
    std::string partial;
    while (out >= 0 || err >= 0) {
      pollfd p[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
      if (poll(p, 2, -1) < 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[4096];
        const ssize_t n = read(p[i].fd, buf, sizeof buf);
        std::lock_guard lock(mutex_);
        if (n <= 0) {
          close(p[i].fd);
          (i == 0 ? out : err) = -1;
        } else if (i == 1) {
          stderr_.append(buf, static_cast<std::size_t>(n));
        } else {
          partial.append(buf, static_cast<std::size_t>(n));
          std::size_t nl;
          while ((nl = partial.find('\n')) != std::string::npos) {
            lines_.push_back(partial.substr(0, nl));
            partial.erase(0, nl + 1);
          }
        }
        changed_.notify_all();
      }
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    std::lock_guard lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    status_ = status;
    ended_ = true;
    changed_.notify_all();
  }

  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Lines lines_;
  std::string stderr_;
  bool ended_ = false;
  int status_ = 0;
};

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}
// The index of the first line equal to `line` at or after `from`; -1 when there is none.
long IndexOf(const Lines& lines, const std::string& line, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i] == line) return static_cast<long>(i);
  return -1;
}
// The lines a UI script's print commands and message boxes wrote ("OBJECT: TEXT",
// "message: TEXT -> ANSWER"), without the log lines.
Lines Printed(const Lines& lines) {
  Lines out;
  for (const auto& l : lines) {
    const auto colon = l.find(": ");
    if (colon != std::string::npos && colon > 0 &&
        std::all_of(l.begin(), l.begin() + static_cast<long>(colon), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '(' || c == ')';
        }))
      out.push_back(l);
  }
  return out;
}
std::string Joined(const Lines& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// section -> key -> value of an INI file.
using Ini = std::map<std::string, std::map<std::string, std::string>>;
Ini ReadIni(const std::string& text) {
  Ini ini;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      ini[section];
    } else if (const auto eq = line.find('='); eq != std::string::npos) {
      ini[section][line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return ini;
}
// A key's value, or "(missing)".
std::string Value(const Ini& ini, const std::string& section, const std::string& key) {
  const auto s = ini.find(section);
  if (s == ini.end()) return "(missing)";
  const auto k = s->second.find(key);
  return k == s->second.end() ? "(missing)" : k->second;
}
std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
// A command file: each line ended by CR LF.
std::string CommandFile(const Lines& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

// ---- The fixture -------------------------------------------------------------------------------

class TavotestE2E : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavotest-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    fs::create_directory(home_);
    fs::create_directory(root_ / "xdg");
    fs::permissions(root_ / "xdg", fs::perms::owner_all, fs::perm_options::replace);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Tavotest with the program folder home_ and COM1 at com1.
  std::unique_ptr<Child> Start(Lines args, const std::string& com1) {
    args.push_back("--home");
    args.push_back(home_.string());
    // In a sanitizer build the program is not checked for leaks here: these tests are about the
    // line, and at exit Qt can leave its own thread data behind (a leak inside the library,
    // now and then, under load). The window and the exchange are leak-checked in process by
    // their own tests.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string("ASAN_OPTIONS=") +
                                    (asan && *asan ? std::string(asan) + ":" : "") +
                                    "detect_leaks=0";
    return std::make_unique<Child>(
        TAVOTEST_BINARY, args,
        Lines{"RAVLIN_COM1=" + com1, "XDG_RUNTIME_DIR=" + (root_ / "xdg").string(),
              "RAVLIN_REGISTRY=" + (root_ / "no-registry.reg").string(), "RAVLIN_ACP=932",
              "QT_QPA_PLATFORM=offscreen", asanOptions});
  }
  // A command file run to its end: the exit status, the transcript in *lines.
  int RunFile(const std::string& commands, const std::string& com1, Lines* lines,
              Lines extra = {}) {
    const fs::path file = root_ / "commands.txt";
    WriteText(file, commands);
    extra.insert(extra.begin(), {"--run", file.string()});
    auto app = Start(extra, com1);
    const int status = app->Wait(60000);
    *lines = app->OutputLines();
    stderr_ = app->Stderr();
    return status;
  }
  // A UI script (UTF-8) run to its end.
  int RunUiScript(const std::string& script, const std::string& com1, Lines* lines,
                  Lines extra = {}) {
    const fs::path file = root_ / "script.txt";
    WriteText(file, script);
    extra.insert(extra.begin(), {"--ui-script", file.string()});
    auto app = Start(extra, com1);
    const int status = app->Wait(60000);
    *lines = app->OutputLines();
    stderr_ = app->Stderr();
    return status;
  }
  fs::path Settings() const { return home_ / "Marlo4.ini"; }

  fs::path root_, home_;
  std::string stderr_;
};

// ---- Against the simulator ---------------------------------------------------------------------

// tavosim on a pseudo-terminal reached through a link, tracing what it reads.
class Simulator {
 public:
  Simulator(const fs::path& dir, const Lines& options)
      : link_(dir / "link"), trace_(dir / "trace") {
    Lines args{"--speed", "0", "--baud", "0", "--link", link_.string(), "--trace", trace_.string()};
    args.insert(args.end(), options.begin(), options.end());
    child_ = std::make_unique<Child>(TAVOSIM_BINARY, args, Lines{});
    ready_ = child_->WaitLine([](const std::string& l) { return l.rfind("pty ", 0) == 0; });
  }
  ~Simulator() { child_.reset(); }

  bool ready() const { return ready_; }
  std::string link() const { return link_.string(); }
  // Ends the simulator as an operator does (it saves its EEPROM file); its exit status.
  int Stop() { return child_->Terminate(); }

  // The host's transmissions in the trace, taken apart.
  std::vector<HostFrame> HostFrames() const {
    FrameParser parser;
    std::vector<HostFrame> frames;
    std::istringstream in(ReadText(trace_));
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string stamp, who, hex;
      words >> stamp >> who;
      if (who != "host") continue;
      while (words >> hex) {
        HostFrame f;
        if (parser.Take(static_cast<char>(std::stoi(hex, nullptr, 16)), &f)) frames.push_back(f);
      }
    }
    return frames;
  }

 private:
  fs::path link_, trace_;
  std::unique_ptr<Child> child_;
  bool ready_ = false;
};

// Polls in a row count as one: a poll that Auto Poll asked for may go out just before the next
// Send's own poll, by the timing of the scheduler's tick.
Lines WithPollRunsMerged(const Lines& described) {
  Lines out;
  for (const auto& d : described)
    if (d != "poll" || out.empty() || out.back() != "poll") out.push_back(d);
  return out;
}

}  // namespace tavotest_e2e
