// tavosim: the device simulator on a pseudo-terminal. One poll loop over the pty master, the
// control input and a signal descriptor; the timer is the loop's time-out (the next paced byte
// or the next device event). Everything the device does is in tavosim_core (simulator.h).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text/trace_line.h"
#include "sim/options.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowUs(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
}

// Bits on the line per byte: start, data, parity, stop. A pseudo-terminal keeps the stop bits
// the host sets but always reports 8 data bits and no parity, so parity comes from --parity.
int BitsPerByte(int fd, bool parity) {
  termios t{};
  int bits = 1 + 8 + 1 + (parity ? 1 : 0);
  if (tcgetattr(fd, &t) != 0) return bits;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      bits -= 3;
      break;
    case CS6:
      bits -= 2;
      break;
    case CS7:
      bits -= 1;
      break;
    default:
      break;
  }
  if ((t.c_cflag & PARENB) && !parity) ++bits;
  if (t.c_cflag & CSTOPB) ++bits;
  return bits;
}

class Trace {
 public:
  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  ~Trace() {
    if (file_) std::fclose(file_);
  }
  void Log(std::int64_t us, const char* who, const std::uint8_t* data, std::size_t n) {
    if (!file_ || n == 0) return;
    const std::string line = win::TraceLine(us, who, data, n);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

bool MakeLink(const std::string& link, const std::string& target, std::string* error) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      *error = link + " exists and is not a symbolic link";
      return false;
    }
    unlink(link.c_str());
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    *error = link + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  char buf[512];
  const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  tavosim::Options opt;
  std::string error;
  if (!tavosim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &opt, &error)) {
    std::fprintf(stderr, "tavosim: %s\n%s", error.c_str(), tavosim::kUsage);
    return 2;
  }
  if (opt.help) {
    std::fputs(tavosim::kUsage, stdout);
    return 0;
  }

  tavosim::Simulator sim(opt.device, opt.seed);
  sim.faults().SetRates(opt.faults);
  if (!opt.eeprom.empty()) {
    bool existed = false;
    if (!sim.device().eeprom().Load(opt.eeprom, &existed, &error)) {
      std::fprintf(stderr, "tavosim: %s\n", error.c_str());
      return 1;
    }
  }

  if (!opt.device.printDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(opt.device.printDir, ec);
    if (ec) {
      std::fprintf(stderr, "tavosim: %s: %s\n", opt.device.printDir.c_str(), ec.message().c_str());
      return 1;
    }
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::fprintf(stderr, "tavosim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  const std::string ptyName = ptsname(master);
  // Holding the slave open keeps the master from reading a hang-up whenever the host closes
  // the port, and keeps the line settings between the host's opens.
  const int slave = open(ptyName.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    std::fprintf(stderr, "tavosim: %s: %s\n", ptyName.c_str(), std::strerror(errno));
    return 1;
  }
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  cfsetspeed(&raw, B9600);
  tcsetattr(slave, TCSANOW, &raw);

  if (!opt.link.empty() && !MakeLink(opt.link, ptyName, &error)) {
    std::fprintf(stderr, "tavosim: %s\n", error.c_str());
    return 1;
  }
  Trace trace;
  if (!opt.trace.empty() && !trace.Open(opt.trace)) {
    std::fprintf(stderr, "tavosim: cannot write %s\n", opt.trace.c_str());
    if (!opt.link.empty()) RemoveLink(opt.link, ptyName);
    return 1;
  }

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  const int sigfd = signalfd(-1, &mask, SFD_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);

  std::printf("pty %s\n", ptyName.c_str());
  std::fflush(stdout);

  const Clock::time_point t0 = Clock::now();
  std::deque<std::uint8_t> queue;
  std::int64_t nextByteUs = 0;  // when the head of the queue has gone out on the line
  bool stdinOpen = true;
  std::string controlLine;
  bool quit = false;
  std::uint8_t buf[4096];

  auto enqueue = [&](const tavosim::Bytes& out, std::int64_t nowUs) {
    if (out.empty()) return;
    trace.Log(nowUs, "dev", out.data(), out.size());
    if (queue.empty() && opt.baud > 0) {
      const std::int64_t byteUs = BitsPerByte(slave, opt.parity) * 1000000LL / opt.baud;
      // nextByteUs is one byte past the end of the last transmission; the line is free from
      // one byte before it.
      nextByteUs = std::max(nextByteUs - byteUs, nowUs) + byteUs;
    }
    queue.insert(queue.end(), out.begin(), out.end());
  };
  auto notes = [&] {
    for (const std::string& n : sim.device().TakeNotes()) std::printf("%s\n", n.c_str());
    std::fflush(stdout);
  };

  while (!quit) {
    std::int64_t nowUs = NowUs(t0);
    sim.Advance(nowUs / 1000);
    notes();

    // Write what is due.
    bool wantWrite = false;
    if (!queue.empty()) {
      std::size_t due = queue.size();
      std::int64_t byteUs = 0;
      if (opt.baud > 0) {
        byteUs = BitsPerByte(slave, opt.parity) * 1000000LL / opt.baud;
        due = nowUs < nextByteUs ? 0 : 1 + static_cast<std::size_t>((nowUs - nextByteUs) / byteUs);
        due = std::min(due, queue.size());
      }
      if (due > 0) {
        std::vector<std::uint8_t> chunk(queue.begin(), queue.begin() + static_cast<long>(due));
        const ssize_t n = write(master, chunk.data(), chunk.size());
        if (n > 0) {
          queue.erase(queue.begin(), queue.begin() + n);
          nextByteUs += n * byteUs;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          std::fprintf(stderr, "tavosim: write: %s\n", std::strerror(errno));
          queue.clear();
        }
        if (n < static_cast<ssize_t>(due)) wantWrite = true;
      }
    }

    std::int64_t timeoutUs = -1;
    if (!queue.empty() && opt.baud > 0 && !wantWrite)
      timeoutUs = std::max<std::int64_t>(0, nextByteUs - nowUs);
    if (auto deadline = sim.NextDeadline()) {
      const std::int64_t t = std::max<std::int64_t>(0, *deadline * 1000 - nowUs);
      timeoutUs = timeoutUs < 0 ? t : std::min(timeoutUs, t);
    }

    pollfd fds[3] = {{master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                     {sigfd, POLLIN, 0},
                     {stdinOpen ? 0 : -1, POLLIN, 0}};
    timespec ts{};
    timespec* tsp = nullptr;
    if (timeoutUs >= 0) {
      ts.tv_sec = static_cast<time_t>(timeoutUs / 1000000);
      ts.tv_nsec = static_cast<long>(timeoutUs % 1000000) * 1000;
      tsp = &ts;
    }
    const int ready = ppoll(fds, 3, tsp, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "tavosim: poll: %s\n", std::strerror(errno));
      break;
    }
    nowUs = NowUs(t0);

    if (fds[1].revents & POLLIN) {
      signalfd_siginfo si{};
      if (read(sigfd, &si, sizeof si) > 0) quit = true;
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) {
        trace.Log(nowUs, "host", buf, static_cast<std::size_t>(n));
        enqueue(sim.OnInput(buf, static_cast<std::size_t>(n), nowUs / 1000), nowUs);
        notes();
      }
    }
    if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = read(0, buf, sizeof buf);
      if (n <= 0) {
        stdinOpen = false;  // no operator: the simulator keeps running on its timers
      } else {
        controlLine.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
        std::size_t nl;
        while ((nl = controlLine.find('\n')) != std::string::npos) {
          std::string line = controlLine.substr(0, nl);
          controlLine.erase(0, nl + 1);
          while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
          // Each word is acknowledged, so a script knows when it has taken effect.
          if (sim.Control(line, nowUs / 1000, &quit, &error)) {
            if (line.find_first_not_of(" \t\r") != std::string::npos)
              std::printf("ok %s\n", line.c_str());
          } else {
            std::printf("error %s\n", error.c_str());
          }
          notes();
        }
      }
    }
  }

  int status = 0;
  if (!opt.eeprom.empty() && !sim.device().eeprom().Save(opt.eeprom, &error)) {
    std::fprintf(stderr, "tavosim: %s\n", error.c_str());
    status = 1;
  }
  if (!opt.link.empty()) RemoveLink(opt.link, ptyName);
  close(slave);
  close(master);
  return status;
}
