// ravlin-testcon end to end: the real binary, which loads libravlin.so by CLSID, drives a
// pseudo-terminal whose other end this test holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// One testcon process with COM1 on a fresh pty.
class Testcon {
 public:
  explicit Testcon(std::vector<std::string> options = {},
                   std::vector<std::pair<std::string, std::string>> environment = {}) {
    int slave = -1;
    if (openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return;
    slavePath_ = ttyname(slave);
    slave_ = slave;
    struct termios raw;
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(in[1]);
      close(out[0]);
      close(master_);
      setenv("RAVLIN_COM1", slavePath_.c_str(), 1);
      setenv("RAVLIN_REGISTRY", "/nonexistent/ravlin-testcon-e2e.reg", 1);
      setenv("RAVLIN_ACP", "932", 1);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(RAVLIN_TESTCON)};
      for (auto& o : options) argv.push_back(o.data());
      argv.push_back(nullptr);
      execv(RAVLIN_TESTCON, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    fcntl(fromChild_, F_SETFL, O_NONBLOCK);
  }
  ~Testcon() {
    if (toChild_ >= 0) close(toChild_);
    if (pid_ > 0) {
      int status = 0;
      for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
    if (fromChild_ >= 0) close(fromChild_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  void Send(const std::string& lines) {
    ASSERT_EQ(write(toChild_, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  }
  // Reads output until `count` result lines ("=> " or "!! ") have arrived; returns all lines.
  std::vector<std::string> Results(int count, int timeoutMs = 10000) {
    std::vector<std::string> lines;
    int results = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (results < count && std::chrono::steady_clock::now() < end) {
      pollfd p{fromChild_, POLLIN, 0};
      poll(&p, 1, 50);
      char buf[4096];
      ssize_t n = read(fromChild_, buf, sizeof buf);
      if (n > 0) buffer_.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      while ((nl = buffer_.find('\n')) != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (line.rfind("=> ", 0) == 0 || line.rfind("!! ", 0) == 0) ++results;
        lines.push_back(line);
      }
    }
    return lines;
  }
  // What the program wrote to the line, waiting until `size` bytes came.
  std::string Peer(std::size_t size, int timeoutMs = 3000) {
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < size && std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buf[256];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
      }
    }
    return got;
  }
  void PeerWrite(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Asks for InputBufferByteCount every 10 ms until it reads `count`: true; false once
  // `timeoutMs` passed. The port must be open.
  bool AwaitQueued(int count, int timeoutMs = 5000) {
    const std::string want = "=> " + std::to_string(count);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      Send("get InputBufferByteCount\n");
      const std::vector<std::string> lines = Results(1);
      if (!lines.empty() && lines.back() == want) return true;
      if (lines.empty() || std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // The device goes away: the pty's master closes, as a USB adapter pulled out hangs up its tty.
  void HangUp() {
    close(master_);
    master_ = -1;
  }
  struct termios Line() {
    struct termios t {};
    tcgetattr(slave_, &t);
    return t;
  }
  // Ends the input, waits for the program to end, and gives what it wrote since the last
  // Results and its exit status.
  std::pair<std::string, int> Finish(int timeoutMs = 10000) {
    if (toChild_ >= 0) close(toChild_);
    toChild_ = -1;
    std::string out = buffer_;
    buffer_.clear();
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      pollfd p{fromChild_, POLLIN, 0};
      poll(&p, 1, 50);
      char buf[4096];
      ssize_t n = read(fromChild_, buf, sizeof buf);
      if (n > 0) out.append(buf, static_cast<std::size_t>(n));
      if (n == 0 || std::chrono::steady_clock::now() > end) break;
    }
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      pid_ = -1;
      return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }
    return {out, -1};
  }

 private:
  int master_ = -1, slave_ = -1, toChild_ = -1, fromChild_ = -1;
  pid_t pid_ = -1;
  std::string slavePath_, buffer_;
};

TEST(TestconEndToEnd, OpenLineSettingsAndTheDocumentedExample) {
  Testcon t;
  t.Send("call Crc16 bytes:313233343536373839\ncall Open\nget BaudRate\n");
  EXPECT_EQ(t.Results(3), (std::vector<std::string>{"=> bytes:31C3", "=> true", "=> 9600"}));
  struct termios line = t.Line();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(line.c_cflag & PARENB);
  EXPECT_FALSE(line.c_cflag & CSTOPB);

  // A pseudo-terminal takes the speed (its character format stays 8N1).
  t.Send("put BaudRate 19200\nget BaudRate\n");
  EXPECT_EQ(t.Results(2), (std::vector<std::string>{"changed 81", "=> ok", "=> 19200"}));
  line = t.Line();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
  t.Send("call Close\nquit\n");
  EXPECT_EQ(t.Results(2), (std::vector<std::string>{"=> true", "=> ok"}));
}

TEST(TestconEndToEnd, BlockingInputAJapaneseStringAndAnErrorWithItsHResult) {
  Testcon t;
  t.Send("call Open - - - - - - 10 - 1\n");
  std::vector<std::string> opened = t.Results(1);
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(opened.back(), "=> true");
  t.Send("call Output \"日本語 ok\"\n");
  EXPECT_EQ(t.Results(1), (std::vector<std::string>{"=> 9"}));
  EXPECT_EQ(t.Peer(9), "\x93\xfa\x96\x7b\x8c\xea ok");  // code page 932

  t.PeerWrite("AB\x82\xa0");
  ASSERT_TRUE(t.AwaitQueued(4)) << "the bytes reach the port before Input asks for them";
  t.Send("call Input\n");
  EXPECT_EQ(t.Results(1), (std::vector<std::string>{"out InputString = \"ABあ\"", "=> 4"}));
  // Too few bytes within the time-out: the event, then -1; the bytes stay queued.
  t.PeerWrite("xy");
  t.Send("call InputB nothing 5\nget InputBufferByteCount\n");
  EXPECT_EQ(t.Results(2), (std::vector<std::string>{"event CommIOState(514)",
                                                    "out InputBytes = bytes:", "=> -1", "=> 2"}));
  t.Send("put XonByte 19\ncall Open\nget Handle\n");
  std::vector<std::string> r = t.Results(3);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0], "!! 0x800400D9 XonキャラクタおよびXoffキャラクタを同じにすることはできません。");
  EXPECT_EQ(r[1], "!! 0x800400CE シリアルポートはすでにオープンされています。");
  EXPECT_EQ(r[2].rfind("=> ", 0), 0u);
  t.Send("quit\n");
  t.Results(1);
}

TEST(TestconEndToEnd, AutomaticInputAndQueuedOutputPrintEventsInOrder) {
  Testcon t;
  t.Send("put InputThreshold 3\ncall Open\n");
  EXPECT_EQ(t.Results(2), (std::vector<std::string>{"changed 101", "=> ok", "=> true"}));
  t.PeerWrite("hello");
  t.Send("pump 300\n");
  EXPECT_EQ(t.Results(1), (std::vector<std::string>{"event AutoInput(bytes:68656C6C6F, 5)",
                                                    "event CommIOState(512)", "=> ok"}));
  t.Send("call Output \"ping\"\npump 300\n");
  EXPECT_EQ(t.Results(2),
            (std::vector<std::string>{"=> 1", "event NonblockOutput(1, 4)", "=> ok"}));
  EXPECT_EQ(t.Peer(4), "ping");
  t.Send("quit\n");
  t.Results(1);
}

// A device that goes away reads as a pulled cable: one CommState (CTS, DSR and CD went off
// together; CD is named), the lines read off, the port stays open until closed, then no event.
TEST(TestconEndToEnd, AVanishedDeviceReadsAsAPulledCable) {
  Testcon t;
  t.Send("call Open\nget Dsr\n");
  EXPECT_EQ(t.Results(2), (std::vector<std::string>{"=> true", "=> true"}));
  t.HangUp();
  t.Send("pump 300\nget Dsr\nget Cts\nget Cd\nget Opened\n");
  EXPECT_EQ(t.Results(5), (std::vector<std::string>{"event CommState(3)", "=> ok", "=> false",
                                                    "=> false", "=> false", "=> true"}));
  // A queued write is taken and ends with nothing written.
  t.Send("call Output \"x\"\npump 300\n");
  EXPECT_EQ(t.Results(2),
            (std::vector<std::string>{"=> 1", "event NonblockOutput(1, 0)", "=> ok"}));
  t.Send("call Close\npump 200\nget Opened\nquit\n");
  EXPECT_EQ(t.Results(4), (std::vector<std::string>{"=> true", "=> ok", "=> false", "=> ok"}));
}

// Sibling controls on the form: a modem control links, dials the pty itself and hands the line
// over, gets it back at the close and can still use it; then a counting occupier takes the port.
TEST(TestconEndToEnd, AModemSiblingHandsOverItsLineAndAnOccupierTakesThePort) {
  Testcon t;
  t.Send(
      "place Q1 modem\nplace P1 plain\ncall ConnectTapiCtl @P1\ncall ConnectTapiCtl @Q1\n"
      "call _TapiCtl\nget TapiCtl\ncall Open\nput BaudRate 4800\n");
  EXPECT_EQ(
      t.Results(8),
      (std::vector<std::string>{
          "=> ok", "=> ok", "!! 0x80070057", "sibling Q1: attach(Port1)", "=> true", "=> true",
          "=> object", "=> false",
          "!! 0x800400D4 この操作は、Quorvelコントロールが連結されていないときにのみ有効です。"}));

  t.Send("tell Q1 dial \"COM1\"\ncall Output \"hi\"\n");
  EXPECT_EQ(t.Results(2),
            (std::vector<std::string>{"changed 81", "changed 85", "changed 133", "changed 97",
                                      "changed 121", "=> true", "=> 1"}));
  EXPECT_EQ(t.Peer(2), "hi");
  t.Send("pump 300\n");
  EXPECT_EQ(t.Results(1), (std::vector<std::string>{"event NonblockOutput(1, 2)", "=> ok"}));
  t.PeerWrite("yo");
  t.Send("pump 300\ncall Close\ntell Q1 close\nget Opened\ntell Q1 send \"ok\"\n");
  EXPECT_EQ(t.Results(5), (std::vector<std::string>{"event AutoInput(bytes:796F, 2)", "=> ok",
                                                    "=> false", "=> true", "=> false", "=> ok"}));
  EXPECT_EQ(t.Peer(2), "ok");  // the modem control's own handle still reaches the line

  t.Send(
      "tell Q1 hangup\nplace T1 counting-occupier\nput _TermOrFile @T1\ncall Output \"x\"\n"
      "call DisconnectTapiCtl\ncall Open\ncall Close\nunplace T1\nquit\n");
  EXPECT_EQ(t.Results(9),
            (std::vector<std::string>{
                "=> ok", "=> ok", "=> ok", "=> -2", "sibling Q1: attach(nothing)", "=> true",
                "sibling T1: PortOpened()", "=> true", "sibling T1: PortClosed()",
                "sibling T1: Notify()", "=> true", "=> ok", "=> ok"}));
}

TEST(TestconEndToEnd, HelpListsTheCommandsAndUnknownSiblingsAreReported) {
  Testcon t;
  t.Send("help\nplace Port1 modem\ntell Q9 refuse\nput _TermOrFile @Q9\nunplace Q9\nquit\n");
  std::vector<std::string> r = t.Results(6);
  ASSERT_GE(r.size(), 6u);
  const auto has = [&](const std::string& text) {
    return std::find_if(r.begin(), r.end(), [&](const std::string& l) {
             return l.find(text) != std::string::npos;
           }) != r.end();
  };
  EXPECT_TRUE(has("place NAME modem|occupier|counting-occupier|plain"));
  EXPECT_TRUE(has("tell NAME refuse|agree|dial DEVICE|close|send TEXT|hangup"));
  EXPECT_TRUE(has("@NAME"));
  EXPECT_EQ(
      std::vector<std::string>(r.end() - 5, r.end()),
      (std::vector<std::string>{"!! 0x80070057 the form already holds a control named 'Port1'",
                                "!! 0x80070057 no sibling named 'Q9' on the form",
                                "!! 0x80070057 argument 1: no control named 'Q9' on the form",
                                "!! 0x80070057 no sibling named 'Q9' on the form", "=> ok"}));
}

TEST(TestconEndToEnd, MalformedLinesAreReportedAndTheNextLineRuns) {
  Testcon t;
  t.Send(
      "# a comment\n\nfrobnicate\nget\ncall Output \"abc\nget NoSuchThing\ninvoke 10 call\n"
      "invoke 16 call\nput BaudRate \"fast\"\nget DataBits\nquit\n");
  std::vector<std::string> r = t.Results(9);
  EXPECT_EQ(r,
            (std::vector<std::string>{
                "!! 0x80070057 unknown command 'frobnicate'", "!! 0x80070057 usage: get NAME",
                "!! 0x80070057 unterminated string", "!! 0x80020006 unknown member 'NoSuchThing'",
                "!! 0x80020003 no such member for this call", "=> true",
                "!! 0x80020005 argument 1 has the wrong type", "=> 8", "=> ok"}));
}

TEST(TestconEndToEnd, ANulLineIsMalformedAndChangesNothingALongNameIsQuotedShort) {
  Testcon t;
  using namespace std::string_literals;
  t.Send("put BaudRate\0x 4800\nget BaudRate\nput BaudRate 4800\0\nget BaudRate\n"s);
  EXPECT_EQ(t.Results(4),
            (std::vector<std::string>{
                "!! 0x80070057 the line holds a NUL byte (at column 13)", "=> 9600",
                "!! 0x80070057 the line holds a NUL byte (at column 18)", "=> 9600"}));
  const std::string name(200, 'N');
  t.Send("get " + name + "MORE" + std::string(50'000, 'm') + "\nquit\n");
  EXPECT_EQ(t.Results(2),
            (std::vector<std::string>{"!! 0x80020006 unknown member '" + name + "...'", "=> ok"}));
}

TEST(TestconEndToEnd, ANamedLibraryAndAScriptFile) {
  char path[] = "/tmp/ravlin-testcon-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string script = "# checksums\ncall Crc32 bytes:616263\ncall Crc16 bytes:\nquit\n";
  ASSERT_EQ(write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
  close(fd);
  Testcon t({"--library", RAVLIN_LIBRARY, "--script", path});
  EXPECT_EQ(t.Results(3),
            (std::vector<std::string>{"=> bytes:CADBBE3D", "=> bytes:null", "=> ok"}));
  unlink(path);
}

// The control's windows need a window system. A console host has no Qt application: the
// property pages and the about box report why instead of showing anything, and the control
// goes on working. An open port answers Configure with false before anything is loaded.
TEST(TestconEndToEnd, ConfigureAndAboutBoxWithoutAWindowSystemReportWhy) {
  Testcon t;
#if RAVLIN_HAS_UI_LIBRARY
  const std::string why =
      "!! 0x80004005 the property pages and the about box need a window system: this process "
      "has no Qt application";
#else
  const std::string why = "!! 0x80004005 cannot load libravlin_ui.so: ";
#endif
  t.Send("call Configure\ncall AboutBox\nget BaudRate\n");
  std::vector<std::string> r = t.Results(3);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].substr(0, why.size()), why);
  EXPECT_EQ(r[1].substr(0, why.size()), why);
  EXPECT_EQ(r[2], "=> 9600");
  t.Send("call Open\ncall Configure\ncall Close\nquit\n");
  EXPECT_EQ(t.Results(4), (std::vector<std::string>{"=> true", "=> false", "=> true", "=> ok"}));
}

TEST(TestconEndToEnd, WithoutTheWindowLibraryConfigureNamesTheFileItLookedFor) {
  Testcon t({}, {{"RAVLIN_UI_LIBRARY", "/nonexistent/libravlin_ui.so"}});
  t.Send("call Configure\ncall AboutBox\nquit\n");
  const std::string why =
      "!! 0x80004005 cannot load libravlin_ui.so: /nonexistent/libravlin_ui.so: no such file";
  EXPECT_EQ(t.Results(3), (std::vector<std::string>{why, why, "=> ok"}));
}

}  // namespace

namespace {

TEST(TestconEndToEnd, SettingsSavedToAFileLoadIntoAnotherControl) {
  char folder[] = "/tmp/ravlin-testcon-save-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/port settings.bin";
  {
    Testcon t;
    t.Send("dirty\nput BaudRate 4800\ndirty\nsave \"" + file + "\"\ndirty\nquit\n");
    EXPECT_EQ(t.Results(6), (std::vector<std::string>{"=> false", "changed 81", "=> ok", "=> true",
                                                      "=> 110 bytes", "=> false", "=> ok"}));
  }
  {
    Testcon t;
    t.Send("pages\nload \"" + file + "\"\nget BaudRate\ndirty\nload " + folder +
           "/missing.bin\nload /dev/null\nquit\n");
    std::vector<std::string> r = t.Results(7);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[0],
              "=> {7C2A9E21-4F3B-4D8A-9E61-2B7D45C0A311}, {7C2A9E22-4F3B-4D8A-9E61-2B7D45C0A311}, "
              "{7C2A9E24-4F3B-4D8A-9E61-2B7D45C0A311}");
    EXPECT_EQ(r[1], "=> ok");
    EXPECT_EQ(r[2], "=> 4800");
    EXPECT_EQ(r[3], "=> false");
    EXPECT_EQ(r[4].rfind("!! 0x80030002 cannot read '", 0), 0u) << r[4];
    EXPECT_EQ(r[5], "!! 0x80004005 '/dev/null' holds no settings the control can load");
  }
  unlink(file.c_str());
  rmdir(folder);
}

}  // namespace

namespace {

TEST(TestconEndToEnd, MembersAndHelpDescribeTheControl) {
  Testcon t;
  t.Send("members\nhelp StopBits\nhelp Frobnicate\n");
  std::vector<std::string> r = t.Results(3);
  auto has = [&](const std::string& line) {
    return std::find(r.begin(), r.end(), line) != r.end();
  };
  EXPECT_TRUE(
      has("method Open([PortNumber int32], [BaudRate int32], [DataBits int16], "
          "[StopBits float], [Handshaking HandshakingEnum], [Parity ParityEnum], "
          "[InputTimeout int32], [OutputTimeout int32], [IOMode IOModeEnum]) -> bool  "
          "[19]  シリアルポートをオープン"));
  EXPECT_TRUE(
      has("event AutoInput(InputBytes byte array by reference, NumBytes int32)  [512]  "
          "自動受信モードでデータを受信すると発生"));
  EXPECT_TRUE(has("=> 105 entries"));
  EXPECT_TRUE(has("property StopBits: float (read/write)  [133]  ストップビット数を設定"));
  EXPECT_TRUE(has("!! 0x80020006 unknown member 'Frobnicate'"));
}

TEST(TestconEndToEnd, TheExitStatusSaysWhetherEveryCommandSucceeded) {
  {
    Testcon t;
    t.Send("get BaudRate\nput BaudRate 1200\n");
    EXPECT_EQ(t.Results(2).back(), "=> ok");
    EXPECT_EQ(t.Finish().second, 0);
  }
  {
    Testcon t;
    t.Send("get BaudRate\nput BaudRate 0\nget BaudRate\n");
    std::vector<std::string> r = t.Results(3);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1], "!! 0x80070057");
    EXPECT_EQ(t.Finish().second, 1) << "one command failed, even though the last did not";
  }
  char path[] = "/tmp/ravlin-testcon-status-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string script = "call Crc16 bytes:31\nnonsense\n";
  ASSERT_EQ(write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
  close(fd);
  Testcon s({"--script", path});
  auto [out, status] = s.Finish();
  EXPECT_NE(out.find("!! 0x80070057 unknown command 'nonsense'"), std::string::npos) << out;
  EXPECT_EQ(status, 1);
  unlink(path);
}

TEST(TestconEndToEnd, BadCommandLinesNameWhatIsWrong) {
  {
    Testcon t({"--library", "/nonexistent/libravlin.so"});
    auto [out, status] = t.Finish();
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("ravlin-testcon: --library /nonexistent/libravlin.so: No such file or "
                       "directory"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("=>"), std::string::npos) << "no fallback to another library";
  }
  {
    Testcon t({"--frobnicate"});
    auto [out, status] = t.Finish();
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("unknown option '--frobnicate'"), std::string::npos) << out;
  }
  {
    Testcon t({"--version"});
    auto [out, status] = t.Finish();
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("file version 1.0.6.8, product version 1.0.0.0"), std::string::npos) << out;
  }
}

}  // namespace

namespace {

TEST(TestconEndToEnd, AnOpenThatFailsNamesTheDeviceAndWhy) {
  char path[] = "/tmp/ravlin-testcon-notatty-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("RAVLIN_COM7", "/nonexistent/ttyUSB7", 1);
  setenv("RAVLIN_COM8", path, 1);
  Testcon t;
  t.Send("call Open 7\ncall Open 8\ncall Open 0\n");
  const std::vector<std::string> r = t.Results(3);
  unsetenv("RAVLIN_COM7");
  unsetenv("RAVLIN_COM8");
  unlink(path);
  const std::string failed = "!! 0x800400CF シリアルポートのオープンに失敗しました。";
  EXPECT_EQ(r, (std::vector<std::string>{
                   failed + " (/nonexistent/ttyUSB7: No such file or directory — is the device "
                            "plugged in?)",
                   failed + " (" + std::string(path) + ": not a serial port)",
                   failed + " (COM0: no such port (port numbers start at 1))"}));
}

}  // namespace
