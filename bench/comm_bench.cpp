// Moving 1 MiB over a pseudo-terminal through the serial API (CreateFileA, WriteFile, ReadFile
// with overlapped records) against plain read()/write() on the same kind of pty. The far end
// (the master) is served by a helper thread with plain calls in both cases, so the difference
// is the cost of the comm layer. Besides the benchmark table it runs plain and comm transfers
// interleaved and prints the median throughput ratio (comm / plain; 1.0 means no cost) and the
// processor-time ratio, which a loaded machine disturbs less.
//
// The wire trace (RAVLIN_TRACE): a write and a read back of the same size through the in-memory
// device with the trace off and on (to a file in /tmp), the cost of the check a trace point
// makes while the trace is off, and an interleaved comparison of off and on that prints the
// median time of a round trip for each.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"
#include "platform/comm/wire_trace.h"

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

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One 1 MiB transfer each; the far end runs on a helper thread with plain calls.
struct Rig {
  Pty pty;
  win::HANDLE port = win::INVALID_HANDLE_VALUE;
  win::HANDLE event = nullptr;
  std::vector<char> out = std::vector<char>(kSize, 'w');
  std::vector<char> in = std::vector<char>(kSize);

  explicit Rig(bool comm) {
    if (!comm) return;
    port = win::CreateFileA(pty.path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                            win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
    win::SetupComm(port, 64 * 1024, 4096);
    win::COMMTIMEOUTS timeouts{0, 0, 10000, 0, 10000};
    win::SetCommTimeouts(port, &timeouts);
    event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  }
  ~Rig() {
    if (event) win::CloseHandle(event);
    if (port != win::INVALID_HANDLE_VALUE) win::CloseHandle(port);
  }

  bool PlainWrite() {
    std::thread far([&] { Drain(pty.master, kSize); });
    Fill(pty.slave, out);
    far.join();
    return true;
  }
  bool CommWrite() {
    std::thread far([&] { Drain(pty.master, kSize); });
    win::OVERLAPPED ov{};
    ov.hEvent = event;
    win::DWORD sent = 0;
    if (!win::WriteFile(port, out.data(), kSize, &sent, &ov)) {
      win::GetOverlappedResult(port, &ov, &sent, win::TRUE);
    }
    far.join();
    return sent == kSize;
  }
  bool PlainRead() {
    std::thread far([&] { Fill(pty.master, out); });
    Drain(pty.slave, kSize);
    far.join();
    return true;
  }
  bool CommRead() {
    std::thread far([&] { Fill(pty.master, out); });
    win::OVERLAPPED ov{};
    ov.hEvent = event;
    win::DWORD got = 0;
    if (!win::ReadFile(port, in.data(), kSize, &got, &ov)) {
      win::GetOverlappedResult(port, &ov, &got, win::TRUE);
    }
    far.join();
    return got == kSize;
  }
};

template <bool (Rig::*Transfer)()>
void Run(benchmark::State& state, bool comm) {
  Rig rig(comm);
  double cpu = 0;
  for (auto _ : state) {
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    const bool ok = (rig.*Transfer)();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    cpu += ProcessCpuSeconds() - cpuStart;
    if (!ok) state.SkipWithError("short transfer");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
  state.counters["cpu_ms_per_MiB"] = cpu * 1e3 / static_cast<double>(state.iterations());
}

void BM_PlainWrite(benchmark::State& state) {
  Run<&Rig::PlainWrite>(state, false);
}
void BM_CommWrite(benchmark::State& state) {
  Run<&Rig::CommWrite>(state, true);
}
void BM_PlainRead(benchmark::State& state) {
  Run<&Rig::PlainRead>(state, false);
}
void BM_CommRead(benchmark::State& state) {
  Run<&Rig::CommRead>(state, true);
}

BENCHMARK(BM_PlainWrite)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommWrite)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommRead)->UseManualTime()->Unit(benchmark::kMillisecond);

// Plain and comm runs alternate, so that a change of load on a shared machine hits both; the
// median of each is compared.
void CompareInterleaved(int rounds) {
  Rig plain(false);
  Rig comm(true);
  struct Sample {
    std::vector<double> wall;
    std::vector<double> cpu;
  };
  Sample samples[4];
  auto measure = [](Rig& rig, bool (Rig::*transfer)(), Sample& sample) {
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    (rig.*transfer)();
    sample.wall.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    sample.cpu.push_back(ProcessCpuSeconds() - cpuStart);
  };
  for (int i = 0; i < rounds; ++i) {
    // Which of the two goes first alternates, so that neither always follows the other.
    if (i % 2 == 0) {
      measure(plain, &Rig::PlainWrite, samples[0]);
      measure(comm, &Rig::CommWrite, samples[1]);
      measure(plain, &Rig::PlainRead, samples[2]);
      measure(comm, &Rig::CommRead, samples[3]);
    } else {
      measure(comm, &Rig::CommWrite, samples[1]);
      measure(plain, &Rig::PlainWrite, samples[0]);
      measure(comm, &Rig::CommRead, samples[3]);
      measure(plain, &Rig::PlainRead, samples[2]);
    }
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const char* names[2] = {"write", "read"};
  for (int d = 0; d < 2; ++d) {
    const Sample& p = samples[2 * d];
    const Sample& c = samples[2 * d + 1];
    std::vector<double> paired;
    for (std::size_t i = 0; i < p.wall.size(); ++i) paired.push_back(p.wall[i] / c.wall[i]);
    std::printf(
        "%s 1 MiB, median of %d interleaved runs: plain %.2f ms (cpu %.2f ms), comm %.2f ms "
        "(cpu %.2f ms); throughput ratio comm/plain %.2f, cpu ratio plain/comm %.2f\n",
        names[d], rounds, median(p.wall) * 1e3, median(p.cpu) * 1e3, median(c.wall) * 1e3,
        median(c.cpu) * 1e3, median(p.wall) / median(c.wall), median(p.cpu) / median(c.cpu));
    std::printf("%s: median of the same-round throughput ratios comm/plain %.2f\n", names[d],
                median(paired));
  }
}

// ---- The wire trace -------------------------------------------------------------------------

// Turns the trace on (into a file of its own) or off for its life, and off again at the end.
class TraceSwitch {
 public:
  explicit TraceSwitch(bool on) {
    if (on) {
      char name[] = "/tmp/comm-bench-trace-XXXXXX";
      const int fd = mkstemp(name);
      if (fd >= 0) close(fd);
      path_ = name;
      setenv("RAVLIN_TRACE", path_.c_str(), 1);
    } else {
      unsetenv("RAVLIN_TRACE");
    }
    on_ = win::RestartWireTrace();
  }
  ~TraceSwitch() {
    unsetenv("RAVLIN_TRACE");
    win::RestartWireTrace();
    if (!path_.empty()) unlink(path_.c_str());
  }
  bool on() const { return on_; }

 private:
  std::string path_;
  bool on_ = false;
};

// A port on a fresh in-memory device: WriteFile of `size` bytes, the far end takes them and
// feeds as many back, ReadFile of them.
struct MemoryRig {
  std::shared_ptr<win::MemoryDevice> device = win::MemoryDevice::Create("comm-bench");
  win::HANDLE port = win::INVALID_HANDLE_VALUE;
  std::string out;
  std::string back;
  std::string in;

  explicit MemoryRig(std::size_t size) : out(size, 'w'), back(size, 'r'), in(size, '\0') {
    port = win::CreateFileA(device->Path().c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                            nullptr, win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
    win::COMMTIMEOUTS timeouts{0, 0, 10000, 0, 10000};
    win::SetCommTimeouts(port, &timeouts);
  }
  ~MemoryRig() {
    if (port != win::INVALID_HANDLE_VALUE) win::CloseHandle(port);
  }
  bool RoundTrip() {
    win::DWORD done = 0;
    if (!win::WriteFile(port, out.data(), static_cast<win::DWORD>(out.size()), &done, nullptr) ||
        done != out.size()) {
      return false;
    }
    device->TakeWritten();
    device->Feed(back);
    return win::ReadFile(port, in.data(), static_cast<win::DWORD>(in.size()), &done, nullptr) &&
           done == in.size();
  }
};

void BM_MemoryRoundTrip(benchmark::State& state, bool trace) {
  TraceSwitch traceSwitch(trace);
  if (traceSwitch.on() != trace) {
    state.SkipWithError("the trace could not be switched");
    return;
  }
  MemoryRig rig(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    if (!rig.RoundTrip()) {
      state.SkipWithError("short transfer");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * state.range(0));
}
BENCHMARK_CAPTURE(BM_MemoryRoundTrip, trace_off, false)->Arg(16)->Arg(1024);
BENCHMARK_CAPTURE(BM_MemoryRoundTrip, trace_on, true)->Arg(16)->Arg(1024);

// What a trace point costs while the trace is off: the check of the cached flag.
void BM_TraceCheckOff(benchmark::State& state) {
  TraceSwitch traceSwitch(false);
  for (auto _ : state) benchmark::DoNotOptimize(win::WireTraceOn());
}
BENCHMARK(BM_TraceCheckOff);

// Off and on alternate in rounds, so that a change of load hits both; prints the median time of
// one round trip for each and the difference.
void CompareTraceInterleaved(int rounds, int tripsPerRound) {
  for (std::size_t size : {std::size_t{16}, std::size_t{1024}}) {
    std::vector<double> off;
    std::vector<double> on;
    for (int i = 0; i < rounds; ++i) {
      for (bool trace : {i % 2 == 0, i % 2 != 0}) {
        TraceSwitch traceSwitch(trace);
        MemoryRig rig(size);
        rig.RoundTrip();  // the service thread is up and the buffers grown
        const auto start = Clock::now();
        for (int t = 0; t < tripsPerRound; ++t) rig.RoundTrip();
        const double us =
            std::chrono::duration<double, std::micro>(Clock::now() - start).count() / tripsPerRound;
        (trace ? on : off).push_back(us);
      }
    }
    std::sort(off.begin(), off.end());
    std::sort(on.begin(), on.end());
    const double offUs = off[off.size() / 2];
    const double onUs = on[on.size() / 2];
    std::printf(
        "memory device, write + read of %zu bytes, median of %d interleaved rounds of %d: trace "
        "off %.2f us, trace on %.2f us (+%.2f us, x%.2f)\n",
        size, rounds, tripsPerRound, offUs, onUs, onUs - offUs, onUs / offUs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CompareInterleaved(41);
  CompareTraceInterleaved(15, 2000);
  return 0;
}
