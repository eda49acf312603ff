#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <thread>

namespace win {
namespace {

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(e));
}

TEST(Events, AutoResetReleasesOneWait) {
  HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Events, DescriptorPollsReadableWhileSignalled) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const int fd = GetHandleDescriptor(e);
  ASSERT_GE(fd, 0);
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);
  SetEvent(e);
  SetEvent(e);  // twice: one reset must still clear it
  EXPECT_EQ(poll(&p, 1, 0), 1);
  ResetEvent(e);
  EXPECT_EQ(poll(&p, 1, 0), 0);
  CloseHandle(e);
  EXPECT_EQ(GetHandleDescriptor(e), -1);
}

TEST(Waits, AnyReturnsFirstSignalledAndAllNeedsEvery) {
  HANDLE e[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                 CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  SetEvent(e[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, e, FALSE, 0), WAIT_OBJECT_0 + 1);
  SetEvent(e[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 0), WAIT_TIMEOUT);
  SetEvent(e[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 0), WAIT_OBJECT_0);
  // The auto-reset one was taken by the wait; the manual one stays.
  EXPECT_EQ(WaitForSingleObject(e[1], 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(e[0], 0), WAIT_OBJECT_0);
  CloseHandle(e[0]);
  CloseHandle(e[1]);
}

TEST(Waits, TimeOutAfterTheGivenTimeAndWakeOnSetFromAnotherThread) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  EXPECT_EQ(WaitForSingleObject(e, 30), WAIT_TIMEOUT);
  QueryPerformanceCounter(&end);
  const double ms = (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
  EXPECT_GE(ms, 29.0);
  EXPECT_LT(ms, 1000.0);

  std::thread setter([&] {
    Sleep(10);
    SetEvent(e);
  });
  EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
  setter.join();
  CloseHandle(e);
}

TEST(Waits, AutoResetEventReleasesExactlyOneOfTwoWaiters) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> released{0};
  auto waiter = [&] {
    if (WaitForSingleObject(e, 300) == WAIT_OBJECT_0) ++released;
  };
  std::thread a(waiter), b(waiter);
  Sleep(20);
  SetEvent(e);
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 1);
  CloseHandle(e);
}

TEST(Waits, TheWaiterCountTellsWhichEventsAThreadSleepsOn) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE other = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(GetEventWaiterCount(e), 0u);
  std::thread waiter([&] {
    HANDLE both[2] = {other, e};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  });
  DWORD counted = 0;
  for (int i = 0; i < 5000 && (counted = GetEventWaiterCount(e)) == 0; ++i) Sleep(1);
  EXPECT_EQ(counted, 1u);
  EXPECT_EQ(GetEventWaiterCount(other), 1u);
  SetEvent(e);
  waiter.join();
  EXPECT_EQ(GetEventWaiterCount(e), 0u);
  EXPECT_EQ(GetEventWaiterCount(other), 0u);
  CloseHandle(other);
  CloseHandle(e);
  EXPECT_EQ(GetEventWaiterCount(e), 0u) << "a closed handle names no event";
}

TEST(Handles, InvalidAndClosedHandlesFail) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
}

TEST(Handles, DuplicateKeepsTheObjectAliveAndSharesItsState) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &copy, 0, TRUE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_NE(copy, e);
  ASSERT_TRUE(CloseHandle(e));
  EXPECT_TRUE(SetEvent(copy));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), copy, GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_CLOSE_SOURCE));
  EXPECT_FALSE(CloseHandle(copy));
  EXPECT_TRUE(CloseHandle(moved));
}

TEST(Time, CounterAdvancesWithSleepAndLastErrorIsPerThread) {
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  const DWORD tick = GetTickCount();
  Sleep(15);
  QueryPerformanceCounter(&b);
  EXPECT_GE(b.QuadPart - a.QuadPart, 15000000);
  EXPECT_GE(GetTickCount() - tick, 14u);

  SetLastError(ERROR_GEN_FAILURE);
  std::thread([] {
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetLastError(ERROR_ACCESS_DENIED);
  }).join();
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

}  // namespace
}  // namespace win
