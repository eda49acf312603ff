// WaitCommInput (the wait for queued input that takes none) and the paths that feed it: the
// in-memory device, where the service thread wakes the wait, and a pty, where the waiting
// thread polls the line itself; bytes going straight into a waiting read.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"

namespace win {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

DWORD Queued(HANDLE port) {
  COMSTAT stat{};
  EXPECT_TRUE(ClearCommError(port, nullptr, &stat));
  return stat.cbInQue;
}

// A thread is inside WaitCommInput on the device.
bool InsideTheWait(const CommActivity& activity) {
  return activity.inputWaits > 0;
}

// WaitCommInput on another thread with a time-out far beyond the test's limits, so that only
// what the test does can end it: a wait that ends at all within the limit ended by that. A
// last abort event (the rescue) ends it when the test has failed, so that nothing waits out
// the time-out.
class BackgroundWait {
 public:
  static constexpr DWORD kTimeoutMs = 60000;
  BackgroundWait(HANDLE port, DWORD count, std::vector<HANDLE> aborts = {}) {
    rescue_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    aborts.push_back(rescue_);
    result_ = std::async(std::launch::async, [port, count, aborts] {
      const DWORD r =
          WaitCommInput(port, count, kTimeoutMs, static_cast<DWORD>(aborts.size()), aborts.data());
      return std::make_pair(r, GetLastError());
    });
  }
  ~BackgroundWait() {
    SetEvent(rescue_);
    if (result_.valid()) result_.wait();
    CloseHandle(rescue_);
  }
  // True once the wait has returned, looking up to `ms`.
  bool Returned(int ms = 5000) {
    return result_.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
  }
  // What WaitCommInput returned and the last error after it.
  std::pair<DWORD, DWORD> Result() { return result_.get(); }

 private:
  HANDLE rescue_ = nullptr;
  std::future<std::pair<DWORD, DWORD>> result_;
};

class MemoryInputWait : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> next{0};
    device_ = MemoryDevice::Create("input-wait-" + std::to_string(next++));
    port_ = CreateFileA(device_->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }
  std::shared_ptr<MemoryDevice> device_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(MemoryInputWait, TimesOutLeavingWhatCameQueuedAndWakesWhenTheCountIsReached) {
  device_->Feed("abc");
  // A zero time-out looks once.
  EXPECT_EQ(WaitCommInput(port_, 3, 0, 0, nullptr), WAIT_OBJECT_0);
  EXPECT_EQ(WaitCommInput(port_, 4, 0, 0, nullptr), WAIT_TIMEOUT);

  auto start = Clock::now();
  EXPECT_EQ(WaitCommInput(port_, 5, 60, 0, nullptr), WAIT_TIMEOUT);
  EXPECT_GE(MsSince(start), 60);
  EXPECT_EQ(Queued(port_), 3u);  // nothing was taken

  {
    BackgroundWait waiting(port_, 5);
    ASSERT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
    device_->Feed("de");
    ASSERT_TRUE(waiting.Returned()) << "the bytes end the wait";
    EXPECT_EQ(waiting.Result().first, WAIT_OBJECT_0);
  }

  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "abcde");
}

TEST_F(MemoryInputWait, EventsComeFirstAndAnAutoResetOneIsConsumed) {
  HANDLE cancel = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE pause = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE events[2] = {cancel, pause};
  device_->Feed("xy");

  SetEvent(cancel);
  SetEvent(pause);
  // Both signalled and the bytes there: the lowest index wins, and only the auto-reset event
  // is reset by the wait.
  EXPECT_EQ(WaitCommInput(port_, 2, 1000, 2, events), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForSingleObject(cancel, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitCommInput(port_, 2, 1000, 2, events), WAIT_OBJECT_0 + 2);
  ResetEvent(pause);
  EXPECT_EQ(WaitCommInput(port_, 2, 1000, 2, events), WAIT_OBJECT_0);

  // An event set while the wait sleeps ends it at once.
  {
    BackgroundWait waiting(port_, 10, {cancel, pause});
    ASSERT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
    SetEvent(cancel);
    ASSERT_TRUE(waiting.Returned()) << "the event ends the wait";
    EXPECT_EQ(waiting.Result().first, WAIT_OBJECT_0 + 1);
  }
  EXPECT_EQ(WaitForSingleObject(cancel, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "acquired";
  EXPECT_EQ(Queued(port_), 2u);

  HANDLE notAnEvent = port_;
  EXPECT_EQ(WaitCommInput(port_, 1, 0, 1, &notAnEvent), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitCommInput(port_, 1, 0, 1, nullptr), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(cancel);
  CloseHandle(pause);
}

TEST_F(MemoryInputWait, ClosingOrLosingTheDeviceEndsTheWait) {
  auto waiting = std::async(std::launch::async, [&] {
    const DWORD r = WaitCommInput(port_, 1, INFINITE, 0, nullptr);
    return std::make_pair(r, GetLastError());
  });
  // The device goes while the wait sleeps.
  EXPECT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
  device_->Disconnect();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [r, error] = waiting.get();
  EXPECT_EQ(r, WAIT_FAILED);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(MemoryInputWait, ACountAboveTheQueueSizeCountsTheBytesLeftInTheDriver) {
  ASSERT_TRUE(SetupComm(port_, 16, 16));
  device_->Feed(std::string(40, 'q'));
  EXPECT_EQ(WaitCommInput(port_, 40, 2000, 0, nullptr), WAIT_OBJECT_0);
  EXPECT_EQ(WaitCommInput(port_, 41, 30, 0, nullptr), WAIT_TIMEOUT);
  EXPECT_EQ(Queued(port_), 40u);
}

class PtyInputWait : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    ASSERT_EQ(openpty(&master_, &slave_, name, &raw, nullptr), 0);
    port_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    CloseHandle(event_);
    if (master_ >= 0) close(master_);
    close(slave_);
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  int master_ = -1;
  int slave_ = -1;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
};

TEST_F(PtyInputWait, BytesFromTheLineWakeTheWaitAndStayForTheRead) {
  auto start = Clock::now();
  EXPECT_EQ(WaitCommInput(port_, 4, 50, 0, nullptr), WAIT_TIMEOUT);
  EXPECT_GE(MsSince(start), 50);

  {
    BackgroundWait waiting(port_, 4);
    ASSERT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
    Send("12");
    // The first bytes are taken from the line into the queue; too few, the wait goes on.
    EXPECT_TRUE(WaitCommActivity(
        port_, [](const CommActivity& a) { return a.inputQueued == 2 && a.inputWaits == 1; },
        5000));
    Send("34");
    ASSERT_TRUE(waiting.Returned()) << "the bytes end the wait";
    EXPECT_EQ(waiting.Result().first, WAIT_OBJECT_0);
  }
  EXPECT_EQ(Queued(port_), 4u);

  // A wait that times out right after bytes came leaves them too.
  Send("5");
  EXPECT_EQ(WaitCommInput(port_, 9, 30, 0, nullptr), WAIT_TIMEOUT);
  EXPECT_EQ(Queued(port_), 5u);
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "12345");
}

TEST_F(PtyInputWait, ClosingTheHandleEndsAWaitOnTheLine) {
  HANDLE second = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), port_, GetCurrentProcess(), &second, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  auto waiting = std::async(std::launch::async, [&] {
    const DWORD r = WaitCommInput(second, 1, INFINITE, 0, nullptr);
    return std::make_pair(r, GetLastError());
  });
  EXPECT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
  // The last handle goes while the wait polls the line: the device waits for it to leave
  // before the descriptor is closed.
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  CloseHandle(second);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [r, error] = waiting.get();
  EXPECT_EQ(r, WAIT_FAILED);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PtyInputWait, HangUpEndsTheWait) {
  auto waiting = std::async(std::launch::async, [&] {
    const DWORD r = WaitCommInput(port_, 100, 10000, 0, nullptr);
    return std::make_pair(r, GetLastError());
  });
  EXPECT_TRUE(WaitCommActivity(port_, InsideTheWait, 5000));
  close(master_);
  master_ = -1;
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [r, error] = waiting.get();
  EXPECT_EQ(r, WAIT_FAILED);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

// With nothing queued, bytes go straight into the waiting read: NUL discarding and the event
// character act on them as on queued ones, and a large read is not limited to the queue size.
TEST_F(PtyInputWait, AWaitingReadTakesBytesDirectlyWithTheSameRules) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.fNull = 1;
  dcb.EvtChar = '!';
  ASSERT_TRUE(SetCommState(port_, &dcb));
  ASSERT_TRUE(SetupComm(port_, 64, 64));
  ASSERT_TRUE(SetCommMask(port_, EV_RXFLAG));
  COMMTIMEOUTS t{0, 0, 5000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));

  OVERLAPPED waitOv{};
  HANDLE waitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  waitOv.hEvent = waitEvent;
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port_, &events, &waitOv));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

  std::string big(3000, 'b');
  big[10] = '\0';
  big[2000] = '!';
  std::string buffer(3000, '-');
  OVERLAPPED ov{};
  ov.hEvent = event_;
  DWORD got = 0;
  ASSERT_FALSE(ReadFile(port_, buffer.data(), 2999, &got, &ov));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  std::thread sender([&] { Send(big); });
  ASSERT_TRUE(GetOverlappedResult(port_, &ov, &got, TRUE));
  sender.join();
  EXPECT_EQ(got, 2999u);
  std::string expected = big;
  expected.erase(10, 1);
  EXPECT_EQ(buffer.substr(0, got), expected.substr(0, 2999));

  DWORD ignored = 0;
  ASSERT_TRUE(GetOverlappedResult(port_, &waitOv, &ignored, TRUE));
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXFLAG));
  CloseHandle(waitEvent);
}

}  // namespace
}  // namespace win
