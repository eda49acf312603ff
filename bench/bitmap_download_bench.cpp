// The whole-image "IB" download of the real program, printed, never asserted:
//   tavotest --download PICTURE --mode ib --all-image --no-card against tavosim --speed 0 on a
//   pseudo-terminal, at 9600 and at 115200 baud, three runs each. A 320x460 checkerboard BMP is
//   written here; the card dot image is sent as 115 blocks of 164 bytes, each answered by ACK.
//   The times on the line come from the simulator's trace (--trace): one line for every read of
//   the host's bytes and every answer the device queues, each with its time stamp in seconds
//   since the simulator started. The CPU of the program comes from wait4 (the whole run) and
//   from its process CPU clock read at the first and the last progress line (the block loop).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/child_process.h"

namespace {

using bench::stop;
using bench::waitFor;

using Clock = std::chrono::steady_clock;

constexpr int kBitsPerByte = 10;  // start, 8 data, stop
constexpr int kBlocks = 115;
constexpr int kBlockBytes = 164;
constexpr int kRuns = 3;

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double wireMs(long bytes, long baud) {
  return 1000.0 * kBitsPerByte * static_cast<double>(bytes) / static_cast<double>(baud);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A 24-bit bottom-up BMP: black and white squares of 20 pixels.
bool writeCheckerboard(const std::string& path, int width, int height) {
  const int row = (width * 3 + 3) / 4 * 4;
  const std::uint32_t dataSize = static_cast<std::uint32_t>(row * height);
  std::vector<std::uint8_t> file(54 + dataSize, 0);
  auto put16 = [&](std::size_t at, std::uint16_t v) {
    file[at] = static_cast<std::uint8_t>(v);
    file[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, dataSize);
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t v = ((x / 20 + y / 20) % 2) ? 255 : 0;
      std::uint8_t* p = &file[54 + static_cast<std::size_t>(y * row + x * 3)];
      p[0] = p[1] = p[2] = v;
    }
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

// One line of the simulator's trace: "     0.789609 host 01 00 FF ...".
struct TraceLine {
  std::int64_t us = 0;
  bool host = false;
  std::vector<std::uint8_t> bytes;
  double arrivalUs = 0;  // when the last byte has reached the other side
};

std::optional<std::vector<TraceLine>> readTrace(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::vector<TraceLine> lines;
  std::string text;
  while (std::getline(in, text)) {
    std::istringstream fields(text);
    std::string stamp, who, hex;
    if (!(fields >> stamp >> who)) continue;
    const std::size_t dot = stamp.find('.');
    if (dot == std::string::npos || stamp.size() - dot - 1 != 6) return std::nullopt;
    char* end = nullptr;
    const long long seconds = std::strtoll(stamp.c_str(), &end, 10);
    if (end != stamp.c_str() + dot) return std::nullopt;
    const long long micro = std::strtoll(stamp.c_str() + dot + 1, &end, 10);
    if (*end) return std::nullopt;
    TraceLine line;
    line.us = seconds * 1000000 + micro;
    line.host = who == "host";
    if (!line.host && who != "dev") return std::nullopt;
    while (fields >> hex) line.bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, 0, 16)));
    lines.push_back(std::move(line));
  }
  if (lines.empty()) return std::nullopt;
  return lines;
}

// The host's bytes arrive as they are read (the host writes into the pty at memory speed); the
// device's answers are stamped when queued and paced by tavosim from there, one byte time each,
// after whatever is still going out.
void placeOnLine(std::vector<TraceLine>* lines, long baud) {
  const double byteUs = 1e6 * kBitsPerByte / static_cast<double>(baud);
  double lineFreeUs = 0;
  for (TraceLine& l : *lines) {
    if (l.host) {
      l.arrivalUs = static_cast<double>(l.us);
    } else {
      lineFreeUs = std::max(lineFreeUs, static_cast<double>(l.us)) +
                   byteUs * static_cast<double>(l.bytes.size());
      l.arrivalUs = lineFreeUs;
    }
  }
}

bool contains(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  return std::search(bytes.begin(), bytes.end(), what.begin(), what.end()) != bytes.end();
}

struct TraceFigures {
  bool loopFound = false;
  int acks = 0;
  long loopHostBytes = 0;
  long loopDevBytes = 0;
  double loopMs = 0;  // first block read to the last ACK at the host
  long runBytes = 0;
  double runMs = 0;  // first trace line to the last byte at either side
};

TraceFigures traceFigures(std::vector<TraceLine> lines, long baud) {
  placeOnLine(&lines, baud);
  TraceFigures f;
  for (const TraceLine& l : lines) f.runBytes += static_cast<long>(l.bytes.size());
  double last = 0;
  for (const TraceLine& l : lines) last = std::max(last, l.arrivalUs);
  f.runMs = (last - static_cast<double>(lines.front().us)) / 1000.0;

  // The block loop: from the first host read starting with SOH after the "IB" frame, up to
  // the host's next EOT (back to framed commands) or the end of the trace.
  std::size_t i = 0;
  while (i < lines.size() && !(lines[i].host && contains(lines[i].bytes, "\x02IB\x03"))) ++i;
  while (i < lines.size() && !(lines[i].host && lines[i].bytes.front() == 0x01)) ++i;
  if (i >= lines.size()) return f;
  const double firstBlockUs = static_cast<double>(lines[i].us);
  double lastAckUs = -1;
  for (; i < lines.size(); ++i) {
    const TraceLine& l = lines[i];
    if (l.host && l.bytes.front() == 0x04) break;
    if (l.host) {
      f.loopHostBytes += static_cast<long>(l.bytes.size());
    } else {
      f.loopDevBytes += static_cast<long>(l.bytes.size());
      const int acks = static_cast<int>(std::count(l.bytes.begin(), l.bytes.end(), 0x06));
      if (acks > 0) lastAckUs = l.arrivalUs;
      f.acks += acks;
    }
  }
  if (lastAckUs < 0) return f;
  f.loopFound = true;
  f.loopMs = (lastAckUs - firstBlockUs) / 1000.0;
  return f;
}

double cpuSeconds(clockid_t clock) {
  timespec ts{};
  if (clock_gettime(clock, &ts) != 0) return -1;
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double seconds(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

struct RunResult {
  bool ok = false;
  int exitStatus = -1;
  std::string note;
  TraceFigures trace;
  bool fromProgress = false;  // the loop time was taken from the progress lines
  double processWallMs = 0;
  double processCpuMs = 0;
  double loopCpuShare = -1;  // between the first and the last progress line
  double progressMs = -1;
  int progressBlocks = 0;  // blocks answered between those two lines
};

// One download: a fresh simulator with its own trace, then the program until it exits.
RunResult runOnce(const std::string& dir, const std::string& picture, long baud, int round) {
  RunResult r;
  const std::string link = dir + "/com1";
  const std::string trace = dir + "/trace-" + std::to_string(baud) + "-" + std::to_string(round);
  const pid_t sim = bench::spawn({TAVOSIM_BINARY, "--speed", "0", "--baud", std::to_string(baud),
                                  "--link", link, "--trace", trace, "--insert-ms", "0"},
                                 -1, -1, {});
  if (!waitFor(link, 5000)) {
    r.note = "tavosim did not start";
    stop(sim);
    return r;
  }

  int err[2];
  if (pipe(err) != 0) {
    stop(sim);
    r.note = "no pipe";
    return r;
  }
  const Clock::time_point start = Clock::now();
  const pid_t pid = bench::spawn(
      {TAVOTEST_BINARY, "--download", picture, "--mode", "ib", "--all-image", "--no-card", "--home",
       dir + "/home"},
      -1, err[1], {"RAVLIN_COM1=" + link, "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir});
  close(err[1]);
  clockid_t cpuClock{};
  const bool haveCpuClock = clock_getcpuclockid(pid, &cpuClock) == 0;

  // Progress lines "[###...] N/115 blocks  R B/s": the first and the last are stamped here.
  std::string pending;
  Clock::time_point firstProgress{}, lastProgress{};
  double firstCpu = -1, lastCpu = -1;
  int firstSent = 0, lastSent = 0;
  bool open = true;
  while (open) {
    if (ms(Clock::now() - start) > 120000) {
      kill(pid, SIGKILL);
      r.note = "killed after 120 s";
      break;
    }
    pollfd p{err[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[1024];
    const ssize_t n = read(err[0], buf, sizeof buf);
    if (n <= 0) break;
    const Clock::time_point now = Clock::now();
    const double cpu = haveCpuClock ? cpuSeconds(cpuClock) : -1;
    pending.append(buf, static_cast<std::size_t>(n));
    std::size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      const std::size_t blocks = line.find(" blocks ");
      const std::size_t count = line.rfind("] ", blocks);
      if (blocks == std::string::npos || count == std::string::npos) continue;
      const int sent = std::atoi(line.c_str() + count + 2);
      if (firstProgress == Clock::time_point{}) {
        firstProgress = now;
        firstCpu = cpu;
        firstSent = sent;
      }
      lastProgress = now;
      lastCpu = cpu;
      lastSent = sent;
    }
  }
  close(err[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.processWallMs = ms(Clock::now() - start);
  r.processCpuMs = 1000.0 * (seconds(usage.ru_utime) + seconds(usage.ru_stime));
  r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  stop(sim);

  if (firstProgress != Clock::time_point{} && lastProgress > firstProgress) {
    r.progressMs = ms(lastProgress - firstProgress);
    r.progressBlocks = lastSent - firstSent;
    if (firstCpu >= 0 && lastCpu >= 0)
      r.loopCpuShare = 1000.0 * (lastCpu - firstCpu) / r.progressMs;
  }
  if (auto lines = readTrace(trace)) {
    r.trace = traceFigures(std::move(*lines), baud);
  }
  if (!r.trace.loopFound) {
    r.fromProgress = true;
    r.trace.loopMs = r.progressMs;
  }
  std::filesystem::remove(trace);
  r.ok = r.exitStatus == 0 && r.trace.loopMs > 0;
  if (r.exitStatus != 0 && r.note.empty())
    r.note = r.exitStatus == 127 ? "tavotest could not be started"
                                 : "tavotest exit status " + std::to_string(r.exitStatus);
  return r;
}

void printHeader() {
  std::printf(
      "Whole-image IB download: tavotest --download (320x460 BMP) --mode ib --all-image --no-card\n"
      "against tavosim --speed 0 --insert-ms 0, %d runs at each baud rate.\n"
      "Note: tavosim paces only its own output (answers, ACKs) at --baud, 10 bits a byte; the\n"
      "host writes into the pseudo-terminal at memory speed, so the 164 bytes of each block take\n"
      "no line time here and the measured time is far below the wire time of a real line.\n"
      "  loop      first block read by the device (SOH after \"IB\") to the last block's ACK at\n"
      "            the host: the trace stamp of the ACK plus its byte time on the line\n"
      "  loop wire %d x %d block bytes + %d ACKs (counted from the trace) at 10 bits a byte\n"
      "  ratio     measured / wire time (goal for the loop at 115200 baud: at most 1.10)\n"
      "  run       first to last byte in the trace (frames PC, MS:..., IB, polls and the loop);\n"
      "            run wire: all the trace's bytes, both directions, at 10 bits a byte\n"
      "  process   fork to wait4 of tavotest (start-up, picture conversion and download);\n"
      "            CPU: user + system from wait4; share: CPU / process wall time\n"
      "  loop CPU  tavotest's process CPU clock between the first (block 1) and the last\n"
      "            (block 115) progress line on standard error, over the wall time between\n"
      "            them; a wait that spins keeps it near 100 %% even at 9600 baud\n\n",
      kRuns, kBlocks, kBlockBytes, kBlocks);
}

void runBaud(const std::string& dir, const std::string& picture, long baud) {
  std::vector<double> loopRatio, loopMs, runRatio, runMs, wallMs, cpuMs, share, loopShare;
  std::printf("%ld baud\n", baud);
  for (int round = 1; round <= kRuns; ++round) {
    const RunResult r = runOnce(dir, picture, baud, round);
    if (!r.ok) {
      std::printf("  run %d: no figures (%s)\n", round, r.note.empty() ? "?" : r.note.c_str());
      continue;
    }
    const TraceFigures& t = r.trace;
    const long loopBytes = t.loopFound ? t.loopHostBytes + t.loopDevBytes
                                       : static_cast<long>(kBlocks) * (kBlockBytes + 1);
    const double loopWire = wireMs(loopBytes, baud);
    const double runWire = wireMs(t.runBytes, baud);
    std::printf(
        "  run %d: loop %.1f ms%s (%d ACKs, %ld + %ld bytes), loop wire %.1f ms, ratio %.3f\n",
        round, t.loopMs,
        r.fromProgress ? " [trace without usable time stamps: first to last progress line]" : "",
        t.acks, t.loopHostBytes, t.loopDevBytes, loopWire, t.loopMs / loopWire);
    if (t.runBytes > 0)
      std::printf("         run %.1f ms (%ld bytes), run wire %.1f ms, ratio %.3f\n", t.runMs,
                  t.runBytes, runWire, t.runMs / runWire);
    std::printf("         process %.1f ms, CPU %.1f ms, share %.1f %%", r.processWallMs,
                r.processCpuMs, 100.0 * r.processCpuMs / r.processWallMs);
    if (r.loopCpuShare >= 0) {
      std::printf("; loop CPU %.1f %% over %.1f ms", 100.0 * r.loopCpuShare, r.progressMs);
      if (r.progressBlocks > 0)
        std::printf(" (%.2f ms CPU a block)", r.loopCpuShare * r.progressMs / r.progressBlocks);
    }
    std::printf("\n");
    loopMs.push_back(t.loopMs);
    loopRatio.push_back(t.loopMs / loopWire);
    if (t.runBytes > 0) {
      runMs.push_back(t.runMs);
      runRatio.push_back(t.runMs / runWire);
    }
    wallMs.push_back(r.processWallMs);
    cpuMs.push_back(r.processCpuMs);
    share.push_back(r.processCpuMs / r.processWallMs);
    if (r.loopCpuShare >= 0) loopShare.push_back(r.loopCpuShare);
  }
  if (loopMs.empty()) return;
  std::printf(
      "  median: loop %.1f ms (%.3f ms a block), loop wire %.1f ms, ratio %.3f; run ratio %.3f; "
      "process %.1f ms, CPU %.1f ms, share %.1f %%; loop CPU %.1f %%\n\n",
      median(loopMs), median(loopMs) / kBlocks, wireMs(kBlocks * (kBlockBytes + 1L), baud),
      median(loopRatio), median(runRatio), median(wallMs), median(cpuMs), 100.0 * median(share),
      100.0 * median(loopShare));
}

}  // namespace

int main() {
  char pattern[] = "/tmp/bitmap_download_bench.XXXXXX";
  if (!mkdtemp(pattern)) {
    std::printf("no temporary folder\n");
    return 1;
  }
  const std::string dir = pattern;  // mode 0700: also the runtime folder of the program
  std::filesystem::create_directories(dir + "/home");
  const std::string picture = dir + "/checker.bmp";
  if (!writeCheckerboard(picture, 320, 460)) {
    std::printf("cannot write %s\n", picture.c_str());
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  printHeader();
  for (const long baud : {9600L, 115200L}) runBaud(dir, picture, baud);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
