#include "serial/pattern.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace serial {

bool rs232x_pattern_t::set(const std::uint8_t* data, std::size_t count) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::uint8_t> fresh;
  if (count > 0) {
    try {
      fresh.assign(data, data + count);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  pattern_.swap(fresh);
  return true;
}

std::vector<std::uint8_t> rs232x_pattern_t::bytes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pattern_;
}

bool rs232x_pattern_t::empty() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pattern_.empty();
}

std::size_t rs232x_pattern_t::carry_over_size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return carry_.size();
}

int rs232x_pattern_t::search(const std::uint8_t* data, std::size_t count) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t plen = pattern_.size();
  if (plen == 0) return 0;
  carry_.insert(carry_.end(), data, data + count);
  if (carry_.size() < plen) return 0;
  int matches = 0;
  std::size_t pos = 0;
  while (pos + plen <= carry_.size()) {
    if (std::memcmp(carry_.data() + pos, pattern_.data(), plen) == 0) {
      ++matches;
      pos += plen;
    } else {
      ++pos;
    }
  }
  // Keep only the bytes from the first start position not examined.
  carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(pos));
  return matches;
}

}  // namespace serial
