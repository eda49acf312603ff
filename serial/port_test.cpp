// The engine over the in-memory device: configuration, open/close, the three I/O modes with
// their reports, cancellation, the line monitor and the error poll.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/comm/memory_device.h"
#include "serial/port.h"
#include "serial/test_host.h"

namespace serial {
namespace {

using testing::InsideAnInputWait;
using testing::RecordingHost;
using testing::Watchdog;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

// One control: a memory device reachable as COM<n>, a recording host and an initialised engine.
struct Rig {
  explicit Rig(int portNumber) {
    const std::string name = "engine" + std::to_string(getpid()) + "_" + std::to_string(portNumber);
    device = win::MemoryDevice::Create(name);
    const std::string variable = "RAVLIN_COM" + std::to_string(portNumber);
    const char* current = std::getenv(variable.c_str());
    if (!current || device->Path() != current) setenv(variable.c_str(), device->Path().c_str(), 1);
    port = std::make_unique<rs232x_port_t>(host);
    init = port->init();
    port->set_close_settle_for_testing(0);
    port->put_port_number(portNumber);
  }
  ~Rig() { port.reset(); }
  RecordingHost host;
  std::shared_ptr<win::MemoryDevice> device;
  std::unique_ptr<rs232x_port_t> port;
  int init = RS_OK;
};

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int next = 20;
    rig = std::make_unique<Rig>(++next);
    ASSERT_EQ(rig->init, RS_OK);
  }
  void TearDown() override { rig.reset(); }
  int OpenInMode(LONG mode) {
    rs232x_open_args_t args;
    args.io_mode = mode;
    return port().open(args);
  }
  rs232x_port_t& port() { return *rig->port; }
  RecordingHost& host() { return rig->host; }
  win::MemoryDevice& device() { return *rig->device; }
  std::unique_ptr<Rig> rig;
};

TEST(OpenArguments, MinusOneOnTheWireIsAnArgumentLeftOut) {
  rs232x_open_args_t args;
  EXPECT_FALSE(args.baud_rate.given()) << "nothing given by default";
  args.baud_rate = -1;
  args.stop_bits = -1.0f;
  args.data_bits = static_cast<SHORT>(-1);
  EXPECT_FALSE(args.baud_rate.given());
  EXPECT_FALSE(args.stop_bits.given());
  EXPECT_FALSE(args.data_bits.given());
  args.baud_rate = 0;  // given, and refused by Open
  args.stop_bits = 1.5f;
  EXPECT_TRUE(args.baud_rate.given());
  EXPECT_EQ(args.baud_rate.value(), 0);
  EXPECT_EQ(args.stop_bits.value_or(2.0f), 1.5f);
  EXPECT_EQ(args.port_number.value_or(7), 7);
}

TEST_F(PortTest, OpenWithNoArgumentsAppliesTheDefaultsAndCloseRestoresTheDevice) {
  ASSERT_EQ(port().open({}), RS_OK);
  EXPECT_TRUE(port().opened());
  EXPECT_TRUE(device().IsOpen());
  const win::DCB applied = device().AppliedState();
  EXPECT_EQ(applied.BaudRate, 9600u);
  EXPECT_EQ(applied.ByteSize, 8);
  EXPECT_EQ(applied.Parity, 0);
  EXPECT_EQ(applied.StopBits, 0);
  EXPECT_EQ(win::DcbFlags(applied) & kHandshakingMask, 0x2314u);
  EXPECT_TRUE(device().Dtr());
  EXPECT_TRUE(device().Rts());
  LONG mode = -1;
  ASSERT_EQ(port().get_io_mode(&mode), RS_OK);
  EXPECT_EQ(mode, iomAutoInput);
  HANDLE dup = nullptr;
  ASSERT_EQ(port().get_handle(&dup), RS_OK);
  win::COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(win::GetCommTimeouts(dup, &timeouts));
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2000u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 2000u);
  DWORD mask = 0;
  ASSERT_TRUE(win::GetCommMask(dup, &mask));
  EXPECT_EQ(mask, 0x178u);
  if (dup != nullptr) win::CloseHandle(dup);

  const engineConfig saved = port().saved_device_settings();
  ASSERT_EQ(port().close(), RS_OK);
  EXPECT_FALSE(port().opened());
  EXPECT_FALSE(device().IsOpen());
  const win::DCB restored = device().AppliedState();
  EXPECT_EQ(std::memcmp(&restored, &saved.dcb, sizeof restored), 0);
  if (peek_handshaking(saved.dcb) != hsDtrDsr) {
    EXPECT_FALSE(device().Dtr());
  }
  EXPECT_EQ(port().baud_rate(), 9600);  // the current block is untouched by close
  EXPECT_EQ(port().close(), RS_OK);     // closing a closed port is fine
}

TEST_F(PortTest, OpenRefusesBadArgumentsMissingDevicesAndASecondOpen) {
  rs232x_open_args_t args;
  args.data_bits = 5;
  args.stop_bits = 2.0f;
  EXPECT_EQ(port().open(args), RS_INVALID_ARG);
  args = {};
  args.baud_rate = 0;
  EXPECT_EQ(port().open(args), RS_INVALID_ARG);
  args = {};
  args.input_timeout = 9;
  EXPECT_EQ(port().open(args), RS_INVALID_ARG);
  args = {};
  args.io_mode = 3;
  EXPECT_EQ(port().open(args), RS_INVALID_ARG);
  args = {};
  args.stop_bits = 1.5f;  // clashes with the current 8 data bits
  EXPECT_EQ(port().open(args), RS_INVALID_ARG);
  EXPECT_EQ(device().OpenCount(), 0);

  args = {};
  args.port_number = 0;
  EXPECT_EQ(port().open(args), RS_OPEN_FAILED);
  args.port_number = 250;  // no such device
  EXPECT_EQ(port().open(args), RS_OPEN_FAILED);
  EXPECT_FALSE(port().opened());

  ASSERT_EQ(port().open({}), RS_OK);
  EXPECT_EQ(port().open({}), RS_ALREADY_OPEN);
  EXPECT_EQ(device().OpenCount(), 1);
}

TEST_F(PortTest, OpenThatTheDeviceRefusesClosesAgainAndKeepsTheOldSettings) {
  device().FailCall(win::CommCall::SetCommState, win::ERROR_GEN_FAILURE);
  rs232x_open_args_t args;
  args.baud_rate = 19200;
  args.input_timeout = 500;
  args.io_mode = iomBlocking;
  EXPECT_EQ(port().open(args), RS_SET_FAILED);
  EXPECT_FALSE(port().opened());
  EXPECT_FALSE(device().IsOpen());
  EXPECT_EQ(port().baud_rate(), 9600);
  EXPECT_EQ(port().input_timeout(), 2000);
  LONG mode = -1;
  ASSERT_EQ(port().get_io_mode(&mode), RS_OK);
  EXPECT_EQ(mode, iomBlocking);  // the I/O-mode flags are not rolled back
}

TEST_F(PortTest, PropertyValidationTable) {
  int notified = 0;
  auto count = [&] { ++notified; };
  EXPECT_EQ(port().put_baud_rate(0, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_data_bits(4, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_data_bits(9, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_stop_bits(1.5f, count), RS_INVALID_ARG);  // 8 data bits
  EXPECT_EQ(port().put_stop_bits(3.0f, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_parity(5, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_handshaking(-1, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_io_mode(3, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_input_timeout(9, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_input_timeout(-1, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_output_timeout(-2, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_event_byte(128, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_parity_replace_byte(-1, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_xon_byte(0x13, count), RS_XON_EQUALS_XOFF);
  EXPECT_EQ(port().put_xoff_byte(0x11, count), RS_XON_EQUALS_XOFF);
  EXPECT_EQ(port().put_on_threshold(101, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_on_threshold(80, count), RS_INVALID_ARG);   // 3276 !< 4096 - 1024
  EXPECT_EQ(port().put_off_threshold(10, count), RS_INVALID_ARG);  // 1024 !< 4096 - 3686
  EXPECT_EQ(port().put_input_buffer_size(0, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_output_buffer_size(-4, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_port_number(0, count), RS_INVALID_ARG);
  EXPECT_EQ(port().put_dtr(1, count), RS_INVALID_ARG);  // booleans are 0 or -1
  EXPECT_EQ(port().put_null_discard(2, count), RS_INVALID_ARG);
  EXPECT_EQ(notified, 0);
  EXPECT_EQ(std::memcmp(&port().config(), &rig->port->config(), 76), 0);
  const engineConfig fresh = NewControlConfig();
  EXPECT_EQ(std::memcmp(&port().config(), &fresh, sizeof fresh), 0);

  EXPECT_EQ(port().put_data_bits(5, count), RS_OK);
  EXPECT_EQ(port().put_stop_bits(2.0f, count), RS_INVALID_ARG);  // 5 data bits
  EXPECT_EQ(port().put_stop_bits(1.5f, count), RS_OK);
  float stop = 0;
  ASSERT_EQ(port().get_stop_bits(&stop), RS_OK);
  EXPECT_EQ(stop, 1.5f);
  EXPECT_EQ(port().put_data_bits(8, count), RS_INVALID_ARG);  // 1.5 stop bits
  EXPECT_EQ(port().put_output_timeout(-1, count), RS_OK);
  EXPECT_EQ(port().output_timeout(), -1);
  EXPECT_EQ(port().put_baud_rate(9600, count), RS_UNCHANGED);
  EXPECT_EQ(port().put_xon_byte(0x12, count), RS_OK);
  EXPECT_EQ(port().put_null_discard(-1, count), RS_OK);
  EXPECT_TRUE(port().null_discard());
  EXPECT_EQ(notified, 6);

  // A threshold whose limit does not change the DCB is not stored.
  ASSERT_EQ(port().put_input_buffer_size(10), RS_OK);
  EXPECT_EQ(port().put_on_threshold(26), RS_UNCHANGED);
  EXPECT_EQ(port().on_threshold(), 25);
  EXPECT_EQ(port().put_on_threshold(40), RS_OK);
  EXPECT_EQ(port().on_threshold(), 40);
  EXPECT_EQ(port().config().dcb.XonLim, 4);

  bool on = false;
  EXPECT_EQ(port().put_break(-1), RS_NOT_OPEN);
  EXPECT_EQ(port().get_break(&on), RS_NOT_OPEN);
  EXPECT_EQ(port().get_cts(&on), RS_NOT_OPEN);
  LONG n = 0;
  EXPECT_EQ(port().input_buffer_byte_count(&n), RS_NOT_OPEN);
  EXPECT_EQ(port().clear_input_buffer(), RS_NOT_OPEN);
}

TEST_F(PortTest, WritesWhileOpenGoToTheDeviceAndARefusalKeepsTheOldValue) {
  ASSERT_EQ(port().open({}), RS_OK);
  ASSERT_EQ(port().put_baud_rate(19200), RS_OK);
  EXPECT_EQ(device().AppliedState().BaudRate, 19200u);
  device().FailCall(win::CommCall::SetCommState, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(port().put_baud_rate(38400), RS_SET_FAILED);
  EXPECT_EQ(port().baud_rate(), 19200);
  device().FailCall(win::CommCall::SetCommState, win::ERROR_SUCCESS);
  EXPECT_EQ(port().put_port_number(3), RS_PORT_OPEN);

  ASSERT_EQ(port().put_input_buffer_size(8192), RS_OK);
  EXPECT_EQ(port().input_buffer_size(), 8192);
  EXPECT_EQ(device().AppliedState().XonLim, 2048);
  auto driverQueue = [&] {
    HANDLE dup = nullptr;
    win::COMMPROP props{};
    if (port().get_handle(&dup) == RS_OK) {
      win::GetCommProperties(dup, &props);
      win::CloseHandle(dup);
    }
    return props.dwCurrentRxQueue;
  };
  EXPECT_NE(driverQueue(), 8192u);  // the driver's queue follows at the next open
  ASSERT_EQ(port().close(), RS_OK);
  ASSERT_EQ(port().open({}), RS_OK);
  EXPECT_EQ(driverQueue(), 8192u);

  ASSERT_EQ(port().put_handshaking(hsDtrDsr), RS_OK);
  EXPECT_TRUE(rs_succeeded(port().put_dtr(0)));
  EXPECT_TRUE(device().Dtr());
  EXPECT_TRUE(port().dtr());
  ASSERT_EQ(port().put_handshaking(hsBoth), RS_OK);
  EXPECT_TRUE(rs_succeeded(port().put_rts(0)));
  EXPECT_TRUE(device().Rts());
  EXPECT_TRUE(port().rts());
  ASSERT_EQ(port().put_handshaking(hsNone), RS_OK);
  EXPECT_EQ(port().put_rts(0), RS_OK);
  EXPECT_FALSE(device().Rts());
  EXPECT_FALSE(port().rts());
  EXPECT_EQ(port().put_dtr(0), RS_OK);
  EXPECT_FALSE(device().Dtr());

  device().FailCall(win::CommCall::SetCommMask, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(port().put_event_mask(0x1FF), RS_SET_FAILED);
  EXPECT_EQ(port().event_mask(), 0x178);
  device().FailCall(win::CommCall::SetCommMask, win::ERROR_SUCCESS);

  ASSERT_EQ(port().put_break(-1), RS_OK);
  bool on = false;
  ASSERT_EQ(port().get_break(&on), RS_OK);
  EXPECT_TRUE(on);
  EXPECT_TRUE(device().Break());
  ASSERT_EQ(port().put_break(0), RS_OK);
  EXPECT_FALSE(device().Break());

  device().SetModemLines(win::MS_CTS_ON | win::MS_RING_ON);
  ASSERT_EQ(port().get_cts(&on), RS_OK);
  EXPECT_TRUE(on);
  ASSERT_EQ(port().get_dsr(&on), RS_OK);
  EXPECT_FALSE(on);
  ASSERT_EQ(port().get_ri(&on), RS_OK);
  EXPECT_TRUE(on);
  ASSERT_EQ(port().get_cd(&on), RS_OK);
  EXPECT_FALSE(on);
}

// Each time-out case runs on its own thread with its own control, so they overlap in time.
TEST(PortTimeouts, InputWaitsGiveUpAfterWholeSecondsTimes1005) {
  struct Outcome {
    double seconds = 0;
    LONG result = 0;
    std::string data;
    LONG lastError = 0;
    std::vector<LONG> ioStates;
    LONG queued = 0;
  };
  auto run = [](int portNumber, LONG timeout, const std::string& feed, LONG want, bool text) {
    Rig rig(portNumber);
    Outcome out;
    rs232x_open_args_t args;
    args.io_mode = iomBlocking;
    args.input_timeout = timeout;
    if (rig.port->open(args) != RS_OK) return out;
    rig.device->Feed(feed);
    const auto start = Clock::now();
    if (text) {
      std::u16string s;
      rig.port->input_string(want, &s, &out.result);
      for (char16_t c : s) out.data.push_back(static_cast<char>(c));
    } else {
      std::vector<std::uint8_t> b;
      rig.port->input_bytes(want, &b, &out.result);
      out.data.assign(b.begin(), b.end());
    }
    out.seconds = SecondsSince(start);
    out.lastError = rig.host.counters.port_last_error();
    for (const auto& e : rig.host.named("CommIOState")) out.ioStates.push_back(e.a);
    rig.port->input_buffer_byte_count(&out.queued);
    return out;
  };
  // The environment is set up front: threads must not change it while others read it.
  for (int n : {90, 91, 92})
    setenv(("RAVLIN_COM" + std::to_string(n)).c_str(),
           ("mem:engine" + std::to_string(getpid()) + "_" + std::to_string(n)).c_str(), 1);
  auto oneSecond = std::async(std::launch::async, run, 90, 1000, "abc", 5, true);
  auto twoSeconds = std::async(std::launch::async, run, 91, 1006, "", 5, false);
  auto huge = std::async(std::launch::async, run, 92, 10, "xy", 2147483647, false);
  const Outcome a = oneSecond.get(), b = twoSeconds.get(), c = huge.get();

  // The bounds sit just inside the neighbouring whole seconds: a wrong rounding lands a whole
  // second off, a busy machine only a little late.
  EXPECT_GE(a.seconds, 0.99);
  EXPECT_LT(a.seconds, 1.9);
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.data, "");  // nothing is taken from the driver on a time-out
  EXPECT_EQ(a.lastError, pioeInputTimeout);
  EXPECT_EQ(a.ioStates, std::vector<LONG>{pioeInputTimeout});
  EXPECT_EQ(a.queued, 3);

  EXPECT_GE(b.seconds, 1.99);
  EXPECT_LT(b.seconds, 2.9);
  EXPECT_EQ(b.result, -1);
  EXPECT_EQ(b.lastError, pioeInputBTimeout);
  EXPECT_EQ(b.ioStates, std::vector<LONG>{pioeInputBTimeout});

  EXPECT_GE(c.seconds, 0.99);  // a huge count waits like any other and allocates nothing
  EXPECT_LT(c.seconds, 1.9);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.queued, 2);
}

TEST_F(PortTest, BlockingInputReadsWhatIsQueuedAndCompletesASplitDoubleByteCharacter) {
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  std::vector<std::uint8_t> bytes{1, 2, 3};
  LONG result = 99;
  ASSERT_EQ(port().input_bytes(-1, &bytes, &result), RS_OK);  // empty queue: nothing, no wait
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(port().input_bytes(-2, &bytes, &result), RS_INVALID_ARG);
  EXPECT_TRUE(host().named("CommIOState").empty());

  device().Feed("hello");
  ASSERT_EQ(port().input_bytes(0, &bytes, &result), RS_OK);  // 0 means "what is queued"
  EXPECT_EQ(result, 5);
  EXPECT_EQ(bytes, Bytes("hello"));
  EXPECT_EQ(host().counters.input_byte_count(), 5);

  device().Feed("\x82\xA0\x82\xA2");  // two Shift-JIS characters
  std::u16string text;
  ASSERT_EQ(port().input_string(3, &text, &result), RS_OK);
  EXPECT_EQ(result, 4);
  EXPECT_EQ(text, u"\u3042\u3044");
}

TEST_F(PortTest, ThresholdNoticesComeBeforeTheWrapNotice) {
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  ASSERT_TRUE(host().counters.set_input_threshold(2));
  host().counters.set_counts_for_testing(2147483647 - 3, 0);
  device().Feed("12345");
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  ASSERT_EQ(port().input_bytes(5, &bytes, &result), RS_OK);
  EXPECT_EQ(result, 5);
  std::vector<LONG> ids;
  for (const auto& e : host().named("CommIOState")) ids.push_back(e.a);
  EXPECT_EQ(ids, (std::vector<LONG>{512, 512, 515}));
  EXPECT_EQ(host().counters.input_byte_count(), 2);
  EXPECT_EQ(host().counters.input_remainder(), 1);
}

TEST_F(PortTest, QueuedInputIsReportedOnTheControlThreadInOrder) {
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  std::vector<std::uint8_t> bytes;
  std::u16string text;
  LONG id1 = 0, id2 = 0, id3 = 0;
  ASSERT_EQ(port().input_bytes(4, &bytes, &id1), RS_OK);
  ASSERT_EQ(port().input_string(3, &text, &id2), RS_OK);
  EXPECT_EQ(id1, 1);
  EXPECT_EQ(id2, 2);
  EXPECT_TRUE(bytes.empty());
  device().Feed("abcdxyz");
  ASSERT_TRUE(host().PumpUntil([&] {
    return host().named("NonblockInputB").size() + host().named("NonblockInput").size() >= 2;
  }));
  const auto events = host().events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].name, "NonblockInputB");
  EXPECT_EQ(events[0].a, 1);
  EXPECT_EQ(events[0].n, 4);
  EXPECT_EQ(events[0].data, "abcd");
  EXPECT_EQ(events[1].name, "NonblockInput");
  EXPECT_EQ(events[1].a, 2);
  EXPECT_EQ(events[1].data, "xyz");
  for (const auto& e : events) EXPECT_EQ(e.thread, std::this_thread::get_id());
  // The worker counts once its report has returned.
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.input_byte_count() == 7; }, 1000));

  // A queued string read that had to complete a double-byte character counts nothing.
  ASSERT_EQ(port().input_string(1, &text, &id3), RS_OK);
  device().Feed("\x82\xA0");
  ASSERT_TRUE(host().PumpFor("NonblockInput", 2));
  EXPECT_EQ(host().named("NonblockInput")[1].a, id3);
  EXPECT_EQ(host().named("NonblockInput")[1].n, 2);
  win::WaitWithDispatch(0, nullptr, 30);
  EXPECT_EQ(host().counters.input_byte_count(), 7);
}

TEST_F(PortTest, RequestIdsWrapAfterTheLargestAndRestartAtEveryOpen) {
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  port().set_last_request_ids_for_testing(2147483646, 2147483646);
  std::vector<std::uint8_t> bytes;
  LONG id = 0;
  const std::uint8_t data[] = {1};
  std::vector<LONG> inputs, outputs;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(port().input_bytes(1, &bytes, &id), RS_OK);
    inputs.push_back(id);
    ASSERT_EQ(port().output_bytes(data, 1, &id), RS_OK);
    outputs.push_back(id);
  }
  EXPECT_EQ(inputs, (std::vector<LONG>{2147483647, 0, 1}));
  EXPECT_EQ(outputs, (std::vector<LONG>{2147483647, 0, 1}));
  ASSERT_EQ(port().close(), RS_OK);
  ASSERT_EQ(port().open({}), RS_OK);
  ASSERT_EQ(port().input_bytes(1, &bytes, &id), RS_OK);
  EXPECT_EQ(id, 1);
  ASSERT_EQ(port().output_bytes(data, 1, &id), RS_OK);
  EXPECT_EQ(id, 1);
}

TEST_F(PortTest, AutomaticInputReportsChunksAndFindsAPatternAcrossThem) {
  ASSERT_EQ(port().set_pattern(reinterpret_cast<const std::uint8_t*>("OK"), 2), RS_OK);
  ASSERT_EQ(port().open({}), RS_OK);
  device().Feed("xO");
  ASSERT_TRUE(host().PumpFor("AutoInput", 1));
  device().Feed("Ky");
  ASSERT_TRUE(host().PumpFor("AutoInput", 2));
  ASSERT_TRUE(host().PumpFor("DataDetected", 1));
  const auto events = host().events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].data, "xO");
  EXPECT_EQ(events[1].data, "Ky");
  EXPECT_EQ(events[1].n, 2);
  EXPECT_EQ(events[2].name, "DataDetected");  // after the chunk that completed it
  for (const auto& e : events) EXPECT_EQ(e.thread, std::this_thread::get_id());
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.input_byte_count() == 4; }, 1000));
}

TEST_F(PortTest, BlockingOutputCountsTimesOutAndRefusesAnEmptyString) {
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  LONG result = 0;
  ASSERT_EQ(port().output_string(u"abc", &result), RS_OK);
  EXPECT_EQ(result, 3);
  EXPECT_TRUE(device().WaitWritten(3, 1000));
  EXPECT_EQ(device().TakeWritten(), "abc");
  EXPECT_EQ(host().counters.output_byte_count(), 3);
  EXPECT_EQ(port().output_string(u"", &result), RS_OUTPUT_FAILED);
  ASSERT_EQ(port().output_bytes(nullptr, 0, &result), RS_OK);
  EXPECT_EQ(result, 0);

  ASSERT_TRUE(host().counters.set_output_threshold(100));
  const std::vector<std::uint8_t> block(250, 0x55);
  ASSERT_EQ(port().output_bytes(block.data(), block.size(), &result), RS_OK);
  EXPECT_EQ(result, 250);
  EXPECT_EQ(host().named("CommIOState").size(), 2u);
  EXPECT_EQ(host().counters.output_remainder(), 50);
  device().TakeWritten();

  host().clear();
  device().HoldWrites(true);
  ASSERT_EQ(port().put_output_timeout(10), RS_OK);
  ASSERT_EQ(port().output_bytes(block.data(), 4, &result), RS_OK);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(host().counters.port_last_error(), pioeOutputBTimeout);
  ASSERT_EQ(host().named("CommIOState").size(), 1u);
  EXPECT_EQ(host().named("CommIOState")[0].a, pioeOutputBTimeout);
  device().HoldWrites(false);
}

TEST_F(PortTest, QueuedOutputCountsUntilWrittenAndUrgentBytesCountOne) {
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  device().HoldWrites(true);
  LONG id = 0;
  const std::vector<std::uint8_t> data = Bytes("hello");
  ASSERT_EQ(port().output_bytes(data.data(), data.size(), &id), RS_OK);
  EXPECT_EQ(id, 1);
  LONG pending = 0;
  ASSERT_EQ(port().output_buffer_byte_count(&pending), RS_OK);
  EXPECT_GE(pending, 5);
  device().HoldWrites(false);
  ASSERT_TRUE(host().PumpFor("NonblockOutput", 1));
  EXPECT_EQ(host().named("NonblockOutput")[0].a, 1);
  EXPECT_EQ(host().named("NonblockOutput")[0].n, 5);
  EXPECT_TRUE(device().WaitWritten(5, 1000));
  EXPECT_EQ(device().TakeWritten(), "hello");
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.output_byte_count() == 5; }, 1000));

  bool sent = false;
  ASSERT_EQ(port().output_urgent('U', &sent), RS_OK);
  EXPECT_TRUE(sent);
  EXPECT_TRUE(device().WaitWritten(1, 1000));
  EXPECT_EQ(device().TakeWritten(), "U");
  EXPECT_EQ(host().counters.output_byte_count(), 6);
  device().FailCall(win::CommCall::TransmitCommChar, win::ERROR_GEN_FAILURE);
  ASSERT_EQ(port().output_urgent('V', &sent), RS_OK);
  EXPECT_FALSE(sent);
  EXPECT_EQ(host().counters.output_byte_count(), 6);
  ASSERT_EQ(port().close(), RS_OK);
  EXPECT_EQ(port().output_urgent('W', &sent), RS_NOT_OPEN);
}

// Every request id handed out completes exactly once; returns the ids completed with nothing.
std::vector<LONG> CheckCompletedOnce(const std::vector<testing::RecordedEvent>& events,
                                     const std::vector<LONG>& ids) {
  std::vector<LONG> cancelled;
  for (LONG id : ids) {
    int times = 0;
    for (const auto& e : events)
      if (e.a == id) ++times;
    EXPECT_EQ(times, 1) << "request " << id;
  }
  for (const auto& e : events)
    if (e.n == 0) cancelled.push_back(e.a);
  return cancelled;
}

TEST_F(PortTest, CancellationAndCloseCompleteEveryQueuedRequestOnceOldestFirst) {
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  std::u16string text;
  std::vector<LONG> inputs(3), outputs(2);
  for (auto& id : inputs) ASSERT_EQ(port().input_string(5, &text, &id), RS_OK);
  device().HoldWrites(true);
  const std::uint8_t data[] = {1, 2, 3};
  for (auto& id : outputs) ASSERT_EQ(port().output_bytes(data, 3, &id), RS_OK);

  ASSERT_EQ(port().cancel_pending_inputs(), RS_OK);
  ASSERT_TRUE(host().PumpFor("NonblockInput", 3));
  const auto cancelled = CheckCompletedOnce(host().named("NonblockInput"), inputs);
  EXPECT_GE(cancelled.size(), 2u);
  EXPECT_TRUE(std::is_sorted(cancelled.begin(), cancelled.end()));
  for (const auto& e : host().named("NonblockInput"))
    if (e.n == 0) {
      EXPECT_TRUE(e.null_data);
    }

  ASSERT_EQ(port().close(), RS_OK);
  ASSERT_TRUE(host().PumpFor("NonblockOutput", 2));
  const auto dropped = CheckCompletedOnce(host().named("NonblockOutput"), outputs);
  EXPECT_GE(dropped.size(), 1u);
  EXPECT_TRUE(std::is_sorted(dropped.begin(), dropped.end()));
  win::WaitWithDispatch(0, nullptr, 50);
  EXPECT_EQ(host().named("NonblockOutput").size(), 2u);
  EXPECT_EQ(host().counters.output_byte_count(), 0);
}

// The read would wait a minute: only the cancel or the close can end it within the test. Should
// either wait for the read instead, the watchdog ends the read with its bytes after 5 s and the
// test fails.
TEST_F(PortTest, CloseReturnsPromptlyWhileAWorkerWaitsInALongRead) {
  rs232x_open_args_t args;
  args.io_mode = iomNonBlocking;
  args.input_timeout = 60000;
  ASSERT_EQ(port().open(args), RS_OK);
  const HANDLE device = port().device_handle_for_testing();
  auto feedTheRead = [this] { rig->device->Feed("0123456789"); };
  std::vector<std::uint8_t> bytes;
  LONG id = 0;
  ASSERT_EQ(port().input_bytes(10, &bytes, &id), RS_OK);
  ASSERT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));  // the reader took it
  {
    Watchdog watchdog(5000, feedTheRead);
    ASSERT_EQ(port().cancel_pending_inputs(), RS_OK);
    watchdog.Done();
    EXPECT_FALSE(watchdog.Fired()) << "the cancel waited for the worker's read";
  }
  // The cancel signal ended the worker's wait: its request completes short.
  ASSERT_TRUE(host().PumpFor("NonblockInputB", 1));
  EXPECT_EQ(host().named("NonblockInputB")[0].n, -1);
  ASSERT_EQ(port().input_bytes(10, &bytes, &id), RS_OK);
  ASSERT_TRUE(win::WaitCommActivity(device, InsideAnInputWait, 5000));
  {
    Watchdog watchdog(5000, feedTheRead);
    ASSERT_EQ(port().close(), RS_OK);
    watchdog.Done();
    EXPECT_FALSE(watchdog.Fired()) << "the close waited for the worker's read";
  }
  ASSERT_TRUE(host().PumpFor("NonblockInputB", 2));
  win::WaitWithDispatch(0, nullptr, 30);
  EXPECT_EQ(host().named("NonblockInputB").size(), 2u);
}

TEST_F(PortTest, WithoutAnOutputTimeoutABlockingWriteWaitsUntilTheDeviceTakesEverything) {
  ASSERT_EQ(port().put_output_timeout(-1), RS_OK);  // in Open, -1 would mean "keep"
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  EXPECT_EQ(port().output_timeout(), -1);
  device().HoldWrites(true);
  const HANDLE handle = port().device_handle_for_testing();
  std::atomic<bool> released{false};
  std::thread release([&] {
    // The write comes to the device and stays there while it is held: it does not give up.
    EXPECT_TRUE(win::WaitCommActivity(
        handle, [](const win::CommActivity& a) { return a.pendingWrites > 0; }, 5000));
    EXPECT_FALSE(win::WaitCommActivity(
        handle, [](const win::CommActivity& a) { return a.pendingWrites == 0; }, 150))
        << "the write gave up while the device held it";
    released = true;
    device().HoldWrites(false);
  });
  LONG result = 0;
  const int status = port().output_string(u"patient", &result);
  const bool returnedAfterTheRelease = released;
  release.join();
  ASSERT_EQ(status, RS_OK);
  EXPECT_TRUE(returnedAfterTheRelease) << "the write returned while the device held it";
  EXPECT_EQ(result, 7);
  EXPECT_TRUE(device().WaitWritten(7, 1000));
  EXPECT_EQ(device().TakeWritten(), "patient");
  bool sent = false;
  ASSERT_EQ(port().output_urgent('!', &sent), RS_OK);
  EXPECT_TRUE(sent);
}

TEST_F(PortTest, CloseFromAHandlerOfAWorkerReportDoesNotDeadlock) {
  ASSERT_EQ(port().open({}), RS_OK);
  host().on_event = [this](const testing::RecordedEvent& e) {
    if (e.name == "AutoInput") port().close();
  };
  device().Feed("x");
  EXPECT_TRUE(host().PumpUntil([&] { return !port().opened(); }));
  host().on_event = nullptr;
  EXPECT_EQ(host().named("AutoInput").size(), 1u);
}

TEST_F(PortTest, InputAHandlerTookBeforeReopeningThePortIsNotCountedInTheNewSession) {
  ASSERT_EQ(port().open({}), RS_OK);
  bool reopened = false;
  host().on_event = [&](const testing::RecordedEvent& e) {
    if (e.name != "AutoInput" || reopened) return;
    reopened = true;
    port().close();
    ASSERT_EQ(port().open({}), RS_OK);  // the counts start again from 0
  };
  device().Feed("abcdef");
  ASSERT_TRUE(host().PumpUntil([&] { return reopened; }));
  host().on_event = nullptr;
  // The next delivery is counted once the worker has finished with the first one (it counts
  // after the handler returns).
  device().Feed("g");
  ASSERT_TRUE(host().PumpFor("AutoInput", 2, 2000));
  ASSERT_TRUE(host().PumpUntil([&] { return host().counters.input_byte_count() != 0; }));
  EXPECT_EQ(host().counters.input_byte_count(), 1) << "only the byte of the new session";
}

// The requests' reads would wait a minute: should the close wait for one, the watchdog ends it
// with its bytes after 5 s and the test fails.
TEST_F(PortTest, CloseWithQueuedRequestsWhileAWorkerWaitsToReportDoesNotDeadlock) {
  rs232x_open_args_t args;
  args.input_timeout = 60000;
  ASSERT_EQ(port().open(args), RS_OK);
  device().Feed("abc");
  // Nobody services the control's thread: the reader-monitor's report waits in its apartment.
  pollfd reportWaiting{win::CurrentApartment()->Descriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&reportWaiting, 1, 5000), 1) << "no report came";
  std::vector<LONG> ids(3);
  std::u16string text;
  for (auto& id : ids) ASSERT_EQ(port().input_string(50, &text, &id), RS_OK);
  {
    Watchdog watchdog(5000, [this] { rig->device->Feed(std::string(150, 'x')); });
    ASSERT_EQ(port().close(), RS_OK);
    watchdog.Done();
    EXPECT_FALSE(watchdog.Fired()) << "the close waited for a worker's read";
  }
  ASSERT_TRUE(host().PumpFor("NonblockInput", 3, 2000));
  win::WaitWithDispatch(0, nullptr, 30);
  CheckCompletedOnce(host().named("NonblockInput"), ids);
  ASSERT_EQ(host().named("AutoInput").size(), 1u);
  EXPECT_EQ(host().named("AutoInput")[0].data, "abc");
}

TEST_F(PortTest, ACloseInsideACompletionHandlerOfCloseIsHarmless) {
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  std::vector<LONG> ids(3);
  std::u16string text;
  for (auto& id : ids) ASSERT_EQ(port().input_string(50, &text, &id), RS_OK);
  int nested = -100;
  host().on_event = [&](const testing::RecordedEvent& e) {
    if (e.name == "NonblockInput" && nested == -100) nested = port().close();
  };
  EXPECT_EQ(port().close(), RS_OK);
  host().on_event = nullptr;
  EXPECT_EQ(nested, RS_OK);
  EXPECT_FALSE(port().opened());
  ASSERT_TRUE(host().PumpFor("NonblockInput", 3, 2000));
  win::WaitWithDispatch(0, nullptr, 30);
  CheckCompletedOnce(host().named("NonblockInput"), ids);
}

TEST_F(PortTest, AnOccupiedPortReportsToTheOccupierAndSuppressedCountingCountsNothing) {
  ASSERT_EQ(port().set_pattern(reinterpret_cast<const std::uint8_t*>("ab"), 2), RS_OK);
  ASSERT_EQ(port().open({}), RS_OK);
  host().occupied = true;  // an occupier with the counting interface
  device().Feed("ab");
  ASSERT_TRUE(host().PumpFor("_UberAutoInput", 1));
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.input_byte_count() == 2; }, 1000));
  EXPECT_TRUE(host().named("AutoInput").empty());
  EXPECT_EQ(host().named("DataDetected").size(), 1u);

  host().suppressed = true;  // an occupier without it: AutoInput, no search, no counting
  device().Feed("ab");
  ASSERT_TRUE(host().PumpFor("AutoInput", 1));
  win::WaitWithDispatch(0, nullptr, 30);
  EXPECT_EQ(host().counters.input_byte_count(), 2);
  EXPECT_EQ(host().named("DataDetected").size(), 1u);

  // Queued requests of an occupied port complete without a report to the host.
  ASSERT_EQ(port().put_io_mode(iomNonBlocking), RS_OK);
  std::vector<std::uint8_t> bytes;
  LONG id = 0;
  ASSERT_EQ(port().input_bytes(2, &bytes, &id), RS_OK);
  device().Feed("zz");
  EXPECT_TRUE(host().PumpUntil([&] {
    LONG queued = 1;
    port().input_buffer_byte_count(&queued);
    return queued == 0;
  }));
  win::WaitWithDispatch(0, nullptr, 30);
  EXPECT_TRUE(host().named("NonblockInputB").empty());
}

TEST_F(PortTest, AModemHandleIsAdoptedAndCloseOnlyCopiesTheSavedLineSettingsBack) {
  Rig modem(190);
  rs232x_open_args_t args;
  args.baud_rate = 19200;
  args.handshaking = hsRtsCts;
  ASSERT_EQ(modem.port->open(args), RS_OK);
  HANDLE line = nullptr;
  ASSERT_EQ(modem.port->get_handle(&line), RS_OK);
  ASSERT_NE(line, win::INVALID_HANDLE_VALUE);
  const win::DCB before = port().config().dcb;

  ASSERT_EQ(port().open_with_handle(line, modem.port->config().dcb, {}), RS_OK);
  EXPECT_TRUE(port().opened());
  EXPECT_EQ(port().baud_rate(), 19200);
  EXPECT_EQ(port().get_handshaking(), hsRtsCts);
  EXPECT_EQ(port().open_with_handle(line, modem.port->config().dcb, {}), RS_ALREADY_OPEN);
  ASSERT_EQ(port().close(true), RS_OK);
  EXPECT_FALSE(port().opened());
  EXPECT_EQ(std::memcmp(&port().config().dcb, &before, sizeof before), 0);
  EXPECT_TRUE(modem.port->opened());  // the modem's own handle is untouched

  // Not a device handle at all: refused as a failed query.
  EXPECT_EQ(port().open_with_handle(win::INVALID_HANDLE_VALUE, before, {}), RS_QUERY_FAILED);
  EXPECT_FALSE(port().opened());
}

TEST_F(PortTest, WorkersTornDownAreBoundAndStartedAgainAtTheNextOpen) {
  ASSERT_EQ(port().open({}), RS_OK);
  EXPECT_TRUE(port().threads_bound());
  port().teardown_workers();  // closes first
  EXPECT_FALSE(port().opened());
  EXPECT_FALSE(port().threads_bound());
  ASSERT_EQ(port().open({}), RS_OK);
  EXPECT_TRUE(port().threads_bound());
  device().Feed("again");
  ASSERT_TRUE(host().PumpFor("AutoInput", 1));
  EXPECT_EQ(host().named("AutoInput")[0].data, "again");
}

TEST_F(PortTest, TeardownFromAHandlerOfAWorkerReportLetsThatWorkerGo) {
  ASSERT_EQ(port().open({}), RS_OK);
  bool tornDown = false;
  host().on_event = [&](const testing::RecordedEvent& e) {
    if (e.name != "AutoInput" || tornDown) return;
    tornDown = true;
    // The reporting worker waits for this very handler: its stop gives up after 2000 ms.
    port().teardown_workers();
  };
  device().Feed("x");
  ASSERT_TRUE(host().PumpUntil([&] { return tornDown; }, 5000));
  host().on_event = nullptr;
  EXPECT_FALSE(port().opened());
  EXPECT_FALSE(port().threads_bound());
  win::WaitWithDispatch(0, nullptr, 50);  // the let-go worker ends by itself
  ASSERT_EQ(port().open({}), RS_OK);
  device().Feed("y");
  ASSERT_TRUE(host().PumpFor("AutoInput", 2));
  EXPECT_EQ(host().named("AutoInput")[1].data, "y");
}

TEST_F(PortTest, LineMonitorFiresOneCommStatePerCompletedWait) {
  ASSERT_EQ(port().open({}), RS_OK);
  ASSERT_TRUE(win::WaitCommActivity(
      port().device_handle_for_testing(),
      [](const win::CommActivity& a) { return a.eventWaitPending != win::FALSE; }, 5000))
      << "the monitor is waiting";
  device().SetModemLines(win::MS_DSR_ON | win::MS_RLSD_ON);  // CTS drops
  ASSERT_TRUE(host().PumpFor("CommState", 1));
  EXPECT_EQ(host().named("CommState")[0].a, peCts);
  win::WaitWithDispatch(0, nullptr, 30);
  device().SetModemLines(win::MS_CTS_ON | win::MS_RLSD_ON);  // CTS and DSR together
  ASSERT_TRUE(host().PumpFor("CommState", 2));
  EXPECT_EQ(host().named("CommState")[1].a, peDsr);
  EXPECT_EQ(host().named("CommState")[1].thread, std::this_thread::get_id());
  win::WaitWithDispatch(0, nullptr, 50);
  EXPECT_EQ(host().named("CommState").size(), 2u);
  // Closing ends the monitor's wait without any bits: nothing is reported for it.
  ASSERT_EQ(port().close(), RS_OK);
  win::WaitWithDispatch(0, nullptr, 50);
  EXPECT_EQ(host().named("CommState").size(), 2u);
}

TEST_F(PortTest, ErrorPollReportsOnlyWithTheErrorBitAndOverwritesPortLastError) {
  ASSERT_EQ(port().put_event_mask(0x178 | WIN_EV_ERR), RS_OK);
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  device().RaiseErrors(win::CE_FRAME | win::CE_RXPARITY);
  ASSERT_TRUE(host().PumpFor("CommError", 1));
  EXPECT_EQ(host().named("CommError")[0].a, perParity);
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.port_last_error() == 0; }));
  win::WaitWithDispatch(0, nullptr, 40);
  EXPECT_EQ(host().named("CommError").size(), 1u);

  ASSERT_EQ(port().put_event_mask(0x178), RS_OK);
  host().counters.set_port_last_error(pioeInputTimeout);
  device().RaiseErrors(win::CE_FRAME);
  EXPECT_TRUE(host().PumpUntil([&] { return host().counters.port_last_error() == 0; }));
  win::WaitWithDispatch(0, nullptr, 40);
  EXPECT_EQ(host().named("CommError").size(), 1u);
}

TEST_F(PortTest, ADisconnectedDeviceFailsCallsButCloseStillCompletes) {
  ASSERT_EQ(port().put_event_mask(0x178 | WIN_EV_ERR), RS_OK);
  rs232x_open_args_t args;
  args.io_mode = iomBlocking;
  args.input_timeout = 1000;
  ASSERT_EQ(port().open(args), RS_OK);
  const HANDLE handle = port().device_handle_for_testing();
  std::thread unplug([&] {
    // The device goes while the read below waits for its bytes.
    EXPECT_TRUE(win::WaitCommActivity(handle, InsideAnInputWait, 5000));
    device().Disconnect();
  });
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  const int status = port().input_bytes(5, &bytes, &result);
  unplug.join();
  EXPECT_TRUE(status == RS_INPUT_FAILED || (status == RS_OK && result == -1));
  EXPECT_TRUE(bytes.empty());
  const std::uint8_t data[] = {1};
  EXPECT_NE(port().output_bytes(data, 1, &result) == RS_OK && result == 1, true);
  win::WaitWithDispatch(0, nullptr, 40);  // the workers keep polling a dead device
  EXPECT_TRUE(host().named("AutoInput").empty());
  EXPECT_TRUE(host().named("CommError").empty());
  const int closed = port().close();
  EXPECT_TRUE(closed == RS_OK || closed == RS_CLOSE_FAILED);
  EXPECT_FALSE(port().opened());
}

// A device that goes away while open reads as a pulled cable: with the default event mask one
// CommState tells of the lines going off (CTS, DSR and CD together: the CD row is reported), the
// line properties read off, the port stays open until closed, and nothing follows the close.
TEST_F(PortTest, AVanishedDeviceReadsAsAPulledCableUntilClosedAndOpensWhenBack) {
  ASSERT_EQ(port().event_mask(), static_cast<LONG>(kDefaultEventMask));
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  auto lines = [&] {
    bool cts = false, dsr = false, cd = false;
    EXPECT_EQ(port().get_cts(&cts), RS_OK);
    EXPECT_EQ(port().get_dsr(&dsr), RS_OK);
    EXPECT_EQ(port().get_cd(&cd), RS_OK);
    return std::string(cts ? "C" : "-") + (dsr ? "D" : "-") + (cd ? "R" : "-");
  };
  EXPECT_EQ(lines(), "CDR");
  device().Disconnect();
  ASSERT_TRUE(host().PumpFor("CommState", 1));
  EXPECT_EQ(host().named("CommState")[0].a, peCd);
  EXPECT_EQ(lines(), "---");
  EXPECT_TRUE(port().opened());
  win::WaitWithDispatch(0, nullptr, 40);  // the monitor's next waits fail: no more events
  EXPECT_EQ(host().named("CommState").size(), 1u);
  EXPECT_TRUE(host().named("CommError").empty());

  EXPECT_EQ(port().close(), RS_OK);
  EXPECT_FALSE(port().opened());
  device().Reconnect();
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  LONG written = 0;
  const std::uint8_t data[] = {'o', 'k'};
  ASSERT_EQ(port().output_bytes(data, 2, &written), RS_OK);
  ASSERT_TRUE(device().WaitWritten(2, 2000));
  EXPECT_EQ(device().TakeWritten(), "ok");
  EXPECT_EQ(host().named("CommState").size(), 1u);
}

}  // namespace
}  // namespace serial
