// tavosim as a program: a host written here talks to it over its pseudo-terminal and drives it
// through its control input, as Tavotest or a terminal program would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::string;  // raw line bytes
using Clock = std::chrono::steady_clock;

constexpr char STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05, ACK = 0x06, NAK = 0x15;

// Worked out here, not taken from the simulator's code.
char Xor(const std::string& text) {
  char b = 0;
  for (char c : text) b ^= c;
  return static_cast<char>(b ^ ETX);
}
Bytes Frame(const std::string& text) {
  return std::string(1, STX) + text + ETX + Xor(text);
}
Bytes Command(const std::string& text) {
  return std::string(1, EOT) + Frame(text);
}

std::filesystem::path TempPath(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("tavosim-e2e-" + std::to_string(::getpid()) + "-" + name);
}

class Tavosim {
 public:
  ~Tavosim() { Kill(); }

  void Start(const std::vector<std::string>& args) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(TAVOSIM_BINARY));
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TAVOSIM_BINARY, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    control_ = in[1];
    stdout_ = out[0];
    const std::string first = ReadLine(5000);
    ASSERT_EQ(first.rfind("pty /dev/pts/", 0), 0u) << first;
    ptyName_ = first.substr(4);
    host_ = open(ptyName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(host_, 0);
    termios t{};
    tcgetattr(host_, &t);
    cfmakeraw(&t);
    tcsetattr(host_, TCSANOW, &t);
  }

  std::string ReadLine(int timeoutMs) {
    std::string line;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char c;
    while (Clock::now() < end) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 50) == 1) {
        if (read(stdout_, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
      }
    }
    return line;
  }

  // Returns tavosim's acknowledgement line ("ok ..." or "error ...").
  std::string Control(const std::string& line) {
    const std::string l = line + "\n";
    if (write(control_, l.data(), l.size()) != static_cast<ssize_t>(l.size())) return "write";
    return ReadLine(5000);
  }

  void Send(const Bytes& b) {
    ASSERT_EQ(write(host_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
  }

  // One transmission of the device: ACK, NAK or a whole frame, with any stray bytes before it.
  // Empty after the time-out.
  Bytes Receive(int timeoutMs = 2000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      // Complete transmission in the buffer?
      std::size_t stx = pending_.npos;
      for (std::size_t i = 0; i < pending_.size(); ++i) {
        const char c = pending_[i];
        if (stx == pending_.npos && (c == ACK || c == NAK)) return Take(i + 1);
        if (stx == pending_.npos && c == STX) stx = i;
        if (stx != pending_.npos && c == ETX && i + 1 < pending_.size()) return Take(i + 2);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) return Take(0);
      pollfd p{host_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) == 1) {
        char buf[512];
        const ssize_t n = read(host_, buf, sizeof buf);
        if (n > 0) pending_.append(buf, static_cast<std::size_t>(n));
      }
    }
  }

  Bytes Exchange(const std::string& text) {
    Send(Command(text));
    return Receive();
  }
  Bytes Poll() {
    Send(std::string{EOT, ENQ});
    return Receive();
  }
  // Polls until the answer is not "B", at most timeoutMs.
  Bytes PollUntilDone(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Bytes r;
    do {
      r = Poll();
      if (r.size() < 2 || r[1] != 'B') return r;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return r;
  }

  // SIGTERM, then the exit status (-1 if it did not end in time).
  int Terminate() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    return Wait();
  }
  int Wait() {
    int status = 0;
    for (int i = 0; i < 300; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        CloseAll();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    CloseAll();
  }

  int host() const { return host_; }
  const std::string& ptyName() const { return ptyName_; }

 private:
  Bytes Take(std::size_t n) {
    Bytes r = pending_.substr(0, n);
    pending_.erase(0, n);
    return r;
  }
  void CloseAll() {
    for (int* fd : {&host_, &control_, &stdout_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  pid_t pid_ = -1;
  int control_ = -1, stdout_ = -1, host_ = -1;
  std::string ptyName_;
  Bytes pending_;
};

const std::vector<std::string> kFast = {"--baud", "0", "--speed", "0"};

std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

TEST(TavosimE2E, FramesBccPowerUpNakRepeatAndBadBcc) {
  Tavosim sim;
  ASSERT_NO_FATAL_FAILURE(sim.Start(kFast));
  EXPECT_EQ(sim.Poll(), Frame("R2000"));
  EXPECT_EQ(sim.Exchange("VS"), Frame("AVS10"));
  EXPECT_EQ(sim.Exchange("RS"), Frame("R2000"));
  EXPECT_EQ(sim.Exchange("PA"), Frame("APA90"));
  // Noise outside a frame is ignored; the command after it is answered.
  sim.Send("zz\x03\x06");
  const Bytes version = sim.Exchange("VS");
  ASSERT_EQ(version.size(), 16u);
  EXPECT_EQ(version.substr(0, 6), std::string("\x02"
                                              "AVS90"));
  EXPECT_EQ(version.back(), Xor(version.substr(1, version.size() - 3)));
  // NAK: the same bytes again.
  sim.Send(std::string(1, NAK));
  EXPECT_EQ(sim.Receive(), version);
  // A command with a wrong BCC.
  Bytes bad = Command("VS");
  bad.back() ^= 0x01;
  sim.Send(bad);
  EXPECT_EQ(sim.Receive(), std::string(1, NAK));
  EXPECT_EQ(sim.Exchange("ZZ"), Frame("AZZ11"));
  EXPECT_EQ(sim.Exchange("DT:x"), Frame("ADT14"));
  EXPECT_EQ(sim.Terminate(), 0);
}

TEST(TavosimE2E, AckThenBThenAThroughPolls) {
  Tavosim sim;
  ASSERT_NO_FATAL_FAILURE(
      sim.Start({"--baud", "0", "--speed", "0.25", "--insert-ms", "400", "--remove-ms", "-1"}));
  sim.Exchange("PA");
  EXPECT_EQ(sim.Exchange("CI"), std::string(1, ACK));
  EXPECT_EQ(sim.Poll(), Frame("BCI00"));
  EXPECT_EQ(sim.Exchange("VS"), Frame("AVS12"));
  EXPECT_EQ(sim.PollUntilDone(3000), Frame("ACI90"));
  EXPECT_EQ(sim.Poll(), Frame("R0200"));
  EXPECT_EQ(sim.Exchange("CO"), std::string(1, ACK));
  EXPECT_EQ(sim.PollUntilDone(3000), Frame("ACO90"));
  EXPECT_EQ(sim.Poll(), Frame("R0400"));
}

TEST(TavosimE2E, CardCycleAndPowerFromTheControlInput) {
  Tavosim sim;
  ASSERT_NO_FATAL_FAILURE(sim.Start(With(kFast, {"--insert-ms", "-1", "--remove-ms", "-1"})));
  sim.Exchange("PA");
  EXPECT_EQ(sim.Exchange("RD"), Frame("ARD25"));
  EXPECT_EQ(sim.Exchange("CI"), std::string(1, ACK));
  EXPECT_EQ(sim.Poll(), Frame("BCI00"));
  EXPECT_EQ(sim.Control("insert"), "ok insert");
  EXPECT_EQ(sim.Poll(), Frame("ACI90"));
  EXPECT_EQ(sim.Poll(), Frame("R0200"));
  EXPECT_EQ(sim.Exchange("CO"), std::string(1, ACK));
  EXPECT_EQ(sim.Poll(), Frame("ACO90"));
  EXPECT_EQ(sim.Poll(), Frame("R0400"));
  EXPECT_EQ(sim.Control("remove"), "ok remove");
  EXPECT_EQ(sim.Poll(), Frame("R0000"));
  EXPECT_EQ(sim.Control("state 5"), "ok state 5");
  EXPECT_EQ(sim.Control("state five").rfind("error ", 0), 0u);
  EXPECT_EQ(sim.Poll(), Frame("R5000"));
  EXPECT_EQ(sim.Control("power"), "ok power");
  EXPECT_EQ(sim.Poll(), Frame("R2000"));
  EXPECT_EQ(sim.Exchange("TH"), Frame("ATH10"));
  EXPECT_EQ(sim.Exchange("CT:4"), Frame("ACT10"));
  sim.Exchange("PA");
  EXPECT_EQ(sim.Exchange("CT:4"), Frame("ACT9000000001"));
  sim.Control("quit");
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(TavosimE2E, TrackWriteAndReadBackInCodePage932) {
  Tavosim sim;
  ASSERT_NO_FATAL_FAILURE(sim.Start(With(kFast, {"--insert-ms", "0"})));
  sim.Exchange("PA");
  sim.Exchange("CI");
  EXPECT_EQ(sim.Poll(), Frame("ACI90"));
  const std::string data =
      "ABC\xB1\xB2\x82\xA0"
      "123";  // half-width katakana, a kana pair
  EXPECT_EQ(sim.Exchange("WD:1/" + data), Frame("AWD90"));
  EXPECT_EQ(sim.Exchange("WD:2/0123456789"), Frame("AWD90"));
  EXPECT_EQ(sim.Exchange("MS:C3"), Frame("AMS90"));
  sim.Exchange("WR");
  EXPECT_EQ(sim.Poll(), Frame("AWR90"));
  sim.Exchange("RD");
  EXPECT_EQ(sim.Poll(), Frame("ARD90"));
  EXPECT_EQ(sim.Exchange("DT:1"), Frame("ADT901" + data));
  EXPECT_EQ(sim.Exchange("DT:2"), Frame("ADT9020123456789"));
  EXPECT_EQ(sim.Exchange("RC"), Frame("ARC9090909292"
                                      "92"));
}

TEST(TavosimE2E, EepromRoundTripAcrossRunsWithLinkAndSigterm) {
  const auto file = TempPath("eeprom.txt");
  const auto link = TempPath("link");
  std::filesystem::remove(file);
  {
    Tavosim sim;
    ASSERT_NO_FATAL_FAILURE(
        sim.Start(With(kFast, {"--eeprom", file.string(), "--link", link.string()})));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.ptyName());
    sim.Exchange("PA");
    EXPECT_EQ(sim.Exchange("eer:20/01"), Frame("Aee903532"));  // factory TPH rank and density
    EXPECT_EQ(sim.Exchange("eew:40/02/1234ABCD"), Frame("Aee90"));
    EXPECT_EQ(sim.Exchange("eer:3F/03"), Frame("Aee90FFFF1234ABCD"));
    EXPECT_EQ(sim.Terminate(), 0);
  }
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  ASSERT_TRUE(std::filesystem::exists(file));
  {
    Tavosim sim;
    ASSERT_NO_FATAL_FAILURE(sim.Start(With(kFast, {"--eeprom", file.string()})));
    sim.Exchange("PA");
    EXPECT_EQ(sim.Exchange("eer:40/02"), Frame("Aee901234ABCD"));
    EXPECT_EQ(sim.Terminate(), 0);
  }
  std::filesystem::remove(file);
}

TEST(TavosimE2E, BlockModeWithABadBlockThenPrintToPng) {
  const auto dir = TempPath("prints");
  std::filesystem::create_directories(dir);
  Tavosim sim;
  ASSERT_NO_FATAL_FAILURE(
      sim.Start(With(kFast, {"--insert-ms", "0", "--print-dir", dir.string()})));
  sim.Exchange("PA");
  EXPECT_EQ(sim.Exchange("PC"), Frame("APC90"));
  EXPECT_EQ(sim.Exchange("IB"), Frame("AIB90"));
  auto block = [](int n, char fill, bool damage) {
    std::string b = {0x01, static_cast<char>(n), static_cast<char>(255 - n)};
    unsigned char sum = 0;
    for (int i = 0; i < 160; ++i) {
      b += fill;
      sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(fill));
    }
    b += static_cast<char>(damage ? sum + 1 : sum);
    return b;
  };
  sim.Send(block(15, '\xF0', false));
  EXPECT_EQ(sim.Receive(), std::string(1, ACK));
  sim.Send(block(16, '\x0F', true));
  EXPECT_EQ(sim.Receive(), std::string(1, NAK));
  sim.Send(block(17, '\x04', false));  // EOT as data stays data
  EXPECT_EQ(sim.Receive(), std::string(1, ACK));
  // A poll ends block mode.
  EXPECT_EQ(sim.Poll(), Frame("R0000"));
  EXPECT_EQ(sim.Exchange("CI"), std::string(1, ACK));
  EXPECT_EQ(sim.Poll(), Frame("ACI90"));
  EXPECT_EQ(sim.Exchange("PR"), std::string(1, ACK));
  EXPECT_EQ(sim.Poll(), Frame("APR90"));
  EXPECT_EQ(sim.Terminate(), 0);
  const auto png = dir / "card-0001.png";
  ASSERT_TRUE(std::filesystem::exists(png));
  EXPECT_GT(std::filesystem::file_size(png), 460u * 41u);
  EXPECT_TRUE(std::filesystem::exists(dir / "card-0001.txt"));
  std::filesystem::remove_all(dir);
}

TEST(TavosimE2E, FaultsWithASeedRepeatExactly) {
  auto run = [](const std::string& seed) {
    Tavosim sim;
    sim.Start(With(kFast, {"--fault", "nak=0.3,bcc=0.3,garbage=0.3,busy=0.2", "--seed", seed}));
    std::vector<Bytes> seen;
    for (int i = 0; i < 30; ++i) seen.push_back(sim.Exchange(i % 3 ? "PA" : "VS"));
    sim.Terminate();
    return seen;
  };
  const auto a = run("11");
  ASSERT_EQ(a.size(), 30u);
  EXPECT_EQ(a, run("11"));
  EXPECT_NE(a, run("12"));
  int naks = 0, damaged = 0;
  for (const Bytes& r : a) {
    if (r == std::string(1, NAK)) ++naks;
    if (r.size() > 1 && r[0] != STX) ++damaged;  // stray byte first
    if (r.size() > 1 && r[0] == STX && r.back() != Xor(r.substr(1, r.size() - 3))) ++damaged;
  }
  EXPECT_GT(naks, 0);
  EXPECT_GT(damaged, 0);
}

// Runs tavosim to its end with no control input: its exit status (-1 when it did not end within
// timeoutMs; it is then killed) and what it wrote to standard error.
int RunToExit(const std::vector<std::string>& args, std::string* errors, int timeoutMs = 10000) {
  int err[2];
  if (pipe(err) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(err[1], 2);
    close(err[0]), close(err[1]);
    std::vector<char*> argv{const_cast<char*>(TAVOSIM_BINARY)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(TAVOSIM_BINARY, argv.data());
    _exit(127);
  }
  close(err[1]);
  errors->clear();
  // Standard error ends when the program does.
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ended = false;
  while (!ended && Clock::now() < end) {
    pollfd p{err[0], POLLIN, 0};
    if (poll(&p, 1, 50) != 1) continue;
    char buf[4096];
    const ssize_t n = read(err[0], buf, sizeof buf);
    if (n > 0) errors->append(buf, static_cast<std::size_t>(n));
    ended = n == 0;
  }
  close(err[0]);
  if (!ended) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TavosimE2E, AnEepromPathThatIsNoRegularFileOrHoldsAnEndlessTokenIsRefused) {
  const auto fifo = TempPath("eeprom.fifo");
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string errors;
  // Refused as a bad option: status 2 and the usage, without waiting for a writer.
  EXPECT_EQ(RunToExit(With(kFast, {"--eeprom", fifo.string()}), &errors), 2);
  EXPECT_EQ(errors.rfind("tavosim: bad value for --eeprom: " + fifo.string() +
                             ": not a regular file (a FIFO)\nusage: tavosim",
                         0),
            0u)
      << errors;
  std::filesystem::remove(fifo);

  // A file that cannot be loaded: status 1, the token quoted with 200 characters at most.
  const auto file = TempPath("eeprom-long.txt");
  const std::string head(200, 'F');
  {
    std::ofstream out(file);
    out << "0000 " << head << "MARKER" << std::string(100'000, '7') << "\n";
  }
  EXPECT_EQ(RunToExit(With(kFast, {"--eeprom", file.string()}), &errors), 1);
  EXPECT_EQ(errors,
            "tavosim: " + file.string() + ": not a 4-digit hexadecimal word: " + head + "...\n");
  std::filesystem::remove(file);
}

TEST(TavosimE2E, OutputIsPacedAtTheLineSpeed) {
  // "AVS10" framed is 8 bytes: 80 bits at 8N1 (66.7 ms at 1200 bit/s), 88 with parity (73.3 ms).
  auto replyMs = [](const std::vector<std::string>& args) {
    Tavosim sim;
    sim.Start(args);
    const auto t0 = Clock::now();
    const Bytes r = sim.Exchange("VS");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_EQ(r, Frame("AVS10"));
    return ms;
  };
  const double plain = replyMs({"--baud", "1200", "--speed", "0"});
  EXPECT_GE(plain, 64.0);
  EXPECT_LT(plain, 1000.0);
  const double parity = replyMs({"--baud", "1200", "--parity", "even", "--speed", "0"});
  EXPECT_GE(parity, 71.0);
  EXPECT_LT(parity, 1000.0);
}

}  // namespace
