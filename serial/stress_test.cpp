// Many open/close cycles while data streams in and requests are queued, served and cancelled:
// every request completes exactly once and nothing deadlocks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "platform/comm/memory_device.h"
#include "serial/port.h"
#include "serial/test_host.h"

namespace serial {
namespace {

using testing::RecordingHost;

TEST(EngineStress, OpenCloseCyclesWithStreamingDataAndQueuedRequests) {
  const std::string name = "engine_stress" + std::to_string(getpid());
  auto device = win::MemoryDevice::Create(name);
  setenv("RAVLIN_COM120", device->Path().c_str(), 1);
  RecordingHost host;
  auto port = std::make_unique<rs232x_port_t>(host);
  ASSERT_EQ(port->init(), RS_OK);
  port->set_close_settle_for_testing(0);
  ASSERT_EQ(port->put_port_number(120), RS_OK);
  ASSERT_EQ(port->put_input_timeout(30), RS_OK);  // a partial request gives up after 1 s

  // The line: 10 bytes every 2 ms (about 5 kB/s, a fast serial line) for as long as the test
  // runs. The pause is the stream's pace, not a wait for anything: without it the device's input
  // would pile up faster than any request takes it.
  std::atomic<bool> streaming{true};
  std::thread feeder([&] {
    while (streaming) {
      device->Feed("0123456789");
      device->TakeWritten();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  std::mt19937 random(12345);
  const int kCycles = 60;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    host.clear();
    rs232x_open_args_t args;
    args.io_mode = cycle % 4 == 3 ? iomAutoInput : iomNonBlocking;
    ASSERT_EQ(port->open(args), RS_OK) << "cycle " << cycle;
    std::map<LONG, int> inputs, outputs;
    const int requests = 3 + static_cast<int>(random() % 6);
    for (int i = 0; i < requests; ++i) {
      LONG id = 0;
      std::vector<std::uint8_t> bytes;
      // Some requests are larger than what arrives before the close: a worker is then inside
      // its read wait when the close comes.
      const LONG want = random() % 4 == 0 ? 2000 : 1 + static_cast<LONG>(random() % 8);
      ASSERT_EQ(port->input_bytes(want, &bytes, &id), RS_OK);
      inputs[id] = 0;
      const std::uint8_t data[] = {'a', 'b', 'c', 'd'};
      ASSERT_EQ(port->output_bytes(data, 1 + random() % 4, &id), RS_OK);
      outputs[id] = 0;
      if (random() % 3 == 0) {
        win::WaitWithDispatch(0, nullptr, random() % 15);
      }
    }
    if (random() % 3 == 0) {
      ASSERT_EQ(port->cancel_pending_inputs(), RS_OK);
    }
    if (random() % 3 == 0) {
      ASSERT_EQ(port->cancel_pending_outputs(), RS_OK);
    }
    win::WaitWithDispatch(0, nullptr, random() % 20);
    ASSERT_EQ(port->close(), RS_OK);

    auto tally = [&] {
      for (auto& [id, n] : inputs) n = 0;
      for (auto& [id, n] : outputs) n = 0;
      for (const auto& e : host.events()) {
        if (e.name == "NonblockInputB") ++inputs[e.a];
        if (e.name == "NonblockOutput") ++outputs[e.a];
      }
      for (const auto& [id, n] : inputs)
        if (n == 0) return false;
      for (const auto& [id, n] : outputs)
        if (n == 0) return false;
      return true;
    };
    ASSERT_TRUE(RecordingHost::PumpUntil(tally, 5000)) << "cycle " << cycle;
    win::WaitWithDispatch(0, nullptr, 15);  // a second completion would show up now
    tally();
    for (const auto& [id, n] : inputs) EXPECT_EQ(n, 1) << "input " << id << " cycle " << cycle;
    for (const auto& [id, n] : outputs) EXPECT_EQ(n, 1) << "output " << id << " cycle " << cycle;
    EXPECT_EQ(inputs.size(), static_cast<std::size_t>(requests));
  }
  streaming = false;
  feeder.join();
  port->teardown_workers();
  EXPECT_FALSE(port->threads_bound());
}

}  // namespace
}  // namespace serial
