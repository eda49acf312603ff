#include "control/crc.h"

#include <array>

namespace ravlin {

namespace {

std::uint32_t reflect(std::uint32_t value, unsigned bits) {
  std::uint32_t out = 0;
  for (unsigned i = 0; i < bits; ++i) {
    out = (out << 1) | (value & 1u);
    value >>= 1;
  }
  return out;
}

std::uint32_t width_mask(unsigned width) {
  return width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
}

// MSB-first table for CRC-16/XMODEM.
constexpr std::array<std::uint16_t, 256> make_crc16_table() {
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t r = static_cast<std::uint16_t>(i << 8);
    for (int k = 0; k < 8; ++k)
      r = static_cast<std::uint16_t>((r & 0x8000) ? ((r << 1) ^ 0x1021) : (r << 1));
    t[i] = r;
  }
  return t;
}

// Reflected tables for CRC-32 (polynomial 0x04C11DB7 reversed is 0xEDB88320), sliced by 8 so
// that long arrays go eight bytes per step.
struct crc32_tables {
  std::array<std::array<std::uint32_t, 256>, 8> t{};
  constexpr crc32_tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i;
      for (int k = 0; k < 8; ++k) r = (r & 1u) ? ((r >> 1) ^ 0xEDB88320u) : (r >> 1);
      t[0][i] = r;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};

constexpr auto kCrc16Table = make_crc16_table();
constexpr crc32_tables kCrc32 = crc32_tables();

}  // namespace

std::uint32_t crc_model_bitwise(const crc_params& p, std::span<const std::uint8_t> data) {
  const std::uint32_t mask = width_mask(p.width);
  const std::uint32_t top = 1u << (p.width - 1);
  std::uint32_t reg = p.init & mask;
  for (std::uint8_t byte : data) {
    std::uint32_t b = p.reflect_in ? reflect(byte, 8) : byte;
    reg ^= b << (p.width - 8);
    for (int k = 0; k < 8; ++k) {
      reg = (reg & top) ? ((reg << 1) ^ p.poly) : (reg << 1);
      reg &= mask;
    }
  }
  if (p.reflect_out) reg = reflect(reg, p.width);
  return (reg ^ p.xor_out) & mask;
}

std::uint16_t crc16_xmodem(std::span<const std::uint8_t> data) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : data)
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ b) & 0xFF]);
  return crc;
}

std::uint32_t crc32_jamcrc(std::span<const std::uint8_t> data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  const std::uint8_t* p = data.data();
  std::size_t n = data.size();
  const auto& t = kCrc32.t;
  while (n >= 8) {
    std::uint32_t lo =
        crc ^ (static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
  return crc;
}

std::vector<std::uint8_t> crc_to_big_endian(std::uint32_t value, unsigned width) {
  std::vector<std::uint8_t> out(width / 8);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::uint8_t>(value >> (8 * (out.size() - 1 - i)));
  return out;
}

}  // namespace ravlin
