// Check values for the Crc16 and Crc32 methods of the Port control.
//
// Both are instances of the parameterised CRC model (width, polynomial, initial value, reflect in,
// reflect out, final XOR) run on a 32-bit register. `crc_model_bitwise` is that model step by
// step, one bit at a time; it is the reference. `crc16_xmodem` and `crc32_jamcrc` are the
// table-driven versions the control uses, and must give the same value for every input.
//
// Offers: crc_params, crc16_params, crc32_params, crc_model_bitwise, crc16_xmodem, crc32_jamcrc,
// crc_to_big_endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ravlin {

struct crc_params {
  unsigned width;      // 8..32
  std::uint32_t poly;  // without the top bit
  std::uint32_t init;
  bool reflect_in;
  bool reflect_out;
  std::uint32_t xor_out;
};

// CRC-16/XMODEM: check value 0x31C3 for "123456789".
inline constexpr crc_params crc16_params{16, 0x1021, 0x0000, false, false, 0x0000};
// CRC-32/JAMCRC (the common CRC-32 without its final XOR): check value 0x340BC6D9.
inline constexpr crc_params crc32_params{32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0x00000000};

// The reference model, bit by bit.
std::uint32_t crc_model_bitwise(const crc_params& p, std::span<const std::uint8_t> data);

std::uint16_t crc16_xmodem(std::span<const std::uint8_t> data);
std::uint32_t crc32_jamcrc(std::span<const std::uint8_t> data);

// The value as `width / 8` bytes, most significant first (the methods' result arrays).
std::vector<std::uint8_t> crc_to_big_endian(std::uint32_t value, unsigned width);

}  // namespace ravlin
