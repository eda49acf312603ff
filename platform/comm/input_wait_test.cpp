// The waits of input_wait.h on their own, without a device: the time rules of a pending read,
// reads served from a queue, the WaitCommEvent state, and WaitCommInput's waiting threads
// against a stand-in source whose line is a pipe.
#include "platform/comm/input_wait.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>

namespace win::detail {
namespace {

using std::chrono::milliseconds;
constexpr DWORD kMax = 0xFFFFFFFF;

// ---- Pending reads ----------------------------------------------------------------------------

TEST(PendingRead, ZeroWaitReturnsAtOnceWithWhatIsThere) {
  const auto t0 = CommClock::now();
  BYTE buffer[8];
  OVERLAPPED ov{};
  PendingRead read(&ov, buffer, 8, COMMTIMEOUTS{kMax, 0, 0, 0, 0}, t0);
  EXPECT_TRUE(read.Finished(t0));
  ASSERT_TRUE(read.Due().has_value());
  EXPECT_EQ(*read.Due(), t0);
}

TEST(PendingRead, ReturnOnAnyEndsAtTheFirstByteOrAtTheConstant) {
  const auto t0 = CommClock::now();
  BYTE buffer[8];
  OVERLAPPED ov{};
  PendingRead read(&ov, buffer, 8, COMMTIMEOUTS{kMax, kMax, 100, 0, 0}, t0);
  EXPECT_FALSE(read.Finished(t0 + milliseconds(99)));
  EXPECT_TRUE(read.Finished(t0 + milliseconds(100)));
  PendingRead one(&ov, buffer, 8, COMMTIMEOUTS{kMax, kMax, 100, 0, 0}, t0);
  one.Took(1, t0 + milliseconds(5));
  EXPECT_TRUE(one.Finished(t0 + milliseconds(5)));
}

TEST(PendingRead, TotalTimeOutIsMultiplierTimesSizePlusConstant) {
  const auto t0 = CommClock::now();
  BYTE buffer[5];
  OVERLAPPED ov{};
  PendingRead read(&ov, buffer, 5, COMMTIMEOUTS{0, 10, 50, 0, 0}, t0);
  ASSERT_TRUE(read.Due().has_value());
  EXPECT_EQ(*read.Due(), t0 + milliseconds(100));
  read.Took(4, t0 + milliseconds(1));
  EXPECT_FALSE(read.Finished(t0 + milliseconds(99)));
  EXPECT_TRUE(read.Finished(t0 + milliseconds(100)));
  read.Took(1, t0 + milliseconds(2));
  EXPECT_TRUE(read.Finished(t0 + milliseconds(2))) << "all bytes there";
}

TEST(PendingRead, IntervalRunsOnlyOnceAByteCameAndRestartsWithEachByte) {
  const auto t0 = CommClock::now();
  BYTE buffer[8];
  OVERLAPPED ov{};
  PendingRead read(&ov, buffer, 8, COMMTIMEOUTS{20, 0, 0, 0, 0}, t0);
  EXPECT_FALSE(read.Due().has_value()) << "no total time-out, no byte yet: only bytes end it";
  EXPECT_FALSE(read.Finished(t0 + milliseconds(1000)));
  read.Took(2, t0 + milliseconds(1000));
  ASSERT_TRUE(read.Due().has_value());
  EXPECT_EQ(*read.Due(), t0 + milliseconds(1020));
  read.Took(1, t0 + milliseconds(1015));
  EXPECT_FALSE(read.Finished(t0 + milliseconds(1030)));
  EXPECT_TRUE(read.Finished(t0 + milliseconds(1035)));
  read.Took(0, t0 + milliseconds(1034));  // nothing came: the interval still counts from 1015
  EXPECT_EQ(*read.Due(), t0 + milliseconds(1035));
}

TEST(PendingRead, DueIsTheEarlierOfDeadlineAndInterval) {
  const auto t0 = CommClock::now();
  BYTE buffer[8];
  OVERLAPPED ov{};
  PendingRead read(&ov, buffer, 8, COMMTIMEOUTS{50, 0, 30, 0, 0}, t0);
  read.Took(1, t0);
  EXPECT_EQ(*read.Due(), t0 + milliseconds(30));
  PendingRead late(&ov, buffer, 8, COMMTIMEOUTS{10, 0, 30, 0, 0}, t0);
  late.Took(1, t0 + milliseconds(5));
  EXPECT_EQ(*late.Due(), t0 + milliseconds(15));
}

class Reads : public ::testing::Test {
 protected:
  void SetUp() override {
    for (HANDLE& e : events_) e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < 2; ++i) ov_[i].hEvent = events_[i];
  }
  void TearDown() override {
    for (HANDLE e : events_) CloseHandle(e);
  }
  void Feed(const std::string& bytes) {
    queue_.Arrive(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
  }
  bool Done(int i) { return WaitForSingleObject(events_[i], 0) == WAIT_OBJECT_0; }

  Completions completions_;
  PendingReads reads_{completions_};
  InputQueue queue_;
  HANDLE events_[2] = {};
  OVERLAPPED ov_[2] = {};
  char buffers_[2][8] = {};
};

TEST_F(Reads, OldestReadIsServedFirstAndCompletesWithTheCountAndItsEvent) {
  const auto t0 = CommClock::now();
  const COMMTIMEOUTS wait{0, 0, 0, 0, 0};  // only bytes end them
  for (int i = 0; i < 2; ++i) {
    StartRecord(&ov_[i]);
    reads_.Add(PendingRead(&ov_[i], reinterpret_cast<BYTE*>(buffers_[i]), 4, wait, t0));
  }
  Feed("abc");
  reads_.Serve(queue_, t0);
  EXPECT_EQ(reads_.Size(), 2u);
  EXPECT_EQ(RecordStatus(&ov_[0]), STATUS_PENDING);
  EXPECT_EQ(reads_.Front().done, 3u);
  Feed("defgh");
  reads_.Serve(queue_, t0);
  ASSERT_TRUE(Done(0));
  EXPECT_EQ(RecordStatus(&ov_[0]), static_cast<UINT_PTR>(ERROR_SUCCESS));
  EXPECT_EQ(ov_[0].InternalHigh, 4u);
  EXPECT_EQ(std::string(buffers_[0], 4), "abcd");
  ASSERT_TRUE(Done(1));
  EXPECT_EQ(std::string(buffers_[1], 4), "efgh");
  EXPECT_TRUE(reads_.Empty());
}

TEST_F(Reads, ATimeOutEndsTheReadSuccessfullyWithWhatCame) {
  const auto t0 = CommClock::now();
  StartRecord(&ov_[0]);
  reads_.Add(PendingRead(&ov_[0], reinterpret_cast<BYTE*>(buffers_[0]), 8,
                         COMMTIMEOUTS{0, 0, 40, 0, 0}, t0));
  Feed("xy");
  reads_.Serve(queue_, t0 + milliseconds(39));
  EXPECT_FALSE(Done(0));
  reads_.Serve(queue_, t0 + milliseconds(40));
  ASSERT_TRUE(Done(0));
  EXPECT_EQ(RecordStatus(&ov_[0]), static_cast<UINT_PTR>(ERROR_SUCCESS));
  EXPECT_EQ(ov_[0].InternalHigh, 2u);
}

TEST_F(Reads, BytesGoStraightOnlyIntoTheOldestReadAndOnlyWhileTheQueueIsEmpty) {
  const auto t0 = CommClock::now();
  EXPECT_EQ(reads_.DirectTarget(queue_), nullptr);
  for (int i = 0; i < 2; ++i) {
    StartRecord(&ov_[i]);
    reads_.Add(PendingRead(&ov_[i], reinterpret_cast<BYTE*>(buffers_[i]), 2,
                           COMMTIMEOUTS{0, 0, 0, 0, 0}, t0));
  }
  PendingRead* direct = reads_.DirectTarget(queue_);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(direct->overlapped, &ov_[0]);
  Feed("q");
  EXPECT_EQ(reads_.DirectTarget(queue_), nullptr) << "queued bytes come first";
}

TEST_F(Reads, EndingOneRecordLeavesTheOthers) {
  const auto t0 = CommClock::now();
  for (int i = 0; i < 2; ++i) {
    StartRecord(&ov_[i]);
    reads_.Add(PendingRead(&ov_[i], reinterpret_cast<BYTE*>(buffers_[i]), 4,
                           COMMTIMEOUTS{0, 0, 0, 0, 0}, t0));
  }
  Feed("z");
  reads_.Serve(queue_, t0);
  OVERLAPPED stranger{};
  EXPECT_FALSE(reads_.End(ERROR_OPERATION_ABORTED, &stranger));
  EXPECT_TRUE(reads_.End(ERROR_OPERATION_ABORTED, &ov_[1]));
  EXPECT_EQ(RecordStatus(&ov_[1]), static_cast<UINT_PTR>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(RecordStatus(&ov_[0]), STATUS_PENDING);
  EXPECT_TRUE(reads_.End(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(RecordStatus(&ov_[0]), static_cast<UINT_PTR>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(ov_[0].InternalHigh, 1u) << "what it got so far";
  EXPECT_FALSE(reads_.End(ERROR_OPERATION_ABORTED));
}

TEST(Completions, AThreadWaitingForARecordWithoutAnEventIsWoken) {
  std::mutex mutex;
  Completions completions;
  OVERLAPPED ov{};
  StartRecord(&ov);
  auto waiting = std::async(std::launch::async, [&] {
    std::unique_lock lock(mutex);
    completions.WaitFor(lock, &ov);
    return ov.InternalHigh;
  });
  {
    std::lock_guard lock(mutex);
    completions.Complete(&ov, ERROR_SUCCESS, 7);
  }
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), 7u);
}

// ---- WaitCommEvent ----------------------------------------------------------------------------

class Events : public ::testing::Test {
 protected:
  Completions completions_;
  EventWait wait_{completions_};
  OVERLAPPED ov_{};
  DWORD got_ = 0xDEAD;
};

TEST_F(Events, NoWaitWithoutAMaskNorTwoAtOnce) {
  EXPECT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(got_, 0xDEADu) << "a refused wait touches nothing";
  wait_.SetMask(EV_RXCHAR);
  EXPECT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(RecordStatus(&ov_), STATUS_PENDING);
  EXPECT_EQ(got_, 0u);
  OVERLAPPED second{};
  DWORD other = 0;
  EXPECT_EQ(wait_.Start(&other, &second), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Events, EventsOutsideTheMaskAreDroppedAndOthersEndTheWait) {
  wait_.SetMask(EV_RXFLAG | EV_CTS);
  ASSERT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_SUCCESS));
  wait_.Record(EV_RXCHAR | EV_TXEMPTY);
  EXPECT_TRUE(wait_.Pending());
  EXPECT_TRUE(wait_.PendingFor(EV_CTS));
  EXPECT_FALSE(wait_.PendingFor(EV_RXCHAR));
  wait_.Record(EV_RXCHAR | EV_RXFLAG | EV_CTS);
  EXPECT_FALSE(wait_.Pending());
  EXPECT_EQ(got_, static_cast<DWORD>(EV_RXFLAG | EV_CTS));
  EXPECT_EQ(RecordStatus(&ov_), static_cast<UINT_PTR>(ERROR_SUCCESS));
}

TEST_F(Events, EventsWhileNoneWaitsAreKeptForTheNextWait) {
  wait_.SetMask(EV_BREAK | EV_ERR);
  wait_.Record(EV_BREAK);
  wait_.Record(EV_ERR | EV_RXCHAR);
  EXPECT_EQ(wait_.Kept(), static_cast<DWORD>(EV_BREAK | EV_ERR));
  ASSERT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_SUCCESS));
  wait_.Record(0);  // the device's look right after the start
  EXPECT_FALSE(wait_.Pending());
  EXPECT_EQ(got_, static_cast<DWORD>(EV_BREAK | EV_ERR));
  EXPECT_EQ(wait_.Kept(), 0u);
  wait_.Record(EV_BREAK);
  wait_.KeepOnly(EV_CTS);
  EXPECT_EQ(wait_.Kept(), 0u);
}

TEST_F(Events, AMaskChangeEndsTheWaitWithNoEventsAndForgetsWhatWasKept) {
  wait_.SetMask(EV_RING | EV_RXCHAR);
  ASSERT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_SUCCESS));
  wait_.SetMask(EV_RING);
  EXPECT_FALSE(wait_.Pending());
  EXPECT_EQ(got_, 0u);
  EXPECT_EQ(RecordStatus(&ov_), static_cast<UINT_PTR>(ERROR_SUCCESS));
  wait_.Record(EV_RING);
  wait_.SetMask(EV_RING);
  EXPECT_EQ(wait_.Kept(), 0u);
}

TEST_F(Events, EndingTakesOnlyTheNamedRecord) {
  wait_.SetMask(EV_RXCHAR);
  ASSERT_EQ(wait_.Start(&got_, &ov_), static_cast<DWORD>(ERROR_SUCCESS));
  OVERLAPPED stranger{};
  EXPECT_FALSE(wait_.End(ERROR_OPERATION_ABORTED, &stranger));
  EXPECT_TRUE(wait_.Pending());
  EXPECT_TRUE(wait_.End(ERROR_OPERATION_ABORTED, &ov_));
  EXPECT_EQ(RecordStatus(&ov_), static_cast<UINT_PTR>(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(wait_.End(ERROR_OPERATION_ABORTED));
}

// ---- WaitCommInput ----------------------------------------------------------------------------

// A device stand-in: its queue, and a pipe as the line (written by the test, read on a pull).
class Source final : public InputWaitSource {
 public:
  Source() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
      lineRead = fds[0];
      lineWrite = fds[1];
    }
  }
  ~Source() {
    ::close(lineRead);
    ::close(lineWrite);
  }
  InputLook LookForInput(DWORD count, bool pull, CommClock::time_point) override {
    ++looks;
    lastPull = pull;
    InputLook look;
    look.error = error;
    if (error != ERROR_SUCCESS) return look;
    look.lineFd = useLine ? lineRead : -1;
    if (pull && useLine) {
      BYTE bytes[256];
      const ssize_t n = ::read(lineRead, bytes, sizeof bytes);
      if (n > 0) queue.Arrive(bytes, static_cast<std::size_t>(n));
    }
    look.enough = queue.Held() >= count;
    look.full = queue.Full();
    look.lookEveryMs = look.full;  // as the device: a full queue is looked at every ms
    return look;
  }
  void WakeService() override { ++wakes; }

  // Waits (polling under the lock) until `condition` holds; false after 5 s.
  template <class Condition>
  bool Eventually(Condition condition) {
    const auto end = CommClock::now() + std::chrono::seconds(5);
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (condition()) return true;
      }
      if (CommClock::now() > end) return false;
      std::this_thread::sleep_for(milliseconds(1));
    }
  }
  std::future<std::pair<DWORD, DWORD>> StartWait(DWORD count, DWORD ms, DWORD abortCount = 0,
                                                 const HANDLE* aborts = nullptr) {
    return std::async(std::launch::async, [=, this] {
      DWORD result = 0xDEAD;
      const DWORD error = waiters.Wait(*this, mutex, count, ms, abortCount, aborts, &result);
      return std::make_pair(error, result);
    });
  }

  std::mutex mutex;
  InputQueue queue;
  InputWaiters waiters;
  DWORD error = ERROR_SUCCESS;
  bool useLine = false;
  int lineRead = -1;
  int lineWrite = -1;
  int looks = 0;
  int wakes = 0;
  bool lastPull = false;
};

constexpr auto kReady = std::chrono::seconds(5);

TEST(InputWaiters, ASignalForTheCountEndsTheWaitAndLeavesTheBytes) {
  Source source;
  auto waiting = source.StartWait(3, INFINITE);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 1; }));
  {
    std::lock_guard lock(source.mutex);
    source.queue.Arrive(reinterpret_cast<const BYTE*>("abc"), 3);
    source.waiters.Signal(source.queue);
  }
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  const auto [error, result] = waiting.get();
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result, WAIT_OBJECT_0);
  std::lock_guard lock(source.mutex);
  EXPECT_EQ(source.queue.Held(), 3u);
  EXPECT_TRUE(source.waiters.Empty());
}

TEST(InputWaiters, BytesOnTheLineWakeTheWaitWhichThenPullsThem) {
  Source source;
  source.useLine = true;
  auto waiting = source.StartWait(4, INFINITE);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 1; }));
  ASSERT_EQ(::write(source.lineWrite, "wxyz", 4), 4);
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  EXPECT_EQ(waiting.get().second, WAIT_OBJECT_0);
  std::lock_guard lock(source.mutex);
  EXPECT_TRUE(source.lastPull);
  EXPECT_EQ(source.queue.Held(), 4u);
}

TEST(InputWaiters, TimeOutLooksAtTheLineOnceMoreAndThenGivesUp) {
  Source source;
  source.useLine = true;
  const auto start = CommClock::now();
  auto waiting = source.StartWait(5, 30);
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  EXPECT_EQ(waiting.get().second, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(CommClock::now() - start, milliseconds(30));
  std::lock_guard lock(source.mutex);
  EXPECT_TRUE(source.lastPull) << "the last look reads the line";
  EXPECT_TRUE(source.waiters.Empty());
}

TEST(InputWaiters, ZeroTimeOutLooksOnceWithAPull) {
  Source source;
  source.useLine = true;
  ASSERT_EQ(::write(source.lineWrite, "12", 2), 2);
  DWORD result = 0;
  EXPECT_EQ(source.waiters.Wait(source, source.mutex, 2, 0, 0, nullptr, &result),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result, WAIT_OBJECT_0);
  EXPECT_EQ(source.looks, 1);
  EXPECT_EQ(source.waiters.Wait(source, source.mutex, 3, 0, 0, nullptr, &result),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(InputWaiters, AnAbortEventEndsTheWaitAndAnAutoResetOneIsConsumed) {
  Source source;
  HANDLE aborts[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                      CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  auto waiting = source.StartWait(1, INFINITE, 2, aborts);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 1; }));
  SetEvent(aborts[1]);
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  EXPECT_EQ(waiting.get().second, WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForSingleObject(aborts[1], 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(aborts[0]);
  SetEvent(aborts[1]);
  DWORD result = 0;
  ASSERT_EQ(source.waiters.Wait(source, source.mutex, 1, INFINITE, 2, aborts, &result),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result, WAIT_OBJECT_0 + 1) << "lowest index first";
  HANDLE notAnEvent = reinterpret_cast<HANDLE>(0x7777);
  EXPECT_EQ(source.waiters.Wait(source, source.mutex, 1, 0, 1, &notAnEvent, &result),
            static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (HANDLE e : aborts) CloseHandle(e);
}

TEST(InputWaiters, TheDeviceEndingWakesEveryWaitAndWaitUntilGoneSeesThemLeave) {
  Source source;
  auto first = source.StartWait(10, INFINITE);
  auto second = source.StartWait(20, 60000);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 2; }));
  {
    std::unique_lock lock(source.mutex);
    source.error = ERROR_INVALID_HANDLE;
    source.waiters.SignalAll();
    source.waiters.WaitUntilGone(lock);
    EXPECT_TRUE(source.waiters.Empty());
  }
  for (auto* waiting : {&first, &second}) {
    ASSERT_EQ(waiting->wait_for(kReady), std::future_status::ready);
    EXPECT_EQ(waiting->get().first, static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST(InputWaiters, TheLastWaitToLeaveWakesAServiceThatLeftTheLineToIt) {
  Source source;
  auto waiting = source.StartWait(1, INFINITE);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 1; }));
  {
    std::lock_guard lock(source.mutex);
    source.waiters.SetServiceDeaf(true);
    EXPECT_TRUE(source.waiters.ServiceDeaf());
    source.queue.Arrive(reinterpret_cast<const BYTE*>("!"), 1);
    source.waiters.Signal(source.queue);
  }
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  EXPECT_EQ(waiting.get().second, WAIT_OBJECT_0);
  {
    std::lock_guard lock(source.mutex);
    EXPECT_EQ(source.wakes, 1);
    // The line stays with the waits a moment after the last one left.
    EXPECT_TRUE(source.waiters.Holding(source.waiters.LingerUntil() - milliseconds(1)));
    EXPECT_FALSE(source.waiters.Holding(source.waiters.LingerUntil()));
    // A service thread that did not leave the line is not woken.
    source.waiters.SetServiceDeaf(false);
  }
  DWORD result = 0;
  EXPECT_EQ(source.waiters.Wait(source, source.mutex, 1, 0, 0, nullptr, &result),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result, WAIT_OBJECT_0);
  std::lock_guard lock(source.mutex);
  EXPECT_EQ(source.wakes, 1);
}

TEST(InputWaiters, AFullQueueWakesAWaitForMoreThanItHolds) {
  Source source;
  source.queue.SetSize(4);
  auto waiting = source.StartWait(10, INFINITE);
  ASSERT_TRUE(source.Eventually([&] { return source.waiters.Count() == 1; }));
  int looksBefore = 0;
  {
    std::lock_guard lock(source.mutex);
    looksBefore = source.looks;
    source.queue.Arrive(reinterpret_cast<const BYTE*>("full"), 4);
    source.waiters.Signal(source.queue);
  }
  // Woken, it looks again (and, the queue being full, keeps looking every millisecond).
  EXPECT_TRUE(source.Eventually([&] { return source.looks > looksBefore; }));
  {
    std::lock_guard lock(source.mutex);
    source.error = ERROR_DEVICE_NOT_CONNECTED;
  }
  ASSERT_EQ(waiting.wait_for(kReady), std::future_status::ready);
  EXPECT_EQ(waiting.get().first, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

}  // namespace
}  // namespace win::detail
