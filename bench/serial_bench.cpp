// Serial engine figures, printed (nothing is asserted):
//  1. blocking OutputB/InputB of 1 MiB in 4 KiB pieces through a pty echo peer, against plain
//     write/read on the same pty (ratio, target 0.9 or better);
//  2. latency from bytes written on the pty master to the AutoInput report running on the
//     control's thread (median and 99th percentile; the workers poll every 10 ms);
//  3. CPU used by the four workers over 10 s with the port open and idle (target < 1 %).
// Usage: serial_bench [idle-seconds]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/apartment.h"
#include "serial/port.h"

namespace {

using Clock = std::chrono::steady_clock;
using serial::LONG;

constexpr std::size_t kTotal = 1 << 20;
constexpr std::size_t kPiece = 4096;

class BenchHost : public serial::rs232x_host_t {
 public:
  void _Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG) override {
    std::lock_guard<std::mutex> guard(lock);
    arrivals.push_back({Clock::now(), bytes.size()});
  }
  void _Fire__UberAutoInput(const std::vector<std::uint8_t>&, LONG) override {}
  void _Fire_CommError(LONG) override {}
  void _Fire_CommIOState(LONG) override {}
  void _Fire_CommState(LONG) override {}
  void _Fire_DataDetected() override {}
  void _Fire_NonblockInput(LONG, const std::u16string*, LONG) override {}
  void _Fire_NonblockInputB(LONG, const std::vector<std::uint8_t>*, LONG) override {}
  void _Fire_NonblockOutput(LONG, LONG) override {}
  bool IsOccupied() override { return false; }
  bool CountingSuppressed() override { return false; }
  serial::rs232x_counters_t& Counters() override { return counters; }

  struct Arrival {
    Clock::time_point when;
    std::size_t bytes;
  };
  std::mutex lock;
  std::vector<Arrival> arrivals;
  serial::rs232x_counters_t counters;
};

struct Pty {
  int master = -1;
  std::string path;
  Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    path = name;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
};

// Echoes everything that arrives on fd until stopped.
class EchoPeer {
 public:
  explicit EchoPeer(int fd) : fd_(fd), thread_([this] { run(); }) {}
  ~EchoPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void run() {
    std::vector<char> buf(65536);
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = ::read(fd_, buf.data(), buf.size());
      if (n <= 0) continue;
      ssize_t done = 0;
      while (done < n) {
        const ssize_t w = ::write(fd_, buf.data() + done, static_cast<std::size_t>(n - done));
        if (w > 0) {
          done += w;
        } else {
          pollfd q{fd_, POLLOUT, 0};
          ::poll(&q, 1, 5);
        }
      }
    }
  }
  int fd_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

double PlainSeconds(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  std::vector<char> out(kPiece, 'x'), in(kPiece);
  const auto start = Clock::now();
  for (std::size_t sent = 0; sent < kTotal; sent += kPiece) {
    std::size_t w = 0;
    while (w < kPiece) {
      const ssize_t r = ::write(fd, out.data() + w, kPiece - w);
      if (r > 0) w += static_cast<std::size_t>(r);
    }
    std::size_t got = 0;
    while (got < kPiece) {
      const ssize_t r = ::read(fd, in.data() + got, kPiece - got);
      if (r > 0) got += static_cast<std::size_t>(r);
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  return seconds;
}

// The same exchange straight through the comm layer (overlapped WriteFile/ReadFile), to show
// what the engine adds on top of it.
double CommSeconds(const std::string& path) {
  win::HANDLE h = win::CreateFileA(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                   win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  if (h == win::INVALID_HANDLE_VALUE) return -1;
  win::DCB dcb{};
  win::GetCommState(h, &dcb);
  serial::encode_handshaking(dcb, serial::hsNone);
  win::SetCommState(h, &dcb);
  win::COMMTIMEOUTS timeouts{0, 0, 2000, 0, 2000};
  win::SetCommTimeouts(h, &timeouts);
  win::HANDLE event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  std::vector<std::uint8_t> out(kPiece, 'x'), in(kPiece);
  auto transfer = [&](bool write, std::uint8_t* data) {
    win::OVERLAPPED ov{};
    ov.hEvent = event;
    win::ResetEvent(event);
    win::DWORD n = 0;
    const win::BOOL ok =
        write ? win::WriteFile(h, data, kPiece, &n, &ov) : win::ReadFile(h, data, kPiece, &n, &ov);
    if (!ok) win::GetOverlappedResult(h, &ov, &n, win::TRUE);
    return n;
  };
  const auto start = Clock::now();
  for (std::size_t sent = 0; sent < kTotal; sent += kPiece) {
    transfer(true, out.data());
    transfer(false, in.data());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  win::CloseHandle(event);
  win::CloseHandle(h);
  return seconds;
}

double EngineSeconds(int portNumber) {
  BenchHost host;
  serial::rs232x_port_t port(host);
  if (port.init() != serial::RS_OK) return -1;
  port.set_close_settle_for_testing(0);
  serial::rs232x_open_args_t args;
  args.port_number = portNumber;
  args.io_mode = serial::iomBlocking;
  args.handshaking = serial::hsNone;
  if (port.open(args) != serial::RS_OK) return -1;
  std::vector<std::uint8_t> out(kPiece, 'x'), in;
  const auto start = Clock::now();
  for (std::size_t sent = 0; sent < kTotal; sent += kPiece) {
    LONG result = 0;
    port.output_bytes(out.data(), out.size(), &result);
    port.input_bytes(static_cast<LONG>(kPiece), &in, &result);
    if (result != static_cast<LONG>(kPiece)) {
      std::printf("  engine read came short (%d)\n", result);
      return -1;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  port.close();
  return seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Throughput() {
  Pty pty;
  if (pty.master < 0) return;
  setenv("RAVLIN_COM201", pty.path.c_str(), 1);
  EchoPeer echo(pty.master);
  std::vector<double> plain, comm, engine;
  for (int i = 0; i < 9; ++i) {  // interleaved, so that a busy moment hits all three alike
    plain.push_back(PlainSeconds(pty.path));
    comm.push_back(CommSeconds(pty.path));
    engine.push_back(EngineSeconds(201));
  }
  const double p = Median(plain), c = Median(comm), e = Median(engine);
  std::printf("1. 1 MiB in 4 KiB pieces through a pty echo peer (median of 9)\n");
  std::printf("   plain write/read         : %8.1f ms  %7.1f MiB/s\n", p * 1e3, 1.0 / p);
  std::printf("   comm WriteFile/ReadFile  : %8.1f ms  %7.1f MiB/s\n", c * 1e3, 1.0 / c);
  std::printf("   engine OutputB/InputB    : %8.1f ms  %7.1f MiB/s\n", e * 1e3, 1.0 / e);
  std::printf("   ratio engine/plain throughput: %.2f (target >= 0.9); engine/comm: %.2f\n", p / e,
              c / e);
}

void Latency() {
  Pty pty;
  if (pty.master < 0) return;
  setenv("RAVLIN_COM202", pty.path.c_str(), 1);
  BenchHost host;
  serial::rs232x_port_t port(host);
  port.init();
  port.set_close_settle_for_testing(0);
  serial::rs232x_open_args_t args;
  args.port_number = 202;
  args.handshaking = serial::hsNone;
  if (port.open(args) != serial::RS_OK) return;
  const int kSamples = 300;
  std::vector<Clock::time_point> sent;
  std::mt19937 random(7);
  for (int i = 0; i < kSamples; ++i) {
    // Writes land at random points of the workers' 10 ms cycle.
    win::WaitWithDispatch(0, nullptr, 12 + random() % 9);
    sent.push_back(Clock::now());
    const char byte = 'a';
    if (::write(pty.master, &byte, 1) != 1) return;
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(host.lock);
        if (host.arrivals.size() > static_cast<std::size_t>(i)) break;
      }
      if (Clock::now() > deadline) break;
      win::WaitWithDispatch(0, nullptr, 1);
    }
  }
  std::vector<double> ms;
  {
    std::lock_guard<std::mutex> guard(host.lock);
    for (std::size_t i = 0; i < host.arrivals.size() && i < sent.size(); ++i)
      ms.push_back(
          std::chrono::duration<double, std::milli>(host.arrivals[i].when - sent[i]).count());
  }
  port.close();
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  std::printf("2. pty master -> AutoInput on the control's thread (%zu samples)\n", ms.size());
  std::printf("   median %.2f ms (target <= 11), p99 %.2f ms (target <= 20), max %.2f ms\n",
              ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void IdleCpu(int seconds) {
  Pty pty;
  if (pty.master < 0) return;
  setenv("RAVLIN_COM203", pty.path.c_str(), 1);
  BenchHost host;
  serial::rs232x_port_t port(host);
  port.init();
  port.set_close_settle_for_testing(0);
  serial::rs232x_open_args_t args;
  args.port_number = 203;
  if (port.open(args) != serial::RS_OK) return;
  win::WaitWithDispatch(0, nullptr, 200);
  const double cpu0 = ProcessCpuSeconds();
  const auto start = Clock::now();
  // The control's thread sleeps in its wait; what the process spends is the workers'.
  win::WaitWithDispatch(0, nullptr, static_cast<unsigned>(seconds) * 1000u);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = ProcessCpuSeconds() - cpu0;
  port.close();
  std::printf("3. four workers, port open and idle for %.1f s\n", wall);
  std::printf("   CPU %.3f s = %.2f %% of one core (target < 1 %%)\n", cpu, 100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
  const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  win::CurrentApartment();
  Throughput();
  Latency();
  IdleCpu(idleSeconds);
  return 0;
}
