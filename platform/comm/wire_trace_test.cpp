// The wire trace: RAVLIN_TRACE names a file (or "-" for standard error) and the bytes moved
// through the in-memory device and a pty appear there as stamped hex lines under the port,
// in order; unset, nothing is written; a file that cannot be opened costs one line on standard
// error and nothing else.
#include "platform/comm/wire_trace.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"

namespace win {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += ' ';
    out += digits[c >> 4];
    out += digits[c & 0xF];
  }
  return out;
}

struct Traffic {
  std::string host;  // the hex of every "host" line of the port, joined in file order
  std::string dev;
  int lines = 0;
};

// Every line must be a well-formed trace line; the bytes of `port` are gathered by side.
Traffic Parse(const std::string& text, const std::string& port) {
  static const std::regex kLine(R"(^ *(\d+)\.(\d{6}) (\S+) (host|dev)((?: [0-9A-F]{2})+)$)");
  Traffic traffic;
  long long last = -1;
  for (const std::string& line : Lines(text)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, kLine)) << "not a trace line: " << line;
    if (m.empty()) continue;
    const long long us = std::stoll(m[1]) * 1000000 + std::stoll(m[2]);
    EXPECT_GE(us, last) << "stamps go forward: " << line;
    last = us;
    if (m[3] != port) continue;
    ++traffic.lines;
    (m[4] == "host" ? traffic.host : traffic.dev) += m[5];
  }
  return traffic;
}

class WireTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/wire-trace-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    file_ = name;
  }
  void TearDown() override {
    ::unsetenv("RAVLIN_TRACE");
    RestartWireTrace();
    ::unlink(file_.c_str());
  }
  bool TraceTo(const std::string& value) {
    ::setenv("RAVLIN_TRACE", value.c_str(), 1);
    return RestartWireTrace();
  }
  // Writes `out` through a fresh in-memory port, then reads back `in` fed by its far end.
  // Returns the port's path.
  std::string MemoryRoundTrip(const std::string& name, const std::string& out,
                              const std::string& in) {
    auto device = MemoryDevice::Create(name);
    HANDLE port = CreateFileA(device->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{0, 0, 5000, 0, 5000};
    EXPECT_TRUE(SetCommTimeouts(port, &timeouts));
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(port, out.data(), static_cast<DWORD>(out.size()), &done, nullptr));
    EXPECT_EQ(done, out.size());
    EXPECT_EQ(device->TakeWritten(), out);
    device->Feed(in);
    std::string got(in.size(), '\0');
    EXPECT_TRUE(ReadFile(port, got.data(), static_cast<DWORD>(got.size()), &done, nullptr));
    EXPECT_EQ(got.substr(0, done), in);
    CloseHandle(port);
    return device->Path();
  }

  std::string file_;
};

TEST_F(WireTrace, BytesThroughTheMemoryDeviceAppearUnderThePortInOrder) {
  ASSERT_TRUE(TraceTo(file_));
  const std::string out(
      "\x02"
      "AB\x03\x00\xFF",
      6);
  const std::string in("\x06xyz\x00", 5);
  const std::string port = MemoryRoundTrip("trace-memory", out, in);
  const std::string text = ReadAll(file_);
  const Traffic traffic = Parse(text, port);
  EXPECT_EQ(traffic.host, Hex(out)) << text;
  EXPECT_EQ(traffic.dev, Hex(in)) << text;
  // Written before the far end fed anything: the host line comes first.
  const std::vector<std::string> lines = Lines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.front().find(port + " host 02 41 42 03 00 FF"), std::string::npos) << text;
}

TEST_F(WireTrace, ManyTransfersKeepTheirOrder) {
  ASSERT_TRUE(TraceTo(file_));
  auto device = MemoryDevice::Create("trace-order");
  HANDLE port = CreateFileA(device->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  COMMTIMEOUTS timeouts{0, 0, 5000, 0, 5000};
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
  std::string sent;
  std::string received;
  for (int i = 0; i < 60; ++i) {
    const std::string piece(static_cast<std::size_t>(i % 5 + 1), static_cast<char>(i));
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(port, piece.data(), static_cast<DWORD>(piece.size()), &done, nullptr));
    sent += piece;
    const std::string back(static_cast<std::size_t>(i % 3 + 1), static_cast<char>(0x80 + i));
    device->Feed(back);
    std::string got(back.size(), '\0');
    ASSERT_TRUE(ReadFile(port, got.data(), static_cast<DWORD>(got.size()), &done, nullptr));
    received += back;
  }
  CloseHandle(port);
  const Traffic traffic = Parse(ReadAll(file_), device->Path());
  EXPECT_EQ(traffic.host, Hex(sent));
  EXPECT_EQ(traffic.dev, Hex(received));
}

TEST_F(WireTrace, BytesThroughAPtyAppearUnderItsPath) {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  termios raw{};
  cfmakeraw(&raw);
  ASSERT_EQ(openpty(&master, &slave, name, &raw, nullptr), 0);
  ASSERT_TRUE(TraceTo(file_));
  HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  COMMTIMEOUTS timeouts{0, 0, 5000, 0, 5000};
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
  const std::string out = "\x05hello";
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(port, out.data(), static_cast<DWORD>(out.size()), &done, nullptr));
  std::string far;
  while (far.size() < out.size()) {
    char buffer[64];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    far.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(far, out);
  const std::string in = "\x06world\x0D";
  ASSERT_EQ(::write(master, in.data(), in.size()), static_cast<ssize_t>(in.size()));
  std::string got(in.size(), '\0');
  ASSERT_TRUE(ReadFile(port, got.data(), static_cast<DWORD>(got.size()), &done, nullptr));
  EXPECT_EQ(got.substr(0, done), in);
  CloseHandle(port);
  ::close(master);
  ::close(slave);
  const std::string text = ReadAll(file_);
  const Traffic traffic = Parse(text, name);
  EXPECT_EQ(traffic.host, Hex(out)) << text;
  EXPECT_EQ(traffic.dev, Hex(in)) << text;
}

TEST_F(WireTrace, LinesOfManyThreadsNeverMix) {
  ASSERT_TRUE(TraceTo(file_));
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<std::string> sent(kThreads);
  std::vector<std::string> ports(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        const std::string out(static_cast<std::size_t>(1 + (i * 7 + t) % 90),
                              static_cast<char>('A' + t));
        ports[t] = MemoryRoundTrip("trace-thread-" + std::to_string(t), out, "ok");
        sent[t] += out;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const std::string text = ReadAll(file_);
  std::string answers;
  for (int i = 0; i < 40; ++i) answers += "ok";
  for (int t = 0; t < kThreads; ++t) {
    const Traffic traffic = Parse(text, ports[t]);
    EXPECT_EQ(traffic.host, Hex(sent[t]));
    EXPECT_EQ(traffic.dev, Hex(answers));
  }
}

TEST_F(WireTrace, DashSendsTheLinesToStandardError) {
  testing::internal::CaptureStderr();
  const bool on = TraceTo("-");
  const std::string port = MemoryRoundTrip("trace-stderr", "\x11Q", "\x13R");
  ::unsetenv("RAVLIN_TRACE");
  RestartWireTrace();
  const std::string text = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(on);
  const Traffic traffic = Parse(text, port);
  EXPECT_EQ(traffic.host, " 11 51") << text;
  EXPECT_EQ(traffic.dev, " 13 52") << text;
}

TEST_F(WireTrace, UnsetWritesNothingAnywhere) {
  ASSERT_TRUE(TraceTo(file_));
  MemoryRoundTrip("trace-before", "a", "b");
  const std::string before = ReadAll(file_);
  ASSERT_FALSE(before.empty());
  ::unsetenv("RAVLIN_TRACE");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(RestartWireTrace());
  EXPECT_FALSE(WireTraceOn());
  MemoryRoundTrip("trace-unset", "cd", "ef");
  TraceNote("COM9", "request", "Output 2");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadAll(file_), before) << "the old file gets no more lines";
  // Empty is unset too.
  ::setenv("RAVLIN_TRACE", "", 1);
  EXPECT_FALSE(RestartWireTrace());
}

TEST_F(WireTrace, AFileThatCannotBeOpenedCostsOneLineAndTheTraceStaysOff) {
  const std::string bad = file_ + ".missing/dir/trace";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(TraceTo(bad));
  EXPECT_FALSE(WireTraceOn());
  MemoryRoundTrip("trace-bad-file", "xyz", "uvw");  // the port works as ever
  const std::string text = testing::internal::GetCapturedStderr();
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 1u) << text;
  EXPECT_NE(lines[0].find("RAVLIN_TRACE"), std::string::npos) << text;
  EXPECT_NE(lines[0].find(bad), std::string::npos) << text;
}

TEST_F(WireTrace, NotesCarryTheirWordAndText) {
  ASSERT_TRUE(TraceTo(file_));
  TraceNote("COM3", "request", "Output 5 queued 12");
  TraceNote("COM3", "event", "");
  const std::vector<std::string> lines = Lines(ReadAll(file_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"( +\d+\.\d{6} COM3 request Output 5 queued 12)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"( +\d+\.\d{6} COM3 event)"))) << lines[1];
}

TEST_F(WireTrace, RestartingEmptiesTheFile) {
  ASSERT_TRUE(TraceTo(file_));
  TraceNote("COM1", "request", "first");
  ASSERT_TRUE(TraceTo(file_));
  TraceNote("COM1", "request", "second");
  const std::vector<std::string> lines = Lines(ReadAll(file_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("second"), std::string::npos);
}

}  // namespace
}  // namespace win
