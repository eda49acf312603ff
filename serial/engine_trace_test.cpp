// The engine's lines in the wire trace: requests at the entry points and every report, under
// the port's COM name, in order with the bytes the comm layer traces for the device.
#include "serial/engine_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/comm/memory_device.h"
#include "platform/comm/wire_trace.h"
#include "serial/port.h"
#include "serial/test_host.h"

namespace serial {
namespace {

using testing::RecordingHost;

std::vector<std::string> TraceLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines without their stamps (every line must have one).
std::vector<std::string> Unstamped(const std::vector<std::string>& lines) {
  static const std::regex kStamp(R"(^ *\d+\.\d{6} (.*)$)");
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, kStamp)) << line;
    if (!m.empty()) out.push_back(m[1]);
  }
  return out;
}

class EngineTrace : public ::testing::Test {
 protected:
  static constexpr int kPort = 57;

  void SetUp() override {
    char name[] = "/tmp/engine-trace-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    file_ = name;
    device_ = win::MemoryDevice::Create("engine-trace-" + std::to_string(::getpid()));
    ::setenv(("RAVLIN_COM" + std::to_string(kPort)).c_str(), device_->Path().c_str(), 1);
  }
  void TearDown() override {
    port_.reset();
    ::unsetenv("RAVLIN_TRACE");
    win::RestartWireTrace();
    ::unlink(file_.c_str());
  }
  // Makes the engine with the trace as RAVLIN_TRACE now says.
  void MakeEngine() {
    port_ = std::make_unique<rs232x_port_t>(host_);
    ASSERT_EQ(port_->init(), RS_OK);
    port_->set_close_settle_for_testing(0);
    ASSERT_EQ(port_->put_port_number(kPort), RS_OK);
  }
  int OpenInMode(LONG mode) {
    rs232x_open_args_t args;
    args.io_mode = mode;
    return port_->open(args);
  }

  std::string file_;
  std::shared_ptr<win::MemoryDevice> device_;
  RecordingHost host_;
  std::unique_ptr<rs232x_port_t> port_;
};

TEST_F(EngineTrace, RequestsReportsAndBytesAppearInOrder) {
  ::setenv("RAVLIN_TRACE", file_.c_str(), 1);
  ASSERT_TRUE(win::RestartWireTrace());
  MakeEngine();
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  const std::uint8_t data[] = {'h', 'i', 0x03};
  LONG id = 0;
  ASSERT_EQ(port_->output_bytes(data, sizeof data, &id), RS_OK);
  ASSERT_TRUE(host_.PumpFor("NonblockOutput", 1));
  std::vector<std::uint8_t> bytes;
  LONG inputId = 0;
  ASSERT_EQ(port_->input_bytes(2, &bytes, &inputId), RS_OK);
  device_->Feed("ok");
  ASSERT_TRUE(host_.PumpFor("NonblockInputB", 1));
  ASSERT_EQ(port_->close(), RS_OK);

  const std::string com = "COM" + std::to_string(kPort);
  const std::string dev = device_->Path();
  const std::vector<std::string> expected = {
      com + " request Open",
      com + " request OutputB 3 queued " + std::to_string(id),
      dev + " host 68 69 03",
      com + " event NonblockOutput " + std::to_string(id) + " 3",
      com + " request InputB 2 queued " + std::to_string(inputId),
      dev + " dev 6F 6B",
      com + " event NonblockInputB " + std::to_string(inputId) + " 2",
      com + " request Close",
  };
  // Other lines may come between (reports of the line monitor); these come in this order.
  const std::vector<std::string> lines = Unstamped(TraceLines(file_));
  std::size_t at = 0;
  for (const std::string& line : lines) {
    if (at < expected.size() && line == expected[at]) ++at;
  }
  EXPECT_EQ(at, expected.size()) << "missing from the trace: "
                                 << expected[std::min(at, expected.size() - 1)] << "\n"
                                 << ::testing::PrintToString(lines);
}

TEST_F(EngineTrace, BlockingRequestsAndReportsOnTheCallersThreadAreTracedToo) {
  ::setenv("RAVLIN_TRACE", file_.c_str(), 1);
  ASSERT_TRUE(win::RestartWireTrace());
  MakeEngine();
  ASSERT_EQ(OpenInMode(iomBlocking), RS_OK);
  ASSERT_TRUE(host_.counters.set_input_threshold(1));  // a notice for every byte counted
  device_->Feed("ab");
  std::vector<std::uint8_t> bytes;
  LONG result = 0;
  ASSERT_EQ(port_->input_bytes(2, &bytes, &result), RS_OK);
  EXPECT_EQ(result, 2);
  bool sent = false;
  ASSERT_EQ(port_->output_urgent(0x1B, &sent), RS_OK);
  ASSERT_EQ(port_->close(), RS_OK);

  const std::string com = "COM" + std::to_string(kPort);
  const std::vector<std::string> lines = Unstamped(TraceLines(file_));
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has(com + " request InputB 2")) << ::testing::PrintToString(lines);
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       com + " event CommIOState " + std::to_string(pioeInputThreshold)),
            2)
      << ::testing::PrintToString(lines);
  EXPECT_TRUE(has(com + " request OutputUrgent 1B")) << ::testing::PrintToString(lines);
  EXPECT_TRUE(has(device_->Path() + " host 1B")) << ::testing::PrintToString(lines);
}

TEST_F(EngineTrace, AnEngineMadeWhileTheTraceIsOffReportsStraightToItsHost) {
  ::unsetenv("RAVLIN_TRACE");
  ASSERT_FALSE(win::RestartWireTrace());
  MakeEngine();
  ASSERT_EQ(OpenInMode(iomNonBlocking), RS_OK);
  // The trace comes on later: requests are traced from now on, reports of this engine are not.
  ::setenv("RAVLIN_TRACE", file_.c_str(), 1);
  ASSERT_TRUE(win::RestartWireTrace());
  const std::uint8_t data[] = {'x'};
  LONG id = 0;
  ASSERT_EQ(port_->output_bytes(data, 1, &id), RS_OK);
  ASSERT_TRUE(host_.PumpFor("NonblockOutput", 1));
  ASSERT_EQ(port_->close(), RS_OK);
  const std::vector<std::string> lines = Unstamped(TraceLines(file_));
  const std::string com = "COM" + std::to_string(kPort);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      com + " request OutputB 1 queued " + std::to_string(id)),
            lines.end());
  for (const std::string& line : lines) EXPECT_EQ(line.find(" event "), std::string::npos) << line;
}

}  // namespace
}  // namespace serial
