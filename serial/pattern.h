// rs232x_pattern_t: the WaitForData pattern and the carry-over of its search across deliveries.
//
// Each delivered chunk is appended to the carry-over; matches are counted left to right without
// overlap; what is kept is the tail that could still begin a match (at most pattern length - 1
// bytes). The caller's thread and two workers search, the control's thread replaces the
// pattern: one lock guards both buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace serial {

class rs232x_pattern_t {
 public:
  // Empty clears the pattern (no search); the carry-over is kept. False when out of memory.
  bool set(const std::uint8_t* data, std::size_t count);
  std::vector<std::uint8_t> bytes() const;
  bool empty() const;

  // Searches one delivered chunk; returns the number of matches (0 without a pattern).
  int search(const std::uint8_t* data, std::size_t count);

  std::size_t carry_over_size() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::uint8_t> pattern_;
  std::vector<std::uint8_t> carry_;
};

}  // namespace serial
