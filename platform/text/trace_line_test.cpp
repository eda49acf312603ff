// Trace lines: the stamp, the hex bytes and whole lines, against the printf format the
// simulator's trace has always used.
#include "platform/text/trace_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace win {
namespace {

// The simulator's own way of writing a line, kept here as the reference.
std::string PrintfLine(std::int64_t us, const char* who, const std::uint8_t* data, std::size_t n) {
  char buffer[4096];
  int at =
      std::snprintf(buffer, sizeof buffer, "%6lld.%06lld %s", static_cast<long long>(us / 1000000),
                    static_cast<long long>(us % 1000000), who);
  for (std::size_t i = 0; i < n; ++i) {
    at +=
        std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at), " %02X", data[i]);
  }
  return std::string(buffer, static_cast<std::size_t>(at)) + "\n";
}

TEST(TraceLine, StampHasSixPlacesOfSecondsAtLeastAndSixOfMicroseconds) {
  std::string out;
  AppendTraceStamp(out, 0);
  EXPECT_EQ(out, "     0.000000");
  out.clear();
  AppendTraceStamp(out, 1000250);
  EXPECT_EQ(out, "     1.000250");
  out.clear();
  AppendTraceStamp(out, 1234567000001LL);
  EXPECT_EQ(out, "1234567.000001");
}

TEST(TraceLine, BytesAreUpperCaseHexEachAfterASpace) {
  const std::uint8_t bytes[] = {0x00, 0x02, 0x7F, 0xAB, 0xFF};
  std::string out = "x";
  AppendHexBytes(out, bytes, sizeof bytes);
  EXPECT_EQ(out, "x 00 02 7F AB FF");
  AppendHexBytes(out, bytes, 0);
  EXPECT_EQ(out, "x 00 02 7F AB FF");
}

TEST(TraceLine, WholeLinesMatchTheSimulatorsPrintfFormatByteForByte) {
  std::uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  for (std::int64_t us : {0LL, 999999LL, 1000000LL, 3600123456LL, 98765432109876LL}) {
    for (const char* who : {"host", "dev", "/dev/pts/7 host"}) {
      for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{256}}) {
        EXPECT_EQ(TraceLine(us, who, all + 256 - n, n), PrintfLine(us, who, all + 256 - n, n))
            << us << " " << who << " " << n;
      }
    }
  }
}

TEST(TraceLine, TextLinesCarryTheTextAfterWho) {
  EXPECT_EQ(TraceTextLine(2500000, "COM3 request", "Output 5"),
            "     2.500000 COM3 request Output 5\n");
  EXPECT_EQ(TraceTextLine(7, "COM3 event", ""), "     0.000007 COM3 event\n");
}

}  // namespace
}  // namespace win
