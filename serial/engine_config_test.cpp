// The configuration block, its encodings, the pattern search, the counters and the event tables.
#include <gtest/gtest.h>

#include <cstring>

#include "serial/engine_config.h"
#include "serial/engine_host.h"
#include "serial/pattern.h"
#include "serial/threads.h"

namespace serial {
namespace {

template <typename T>
T at(const std::uint8_t* bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

TEST(EngineConfig, DefaultBlockHasTheDocumentedBytesAtEveryOffset) {
  const engineConfig config = DefaultEngineConfig();
  std::uint8_t b[76];
  std::memcpy(b, &config, sizeof b);
  EXPECT_EQ(b[0], 1);  // automatic input
  for (int i = 1; i < 8; ++i) EXPECT_EQ(b[i], 0) << "offset " << i;
  EXPECT_EQ(at<std::uint32_t>(b, 8), 0x178u);
  EXPECT_EQ(at<std::uint32_t>(b, 12), 25u);
  EXPECT_EQ(at<std::uint32_t>(b, 16), 75u);
  EXPECT_EQ(at<std::uint32_t>(b, 20), 4096u);
  EXPECT_EQ(at<std::uint32_t>(b, 24), 4096u);
  // DCB at 28.
  EXPECT_EQ(at<std::uint32_t>(b, 28), 0u);       // DCBlength not filled in
  EXPECT_EQ(at<std::uint32_t>(b, 32), 9600u);    // BaudRate
  EXPECT_EQ(at<std::uint32_t>(b, 36), 0x2315u);  // fBinary + hsBoth group
  EXPECT_EQ(at<std::uint16_t>(b, 40), 0u);
  EXPECT_EQ(at<std::uint16_t>(b, 42), 1024u);  // XonLim
  EXPECT_EQ(at<std::uint16_t>(b, 44), 1024u);  // XoffLim
  EXPECT_EQ(b[46], 8);                         // ByteSize
  EXPECT_EQ(b[47], 0);                         // Parity
  EXPECT_EQ(b[48], 0);                         // StopBits
  EXPECT_EQ(b[49], 0x11);
  EXPECT_EQ(b[50], 0x13);
  EXPECT_EQ(b[51], 0);
  EXPECT_EQ(b[52], 0);
  EXPECT_EQ(b[53], 0);
  EXPECT_EQ(at<std::uint16_t>(b, 54), 0u);
  // COMMTIMEOUTS at 56.
  EXPECT_EQ(at<std::uint32_t>(b, 56), 0u);
  EXPECT_EQ(at<std::uint32_t>(b, 60), 0u);
  EXPECT_EQ(at<std::uint32_t>(b, 64), 2000u);
  EXPECT_EQ(at<std::uint32_t>(b, 68), 0u);
  EXPECT_EQ(at<std::uint32_t>(b, 72), 2000u);

  const engineConfig control = NewControlConfig();
  EXPECT_EQ(control.dtr, 1);
  EXPECT_EQ(control.rts, 1);
  EXPECT_EQ(io_mode_of(control), iomAutoInput);
}

TEST(EngineConfig, HandshakingEncodesTheDocumentedGroupsAndRefusesOthers) {
  const DWORD expected[] = {0x1010, 0x1310, 0x2014, 0x2314, 0x1028};
  for (LONG hs = 0; hs <= 4; ++hs) {
    win::DCB dcb{};
    win::SetDcbFlags(dcb, 0xFFFFFFFFu);  // every other flag must survive
    ASSERT_TRUE(encode_handshaking(dcb, hs));
    EXPECT_EQ(win::DcbFlags(dcb) & kHandshakingMask, expected[hs]) << hs;
    EXPECT_EQ(win::DcbFlags(dcb) & ~kHandshakingMask, 0xFFFFFFFFu & ~kHandshakingMask) << hs;
    EXPECT_EQ(peek_handshaking(dcb), hs);
  }
  win::DCB dcb{};
  win::SetDcbFlags(dcb, 0x1);
  EXPECT_FALSE(encode_handshaking(dcb, 5));
  EXPECT_FALSE(encode_handshaking(dcb, -1));
  EXPECT_EQ(win::DcbFlags(dcb), 0x1u);
}

TEST(EngineConfig, DecodeTakesTheFirstMatchingRuleAndCanonicalises) {
  auto decode = [](DWORD flags, DWORD* after = nullptr) {
    win::DCB dcb{};
    win::SetDcbFlags(dcb, flags);
    const LONG hs = decode_handshaking(dcb);
    if (after) *after = win::DcbFlags(dcb);
    return hs;
  };
  EXPECT_EQ(decode(0x2000 | 0x0200), hsBoth);    // RTS handshake + fInX
  EXPECT_EQ(decode(0x0020 | 0x0100), hsBoth);    // DTR handshake + fOutX
  EXPECT_EQ(decode(0x2000 | 0x0020), hsRtsCts);  // RTS handshake wins over DTR handshake
  EXPECT_EQ(decode(0x0020), hsDtrDsr);
  EXPECT_EQ(decode(0x0100), hsXonXoff);
  DWORD after = 0;
  EXPECT_EQ(decode(0x0008 | 0x0001, &after), hsNone);  // a stray fOutxDsrFlow is dropped
  EXPECT_EQ(after, 0x1011u);
}

TEST(EngineConfig, FlowControlLimitsTruncate) {
  EXPECT_EQ(xon_limit(4096, 25), 1024);
  EXPECT_EQ(xoff_limit(4096, 75), 1024);
  EXPECT_EQ(xon_limit(4096, 80), 3276);
  EXPECT_EQ(xon_limit(10, 26), 2);
  EXPECT_EQ(xoff_limit(10, 75), 2);
  EXPECT_EQ(xon_limit(1000000, 50), static_cast<win::WORD>(500000));  // 16-bit field
}

TEST(EngineConfig, IoModeFlagsAndStopBits) {
  engineConfig c = DefaultEngineConfig();
  set_io_mode_flags(c, iomBlocking);
  EXPECT_EQ(io_mode_of(c), iomBlocking);
  EXPECT_FALSE(input_queued(c));
  set_io_mode_flags(c, iomNonBlocking);
  EXPECT_EQ(io_mode_of(c), iomNonBlocking);
  EXPECT_TRUE(input_queued(c) && output_queued(c));
  set_io_mode_flags(c, iomAutoInput);
  EXPECT_EQ(c.auto_input + c.nonblocking_input + c.nonblocking_output, 3);
  c.auto_input = 0;
  c.nonblocking_input = 1;
  c.nonblocking_output = 0;
  EXPECT_EQ(io_mode_of(c), -1);

  EXPECT_EQ(stop_bits_code(1.0f), 0);
  EXPECT_EQ(stop_bits_code(1.5f), 1);
  EXPECT_EQ(stop_bits_code(2.0f), 2);
  EXPECT_EQ(stop_bits_code(1.25f), -1);
  EXPECT_FALSE(data_stop_compatible(5, 2));
  EXPECT_TRUE(data_stop_compatible(5, 1));
  EXPECT_FALSE(data_stop_compatible(8, 1));
  EXPECT_TRUE(data_stop_compatible(8, 2));
}

TEST(Pattern, MatchesAcrossChunksWithoutOverlapAndKeepsOnlyAUsefulTail) {
  rs232x_pattern_t p;
  const std::uint8_t ok[] = {0x4F, 0x4B};
  ASSERT_TRUE(p.set(ok, 2));
  EXPECT_EQ(p.search(reinterpret_cast<const std::uint8_t*>("xyO"), 3), 0);
  EXPECT_EQ(p.carry_over_size(), 1u);
  EXPECT_EQ(p.search(reinterpret_cast<const std::uint8_t*>("Kz"), 2), 1);

  rs232x_pattern_t aa;
  ASSERT_TRUE(aa.set(reinterpret_cast<const std::uint8_t*>("AA"), 2));
  EXPECT_EQ(aa.search(reinterpret_cast<const std::uint8_t*>("AAA"), 3), 1);
  EXPECT_EQ(aa.carry_over_size(), 1u);  // the last A may begin the next match
  EXPECT_EQ(aa.search(reinterpret_cast<const std::uint8_t*>("A"), 1), 1);
  EXPECT_EQ(aa.carry_over_size(), 0u);
  EXPECT_EQ(aa.search(reinterpret_cast<const std::uint8_t*>("AAAA"), 4), 2);

  rs232x_pattern_t longer;
  ASSERT_TRUE(longer.set(reinterpret_cast<const std::uint8_t*>("ABCDEF"), 6));
  EXPECT_EQ(longer.search(reinterpret_cast<const std::uint8_t*>("AB"), 2), 0);
  EXPECT_EQ(longer.search(reinterpret_cast<const std::uint8_t*>("CDE"), 3), 0);
  EXPECT_EQ(longer.search(reinterpret_cast<const std::uint8_t*>("F"), 1), 1);

  ASSERT_TRUE(longer.set(nullptr, 0));
  EXPECT_TRUE(longer.empty());
  EXPECT_EQ(longer.search(reinterpret_cast<const std::uint8_t*>("ABCDEF"), 6), 0);
}

TEST(Counters, ThresholdNoticesRemaindersAndWrap) {
  rs232x_counters_t c;
  ASSERT_TRUE(c.set_input_threshold(10));
  auto n = c.count_input(25);
  EXPECT_EQ(n.thresholds, 2);
  EXPECT_FALSE(n.wrapped);
  EXPECT_EQ(c.input_remainder(), 5);
  EXPECT_EQ(c.count_input(5).thresholds, 1);
  EXPECT_EQ(c.input_byte_count(), 30);

  c.set_counts_for_testing(2147483647 - 7, 2147483647 - 10);
  n = c.count_input(10);
  EXPECT_TRUE(n.wrapped);
  EXPECT_EQ(c.input_byte_count(), 3);
  n = c.count_output(10);  // reaching 2147483647 itself wraps to 0
  EXPECT_TRUE(n.wrapped);
  EXPECT_EQ(c.output_byte_count(), 0);

  EXPECT_FALSE(c.set_output_threshold(0));
  EXPECT_FALSE(c.set_output_threshold(-5));
  ASSERT_TRUE(c.set_output_threshold(100));
  EXPECT_EQ(c.count_output(250).thresholds, 2);
  EXPECT_EQ(c.output_remainder(), 50);
  bool changed = true;
  ASSERT_TRUE(c.set_output_threshold(100, &changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(c.output_remainder(), 50);
  ASSERT_TRUE(c.set_output_threshold(30, &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(c.output_remainder(), 0);

  c.set_port_last_error(513);
  c.reset();
  EXPECT_EQ(c.port_last_error(), 0);
  EXPECT_EQ(c.input_byte_count(), 0);
  EXPECT_EQ(c.output_remainder(), 0);
}

TEST(EventTables, TheLastMatchingRowWins) {
  EXPECT_EQ(comm_state_for(win::EV_CTS), peCts);
  EXPECT_EQ(comm_state_for(win::EV_CTS | win::EV_DSR), peDsr);
  EXPECT_EQ(comm_state_for(win::EV_RXCHAR | win::EV_TXEMPTY), peOutputBufferEmpty);
  EXPECT_EQ(comm_state_for(win::EV_BREAK | win::EV_RLSD), peCd);
  EXPECT_EQ(comm_state_for(win::EV_RING | win::EV_BREAK), peRing);
  EXPECT_EQ(comm_state_for(win::EV_RX80FULL | win::EV_TXEMPTY), peInputBuffer80Full);
  EXPECT_EQ(comm_state_for(0x1FFF), peDriverEvent2);
  EXPECT_EQ(comm_state_for(win::EV_ERR), 0);
  EXPECT_EQ(comm_state_for(0), 0);

  EXPECT_EQ(comm_error_for(win::CE_FRAME), perFrame);
  EXPECT_EQ(comm_error_for(win::CE_FRAME | win::CE_RXPARITY), perParity);
  EXPECT_EQ(comm_error_for(win::CE_OVERRUN | win::CE_RXOVER), perInputBufferOverflow);
  EXPECT_EQ(comm_error_for(win::CE_TXFULL | win::CE_FRAME), perOutputBufferFull);
  EXPECT_EQ(comm_error_for(win::CE_BREAK), 0);
}

}  // namespace
}  // namespace serial
