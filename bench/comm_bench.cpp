// Moving 1 MiB over a pseudo-terminal through the serial API (CreateFileA, WriteFile, ReadFile
// with overlapped records) against plain read()/write() on the same kind of pty. The far end
// (the master) is served by a helper thread with plain calls in both cases, so the difference
// is the cost of the comm layer. After the runs it prints the throughput ratio of each
// direction (comm / plain, from the best of five repetitions each; 1.0 means no cost).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"

namespace {

constexpr std::size_t kSize = 1 << 20;

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  Pty() {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) == 0) path = name;
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
};

// Reads exactly `size` bytes from a blocking descriptor.
void Drain(int fd, std::size_t size) {
  std::vector<char> buffer(64 * 1024);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), size - got));
    if (n <= 0) return;
    got += static_cast<std::size_t>(n);
  }
}

void Fill(int fd, const std::vector<char>& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = write(fd, data.data() + sent, data.size() - sent);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

std::map<std::string, double>& Seconds() {
  static std::map<std::string, double> seconds;
  return seconds;
}

void Record(benchmark::State& state, const char* name, double total) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
  // The best repetition: the machine is shared, and load only ever adds time.
  const double each = total / static_cast<double>(state.iterations());
  auto [it, added] = Seconds().emplace(name, each);
  if (!added) it->second = std::min(it->second, each);
}

using Clock = std::chrono::steady_clock;

void BM_PlainWrite(benchmark::State& state) {
  Pty pty;
  std::vector<char> data(kSize, 'w');
  double total = 0;
  for (auto _ : state) {
    std::thread far([&] { Drain(pty.master, kSize); });
    const auto start = Clock::now();
    Fill(pty.slave, data);
    far.join();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(s);
    total += s;
  }
  Record(state, "write plain", total);
}

void BM_CommWrite(benchmark::State& state) {
  Pty pty;
  win::HANDLE port =
      win::CreateFileA(pty.path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                       win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  win::HANDLE event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  std::vector<char> data(kSize, 'w');
  double total = 0;
  for (auto _ : state) {
    std::thread far([&] { Drain(pty.master, kSize); });
    const auto start = Clock::now();
    win::OVERLAPPED ov{};
    ov.hEvent = event;
    win::DWORD sent = 0;
    if (!win::WriteFile(port, data.data(), kSize, &sent, &ov)) {
      win::GetOverlappedResult(port, &ov, &sent, win::TRUE);
    }
    far.join();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(s);
    total += s;
    if (sent != kSize) state.SkipWithError("short write");
  }
  Record(state, "write comm", total);
  win::CloseHandle(event);
  win::CloseHandle(port);
}

void BM_PlainRead(benchmark::State& state) {
  Pty pty;
  std::vector<char> data(kSize, 'r');
  double total = 0;
  for (auto _ : state) {
    std::thread far([&] { Fill(pty.master, data); });
    const auto start = Clock::now();
    Drain(pty.slave, kSize);
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    far.join();
    state.SetIterationTime(s);
    total += s;
  }
  Record(state, "read plain", total);
}

void BM_CommRead(benchmark::State& state) {
  Pty pty;
  win::HANDLE port =
      win::CreateFileA(pty.path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                       win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  win::SetupComm(port, 64 * 1024, 4096);
  win::COMMTIMEOUTS timeouts{0, 0, 10000, 0, 0};
  win::SetCommTimeouts(port, &timeouts);
  win::HANDLE event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  std::vector<char> data(kSize, 'r');
  std::vector<char> in(kSize);
  double total = 0;
  for (auto _ : state) {
    std::thread far([&] { Fill(pty.master, data); });
    const auto start = Clock::now();
    win::OVERLAPPED ov{};
    ov.hEvent = event;
    win::DWORD got = 0;
    if (!win::ReadFile(port, in.data(), kSize, &got, &ov)) {
      win::GetOverlappedResult(port, &ov, &got, win::TRUE);
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    far.join();
    state.SetIterationTime(s);
    total += s;
    if (got != kSize) state.SkipWithError("short read");
  }
  Record(state, "read comm", total);
  win::CloseHandle(event);
  win::CloseHandle(port);
}

BENCHMARK(BM_PlainWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CommWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainRead)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CommRead)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& s = Seconds();
  for (const char* direction : {"write", "read"}) {
    const std::string d = direction;
    if (s.count(d + " plain") && s.count(d + " comm") && s[d + " comm"] > 0) {
      std::printf("%s 1 MiB: plain %.2f ms, comm %.2f ms, throughput ratio comm/plain %.2f\n",
                  direction, s[d + " plain"] * 1e3, s[d + " comm"] * 1e3,
                  s[d + " plain"] / s[d + " comm"]);
    }
  }
  return 0;
}
