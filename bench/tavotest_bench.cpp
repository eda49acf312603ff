// End-to-end figures of Tavotest, printed, never asserted:
//   1. start-up to the first poll: the real program started with a one-line command file, the
//      device played here on a pseudo-terminal; from the start of the process to the moment the
//      poll (EOT ENQ) arrives.
//   2. command exchange overhead: the main window's exchange in this process (Form1, the Port
//      control loaded by class id, the scheduler on the Qt loop) against tavosim --speed 0 at
//      115200 baud; each "VS" through comu is timed from the call to its return, and the time
//      the reply needs on the wire at 115200 baud (10 bits a byte) is taken off.
//   3. the real program's CPU while idle with the port open (the scheduler ticks every 2 ms),
//      against the simulator, over 10 s.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "bench/child_process.h"

namespace {

using bench::stop;
using bench::waitFor;

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

std::string xdgEnv(const QTemporaryDir& dir) {
  return "XDG_RUNTIME_DIR=" + dir.path().toStdString();
}

// 1. Start-up to the first poll.
void startupToFirstPoll(const QTemporaryDir& dir) {
  const std::string file = dir.path().toStdString() + "/poll.dat";
  std::ofstream(file) << "POLL**\r\nEND\r\n";
  std::vector<double> times;
  for (int round = 0; round < 5; ++round) {
    int master = -1, slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const Clock::time_point start = Clock::now();
    const pid_t pid =
        bench::spawn({TAVOTEST_BINARY, "--run", file, "--home", dir.path().toStdString()}, -1, -1,
                     {std::string("RAVLIN_COM1=") + name, xdgEnv(dir)});
    std::string seen;
    double took = -1;
    while (took < 0 && ms(Clock::now() - start) < 10000) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) continue;
      seen.append(buf, static_cast<std::size_t>(n));
      if (seen.find("\x04\x05") != std::string::npos) took = ms(Clock::now() - start);
    }
    const char reply[] = "\x02R0000\x03\x03";  // BCC: R^0^0^0^0^ETX
    write(master, reply, sizeof reply - 1);
    waitpid(pid, nullptr, 0);
    close(slave);
    close(master);
    if (took >= 0) times.push_back(took);
  }
  if (times.empty()) {
    std::printf("start-up to first poll: no poll seen\n");
    return;
  }
  std::printf("start-up to first poll: median %.1f ms, first %.1f ms, max %.1f ms (%zu runs)\n",
              percentile(times, 0.5), times.front(), *std::max_element(times.begin(), times.end()),
              times.size());
}

// 2. Exchange overhead, in this process.
void exchangeOverhead(const QTemporaryDir& dir) {
  tavo::Module1& m = tavo::module1();
  tavo::resetLinkState(m);
  m.programFolder = dir.path();
  tavo::Dialogs::setScripted(true);
  tavo::Form1 form(m);
  QString error;
  if (!form.createPort(&error)) {
    std::printf("exchange overhead: %s\n", qPrintable(error));
    return;
  }
  form.formLoad();
  m.baudRate = 115200;
  m.parity = 0;
  form.findChild<QCheckBox*>(QStringLiteral("Check10"))->setChecked(false);  // no Auto Poll
  tavo::Exchange& ex = form.exchange();
  ex.poll();  // opens the port
  m.commandText = QStringLiteral("PA");
  ex.comu();

  constexpr double kByteMs = 10.0 * 1000.0 / 115200.0;
  std::vector<double> overhead, roundTrip;
  for (int i = 0; i < 420; ++i) {
    m.commandText = QStringLiteral("VS");
    const Clock::time_point t0 = Clock::now();
    ex.comu();
    const double took = ms(Clock::now() - t0);
    if (m.replyType != u"A") {
      std::printf("exchange overhead: no answer (%s)\n", qPrintable(m.replyText));
      return;
    }
    if (i < 20) continue;                                    // warming up
    const double wire = (m.replyText.size() + 3) * kByteMs;  // STX, text, ETX, BCC
    roundTrip.push_back(took);
    overhead.push_back(took - wire);
  }
  std::printf(
      "command exchange (VS at 115200 baud, %zu runs): round trip median %.2f ms, p95 %.2f ms; "
      "overhead (minus %.2f ms of reply on the wire) median %.2f ms, p95 %.2f ms\n",
      roundTrip.size(), percentile(roundTrip, 0.5), percentile(roundTrip, 0.95),
      (m.replyText.size() + 3) * kByteMs, percentile(overhead, 0.5), percentile(overhead, 0.95));
  form.formQueryUnload();
  m.appEnding = false;
}

long cpuTicks(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

// 3. Idle CPU of the real program with the port open.
void idleCpu(const QTemporaryDir& dir, const std::string& link) {
  const std::string script = dir.path().toStdString() + "/idle.txt";
  std::ofstream(script) << "set Text5 VS\npress cmdKaishi\nprint Label10\nwait 13000\nquit\n";
  int out[2];
  if (pipe(out) != 0) return;
  const pid_t pid =
      bench::spawn({TAVOTEST_BINARY, "--ui-script", script, "--home", dir.path().toStdString()},
                   out[1], -1, {"RAVLIN_COM1=" + link, xdgEnv(dir)});
  close(out[1]);
  std::string text;
  const Clock::time_point start = Clock::now();
  while (text.find("Label10:") == std::string::npos && ms(Clock::now() - start) < 10000) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long before = cpuTicks(pid);
  const Clock::time_point t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const long after = cpuTicks(pid);
  const double seconds = ms(Clock::now() - t0) / 1000.0;
  std::printf(
      "idle with the port open: %.2f %% of one core over %.1f s (%s)\n",
      100.0 * (after - before) / sysconf(_SC_CLK_TCK) / seconds, seconds,
      text.find("Label10: AVS") != std::string::npos ? "port open, VS answered" : "no answer seen");
  stop(pid);
  close(out[0]);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
  startupToFirstPoll(dir);

  const std::string link = dir.path().toStdString() + "/com1";
  const pid_t sim = bench::spawn(
      {TAVOSIM_BINARY, "--link", link, "--speed", "0", "--baud", "115200"}, -1, -1, {});
  if (!waitFor(link, 5000)) {
    std::printf("tavosim did not start\n");
    stop(sim);
    return 1;
  }
  qputenv("RAVLIN_COM1", QByteArray::fromStdString(link));
  {
    QApplication app(argc, argv);
    exchangeOverhead(dir);
  }
  idleCpu(dir, link);
  stop(sim);
  return 0;
}
