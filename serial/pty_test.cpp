// The engine over real pseudo-terminals: line settings on the tty, data in both directions in
// the three I/O modes, and a master that goes away.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "serial/port.h"
#include "serial/test_host.h"

namespace serial {
namespace {

using testing::InsideAnInputWait;
using testing::RecordingHost;
using testing::Watchdog;

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int next = 60;
    portNumber = ++next;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    setenv(("RAVLIN_COM" + std::to_string(portNumber)).c_str(), name, 1);
    port = std::make_unique<rs232x_port_t>(host);
    ASSERT_EQ(port->init(), RS_OK);
    port->set_close_settle_for_testing(0);
    ASSERT_EQ(port->put_port_number(portNumber), RS_OK);
  }
  void TearDown() override {
    port.reset();
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  // Reads from the master until n bytes came or a second passed.
  std::string ReadMaster(std::size_t n) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t r = ::read(master, buf, sizeof buf);
      if (r > 0) got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
  }
  void WriteMaster(const std::string& s) {
    ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
  }
  int OpenRaw(LONG mode) {
    rs232x_open_args_t args;
    args.io_mode = mode;
    args.handshaking = hsNone;  // binary data must not be taken for Xon/Xoff
    return port->open(args);
  }

  RecordingHost host;
  std::unique_ptr<rs232x_port_t> port;
  int master = -1;
  int slave = -1;
  int portNumber = 0;
};

TEST_F(PtyTest, DefaultLineSettingsReachTheTtyAndCloseRestoresItsOwn) {
  termios before{};
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  ASSERT_EQ(port->open({}), RS_OK);
  termios t{};
  ASSERT_EQ(tcgetattr(slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_iflag & IXON, 0u);  // hsBoth: Xon/Xoff both ways
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_lflag & ICANON, 0u);  // raw
  ASSERT_EQ(port->close(), RS_OK);
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

TEST_F(PtyTest, BlockingReadsAndWritesMoveTheBytes) {
  ASSERT_EQ(OpenRaw(iomBlocking), RS_OK);
  WriteMaster(std::string("p\x13ng\0\x11", 6));
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  ASSERT_EQ(port->input_bytes(6, &bytes, &result), RS_OK);
  ASSERT_EQ(result, 6);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("p\x13ng\0\x11", 6));
  const std::string out(3000, '\xA5');
  ASSERT_EQ(
      port->output_bytes(reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), &result),
      RS_OK);
  EXPECT_EQ(result, 3000);
  EXPECT_EQ(ReadMaster(3000), out);
  EXPECT_EQ(host.counters.input_byte_count(), 6);
  EXPECT_EQ(host.counters.output_byte_count(), 3000);
}

TEST_F(PtyTest, AutomaticInputAndQueuedOutputReportOnTheControlThread) {
  ASSERT_EQ(OpenRaw(iomAutoInput), RS_OK);
  WriteMaster("hello world");
  std::string got;
  ASSERT_TRUE(RecordingHost::PumpUntil([&] {
    got.clear();
    for (const auto& e : host.named("AutoInput")) got += e.data;
    return got.size() >= 11;
  }));
  EXPECT_EQ(got, "hello world");
  LONG id = 0;
  ASSERT_EQ(port->output_string(u"reply", &id), RS_OK);
  EXPECT_EQ(id, 1);
  ASSERT_TRUE(host.PumpFor("NonblockOutput", 1));
  EXPECT_EQ(host.named("NonblockOutput")[0].n, 5);
  EXPECT_EQ(ReadMaster(5), "reply");
  for (const auto& e : host.events()) EXPECT_EQ(e.thread, std::this_thread::get_id());
}

TEST_F(PtyTest, AMasterThatGoesAwayFailsTheIoButCloseCompletes) {
  rs232x_open_args_t args;
  args.io_mode = iomBlocking;
  args.handshaking = hsNone;
  args.input_timeout = 1000;
  ASSERT_EQ(port->open(args), RS_OK);
  const HANDLE device = port->device_handle_for_testing();
  std::thread hangUp([&] {
    // The master goes while the read below waits for its bytes.
    EXPECT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));
    ::close(master);
    master = -1;
  });
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  const int status = port->input_bytes(4, &bytes, &result);
  hangUp.join();
  EXPECT_TRUE(status == RS_INPUT_FAILED || (status == RS_OK && result == -1));
  EXPECT_TRUE(bytes.empty());
  RecordingHost::PumpUntil([] { return false; }, 40);  // workers poll the dead line
  EXPECT_TRUE(host.named("AutoInput").empty());
  const int closed = port->close();
  EXPECT_TRUE(closed == RS_OK || closed == RS_CLOSE_FAILED);
  EXPECT_FALSE(port->opened());
}

// The input wait on a real line: bytes that come during the wait end it at once, and a wait
// that times out keeps its whole seconds and leaves what came in the driver's queue.
TEST_F(PtyTest, BlockingInputWaitWakesOnArrivalAndATimeOutLeavesTheBytes) {
  rs232x_open_args_t args;
  args.io_mode = iomBlocking;
  args.handshaking = hsNone;
  args.input_timeout = 1000;
  ASSERT_EQ(port->open(args), RS_OK);
  WriteMaster("abc");
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(port->input_bytes(5, &bytes, &result), RS_OK);
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.99);
  EXPECT_LT(waited, 1.6);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(bytes.empty());
  LONG queued = 0;
  ASSERT_EQ(port->input_buffer_byte_count(&queued), RS_OK);
  EXPECT_EQ(queued, 3);

  // Now a wait of a minute: the bytes that come during it end it, not the time. Should they not,
  // the watchdog hangs up after 5 s and the read fails.
  ASSERT_EQ(port->put_input_timeout(60000), RS_OK);
  const HANDLE device = port->device_handle_for_testing();
  std::thread sender([&] {
    EXPECT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));
    WriteMaster("d");
    // "d" is taken into the queue next to "abc"; too few, the wait goes on.
    EXPECT_TRUE(win::WaitCommActivity(
        device, [](const win::CommActivity& a) { return a.inputQueued == 4 && a.inputWaits > 0; },
        5000));
    WriteMaster("e");
  });
  int status = RS_OK;
  bool hungUp = false;
  {
    Watchdog watchdog(5000, [&] {
      ::close(master);
      master = -1;
    });
    status = port->input_bytes(5, &bytes, &result);
    watchdog.Done();
    sender.join();
    hungUp = watchdog.Fired();
  }
  ASSERT_EQ(status, RS_OK);
  EXPECT_FALSE(hungUp) << "the bytes did not end the wait";
  EXPECT_EQ(result, 5);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcde");
}

// The reader worker's wait on a real line: a request is served when its bytes are complete,
// and cancelling ends a wait that has nothing to wait for.
TEST_F(PtyTest, QueuedRequestWaitsForItsBytesAndCancellingEndsTheWait) {
  rs232x_open_args_t args;
  args.io_mode = iomNonBlocking;
  args.handshaking = hsNone;
  args.input_timeout = 10000;
  ASSERT_EQ(port->open(args), RS_OK);
  std::vector<std::uint8_t> bytes;
  LONG id = 0;
  const HANDLE device = port->device_handle_for_testing();
  ASSERT_EQ(port->input_bytes(4, &bytes, &id), RS_OK);
  ASSERT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));  // the reader took it
  WriteMaster("wx");
  // The reader's wait takes them into the queue and goes on: too few for the request.
  ASSERT_TRUE(win::WaitCommActivity(
      device, [](const win::CommActivity& a) { return a.inputQueued == 2 && a.inputWaits > 0; },
      5000));
  win::DispatchPending();
  EXPECT_TRUE(host.named("NonblockInputB").empty());
  WriteMaster("yz");
  ASSERT_TRUE(host.PumpFor("NonblockInputB", 1));
  EXPECT_EQ(host.named("NonblockInputB")[0].a, id);
  EXPECT_EQ(host.named("NonblockInputB")[0].n, 4);
  EXPECT_EQ(host.named("NonblockInputB")[0].data, "wxyz");

  ASSERT_EQ(port->input_bytes(4, &bytes, &id), RS_OK);
  ASSERT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));  // the worker is waiting
  {
    // The read would wait 10 s: should the cancel wait for it, the watchdog ends it with its
    // bytes after 5 s and the test fails.
    Watchdog watchdog(5000, [&] { WriteMaster("1234"); });
    ASSERT_EQ(port->cancel_pending_inputs(), RS_OK);
    watchdog.Done();
    EXPECT_FALSE(watchdog.Fired()) << "the cancel waited for the worker's read";
  }
  ASSERT_TRUE(host.PumpFor("NonblockInputB", 2));
  EXPECT_EQ(host.named("NonblockInputB")[1].a, id);
  EXPECT_LE(host.named("NonblockInputB")[1].n, 0);
  EXPECT_EQ(port->close(), RS_OK);
}

}  // namespace
}  // namespace serial
