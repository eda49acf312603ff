// The receive queue (input_queue.h): arrival rules, the 80 % mark, reads from the front.
#include "platform/comm/input_queue.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace win::detail {

// The events of one arrival, judged on the bytes as they came (before NULs are dropped).
DWORD InputQueue::Events(const BYTE* data, std::size_t size) const {
  DWORD events = EV_RXCHAR;
  if (std::memchr(data, eventChar_, size)) events |= EV_RXFLAG;
  return events;
}

DWORD InputQueue::CheckMark() {
  if (above80_ || Held() * 5 < Capacity() * 4) return 0;
  above80_ = true;
  return EV_RX80FULL;
}

DWORD InputQueue::Arrive(const BYTE* data, std::size_t size) {
  // The taken front is given back once it is at least half the storage.
  if (head_ > 0 && head_ * 2 >= bytes_.size()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  DWORD events = Events(data, size);
  if (discardNul_) {
    const std::size_t before = bytes_.size();
    try {
      std::remove_copy(data, data + size, std::back_inserter(bytes_), BYTE{0});
    } catch (...) {
      bytes_.resize(before);
      throw;
    }
  } else {
    bytes_.insert(bytes_.end(), data, data + size);
  }
  return events | CheckMark();
}

DWORD InputQueue::ArriveInPlace(BYTE* data, std::size_t size, std::size_t* kept) {
  DWORD events = Events(data, size);
  BYTE* end = data + size;
  if (discardNul_) end = std::remove(data, end, BYTE{0});
  *kept = static_cast<std::size_t>(end - data);
  return events | CheckMark();
}

std::size_t InputQueue::Take(BYTE* out, std::size_t size) {
  const std::size_t n = std::min(size, Held());
  if (n == 0) return 0;
  std::memcpy(out, bytes_.data() + head_, n);
  head_ += n;
  if (head_ == bytes_.size()) {
    bytes_.clear();
    head_ = 0;
  }
  if (Held() * 5 < Capacity() * 4) above80_ = false;
  return n;
}

void InputQueue::Clear() {
  bytes_.clear();
  head_ = 0;
  above80_ = false;
}

}  // namespace win::detail
