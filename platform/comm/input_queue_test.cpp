// The receive queue on its own: arrival order, the character rules (NUL discarding, the event
// character), the 80 % mark and how it re-arms, the size in effect, reads from the front.
#include "platform/comm/input_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace win::detail {
namespace {

DWORD Arrive(InputQueue& queue, const std::string& bytes) {
  return queue.Arrive(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

std::string Take(InputQueue& queue, std::size_t size) {
  std::string out(size, '\0');
  out.resize(queue.Take(reinterpret_cast<BYTE*>(out.data()), size));
  return out;
}

TEST(InputQueue, BytesComeOutInArrivalOrderAcrossManyArrivalsAndTakes) {
  InputQueue queue;
  std::string sent;
  std::string got;
  for (int i = 0; i < 200; ++i) {
    const std::string piece(static_cast<std::size_t>(i % 7 + 1), static_cast<char>('a' + i % 26));
    EXPECT_EQ(Arrive(queue, piece) & EV_RXCHAR, EV_RXCHAR);
    sent += piece;
    got += Take(queue, static_cast<std::size_t>(i % 5));
  }
  got += Take(queue, sent.size());
  EXPECT_EQ(got, sent);
  EXPECT_EQ(queue.Held(), 0u);
  EXPECT_EQ(Take(queue, 10), "");
}

TEST(InputQueue, SizeZeroMeansTheDefaultAndRoomCountsDown) {
  InputQueue queue;
  EXPECT_EQ(queue.Capacity(), InputQueue::kDefaultSize);
  queue.SetSize(0);
  EXPECT_EQ(queue.RequestedSize(), 0u);
  EXPECT_EQ(queue.Capacity(), InputQueue::kDefaultSize);
  queue.SetSize(10);
  EXPECT_EQ(queue.Capacity(), 10u);
  Arrive(queue, "1234");
  EXPECT_EQ(queue.Room(), 6u);
  EXPECT_FALSE(queue.Full());
  Arrive(queue, "567890");
  EXPECT_TRUE(queue.Full());
  EXPECT_EQ(queue.Room(), 0u);
  // A smaller size keeps what is held: nothing is lost, the queue is just over full.
  queue.SetSize(4);
  EXPECT_EQ(queue.Held(), 10u);
  EXPECT_EQ(queue.Room(), 0u);
  EXPECT_EQ(Take(queue, 10), "1234567890");
}

TEST(InputQueue, NulBytesAreDroppedOnlyWhileTheRuleIsOn) {
  InputQueue queue;
  Arrive(queue, std::string("a\0b", 3));
  queue.SetRules(true, 0x7E);
  Arrive(queue, std::string("\0c\0\0d\0", 6));
  // An arrival of nothing but NULs still tells of received bytes.
  EXPECT_EQ(Arrive(queue, std::string("\0\0", 2)), static_cast<DWORD>(EV_RXCHAR));
  queue.SetRules(false, 0x7E);
  Arrive(queue, std::string("e\0", 2));
  EXPECT_EQ(Take(queue, 100), std::string("a\0bcde\0", 7));
}

TEST(InputQueue, TheEventCharacterRaisesRxFlagWhereverItIsInTheArrival) {
  InputQueue queue;
  queue.SetRules(false, '!');
  EXPECT_EQ(Arrive(queue, "abc"), static_cast<DWORD>(EV_RXCHAR));
  EXPECT_EQ(Arrive(queue, "ab!"), static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  EXPECT_EQ(Arrive(queue, "!"), static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  queue.SetRules(false, '?');
  EXPECT_EQ(Arrive(queue, "!!"), static_cast<DWORD>(EV_RXCHAR));
  // A NUL event character is seen before NULs are dropped.
  queue.SetRules(true, '\0');
  EXPECT_EQ(Arrive(queue, std::string("x\0", 2)), static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  EXPECT_EQ(Take(queue, 100), "abcab!!!!x");
}

TEST(InputQueue, EightyPercentMarkFiresOnceUntilTheQueueWentBelowIt) {
  InputQueue queue;
  queue.SetSize(100);
  EXPECT_EQ(Arrive(queue, std::string(79, 'x')) & EV_RX80FULL, 0u);
  EXPECT_EQ(Arrive(queue, "y") & EV_RX80FULL, static_cast<DWORD>(EV_RX80FULL));  // 80 of 100
  EXPECT_EQ(Arrive(queue, "z") & EV_RX80FULL, 0u) << "fires once while above the mark";
  Take(queue, 1);  // 80 left: still at the mark
  EXPECT_EQ(Arrive(queue, "z") & EV_RX80FULL, 0u);
  Take(queue, 2);  // 79: below it, the mark is armed again
  EXPECT_EQ(Arrive(queue, "w") & EV_RX80FULL, static_cast<DWORD>(EV_RX80FULL));
  queue.Clear();
  EXPECT_EQ(queue.Held(), 0u);
  EXPECT_EQ(Arrive(queue, std::string(80, 'v')) & EV_RX80FULL, static_cast<DWORD>(EV_RX80FULL))
      << "a purge arms the mark again";
}

TEST(InputQueue, DroppedNulsDoNotCountTowardsTheMark) {
  InputQueue queue;
  queue.SetSize(10);
  queue.SetRules(true, 0x7E);
  EXPECT_EQ(Arrive(queue, std::string(20, '\0')) & EV_RX80FULL, 0u);
  EXPECT_EQ(queue.Held(), 0u);
  EXPECT_EQ(Arrive(queue, std::string("1234567\0" "8", 9)) & EV_RX80FULL,
            static_cast<DWORD>(EV_RX80FULL));
  EXPECT_EQ(queue.Held(), 8u);
}

TEST(InputQueue, BytesStraightIntoAReadPassTheSameRulesInPlace) {
  InputQueue queue;
  queue.SetRules(true, '#');
  std::string buffer("a\0b#\0c", 6);
  std::size_t kept = 0;
  const DWORD events =
      queue.ArriveInPlace(reinterpret_cast<BYTE*>(buffer.data()), buffer.size(), &kept);
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  EXPECT_EQ(kept, 4u);
  EXPECT_EQ(buffer.substr(0, kept), "ab#c");
  EXPECT_EQ(queue.Held(), 0u) << "nothing entered the queue itself";

  queue.SetRules(false, '#');
  buffer.assign("x\0y", 3);
  EXPECT_EQ(queue.ArriveInPlace(reinterpret_cast<BYTE*>(buffer.data()), buffer.size(), &kept),
            static_cast<DWORD>(EV_RXCHAR));
  EXPECT_EQ(kept, 3u);
  EXPECT_EQ(buffer, std::string("x\0y", 3));
}

TEST(InputQueue, ALargeQueueKeepsEveryByteThroughCompaction) {
  InputQueue queue;
  queue.SetSize(1 << 16);
  std::vector<BYTE> expected;
  std::vector<BYTE> got;
  BYTE next = 0;
  for (int round = 0; round < 50; ++round) {
    std::vector<BYTE> piece(1000 + static_cast<std::size_t>(round) * 37);
    for (BYTE& b : piece) b = next++ % 251 + 1;  // no NULs
    expected.insert(expected.end(), piece.begin(), piece.end());
    queue.Arrive(piece.data(), piece.size());
    std::vector<BYTE> out(900);
    out.resize(queue.Take(out.data(), out.size()));
    got.insert(got.end(), out.begin(), out.end());
  }
  std::vector<BYTE> rest(queue.Held());
  EXPECT_EQ(queue.Take(rest.data(), rest.size()), rest.size());
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace win::detail
