// Where a conversion loop puts its output (internal to platform/text).
//
// The loops are templates over a sink so that one loop serves the size query, the caller's
// fixed buffer and a growing string. Put is all-or-nothing: a character that does not fit whole
// is not written, which is how the platform leaves a short buffer.
#pragma once

#include <cstddef>
#include <cstring>

namespace win::text_detail {

enum class Status { kOk, kInvalid, kNoRoom };

template <class Unit>
struct CountSink {
  std::size_t count = 0;
  bool Put(Unit) {
    ++count;
    return true;
  }
  bool Put(const Unit*, std::size_t n) {
    count += n;
    return true;
  }
};

template <class Unit>
struct BufferSink {
  Unit* dst;
  std::size_t capacity;
  std::size_t count = 0;
  bool Put(Unit u) {
    if (count == capacity) return false;
    dst[count++] = u;
    return true;
  }
  bool Put(const Unit* units, std::size_t n) {
    if (capacity - count < n) return false;
    std::memcpy(dst + count, units, n * sizeof(Unit));
    count += n;
    return true;
  }
};

template <class String>
struct StringSink {
  using Unit = typename String::value_type;
  String& out;
  bool Put(Unit u) {
    out.push_back(u);
    return true;
  }
  bool Put(const Unit* units, std::size_t n) {
    out.append(units, n);
    return true;
  }
};

}  // namespace win::text_detail
