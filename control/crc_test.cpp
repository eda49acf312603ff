#include "control/crc.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

namespace ravlin {
namespace {

std::span<const std::uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Crc, PublishedCheckValuesAndKnownVectors) {
  EXPECT_EQ(crc_model_bitwise(crc16_params, bytes("123456789")), 0x31C3u);
  EXPECT_EQ(crc_model_bitwise(crc32_params, bytes("123456789")), 0x340BC6D9u);
  EXPECT_EQ(crc16_xmodem(bytes("123456789")), 0x31C3u);
  EXPECT_EQ(crc32_jamcrc(bytes("123456789")), 0x340BC6D9u);
  EXPECT_EQ(crc16_xmodem(bytes("abc")), 0x9DD6u);
  EXPECT_EQ(crc32_jamcrc(bytes("abc")), 0xCADBBE3Du);
  // The common CRC-32 is the complement of this one.
  EXPECT_EQ(~crc32_jamcrc(bytes("123456789")), 0xCBF43926u);
}

TEST(Crc, EmptyInputGivesTheInitialRegister) {
  EXPECT_EQ(crc16_xmodem({}), 0x0000u);
  EXPECT_EQ(crc32_jamcrc({}), 0xFFFFFFFFu);
  EXPECT_EQ(crc_model_bitwise(crc32_params, {}), 0xFFFFFFFFu);
}

TEST(Crc, TablesMatchTheBitSerialModelForEveryLengthAndContent) {
  std::mt19937 rng(12345);
  std::vector<std::uint8_t> data;
  // Every length up to 300 covers the 8-byte slicing and its tails at every alignment.
  for (std::size_t len = 0; len <= 300; ++len) {
    data.resize(len);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    ASSERT_EQ(crc16_xmodem(data), crc_model_bitwise(crc16_params, data)) << "length " << len;
    ASSERT_EQ(crc32_jamcrc(data), crc_model_bitwise(crc32_params, data)) << "length " << len;
  }
  // Every single byte value, and unaligned starts.
  for (int v = 0; v < 256; ++v) {
    std::uint8_t b = static_cast<std::uint8_t>(v);
    ASSERT_EQ(crc16_xmodem({&b, 1}), crc_model_bitwise(crc16_params, {&b, 1}));
    ASSERT_EQ(crc32_jamcrc({&b, 1}), crc_model_bitwise(crc32_params, {&b, 1}));
  }
  data.resize(64);
  for (std::size_t off = 1; off < 8; ++off) {
    std::span<const std::uint8_t> s(data.data() + off, data.size() - off);
    ASSERT_EQ(crc32_jamcrc(s), crc_model_bitwise(crc32_params, s));
  }
}

TEST(Crc, ResultBytesAreMostSignificantFirst) {
  EXPECT_EQ(crc_to_big_endian(0x31C3, 16), (std::vector<std::uint8_t>{0x31, 0xC3}));
  EXPECT_EQ(crc_to_big_endian(0x340BC6D9, 32), (std::vector<std::uint8_t>{0x34, 0x0B, 0xC6, 0xD9}));
}

}  // namespace
}  // namespace ravlin
