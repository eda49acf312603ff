// A minimal PNG writer for the printed card: 1-bit greyscale, the image data in stored
// (uncompressed) deflate blocks, so no compression library is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavosim {

// CRC-32 as PNG chunks use it (polynomial EDB88320, initial and final XOR FFFFFFFF).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
// Adler-32 of zlib streams.
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);

// rows: height rows of (width + 7) / 8 bytes, leftmost pixel in bit 7, a set bit is a printed
// (black) dot.
std::vector<std::uint8_t> EncodePng1Bit(int width, int height,
                                        const std::vector<std::uint8_t>& rows);

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data);

}  // namespace tavosim
