// Automation strings: BSTR is a pointer to UTF-16 text preceded by a 4-byte byte length and
// followed by a NUL. A null BSTR and an empty one are different values that both have length 0.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/vartype.h"

namespace win {

using BSTR = OLECHAR*;

// Null text gives an empty (not null) string for SysAllocStringLen; SysAllocString(nullptr) is
// null, as on the platform. Null on allocation failure or a length that does not fit.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Byte-length string: length bytes are copied (or left zero when text is null) and a wide NUL
// follows. SysStringLen rounds down, SysStringByteLen gives the exact byte count.
BSTR SysAllocStringByteLen(const char* text, UINT length);
// Replaces *target with a copy of text; FALSE (target untouched) on allocation failure.
INT SysReAllocString(BSTR* target, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Convenience for C++ callers (not platform API): a BSTR from a u16string_view (never null,
// unless out of memory), and the characters of a BSTR (null reads as empty).
BSTR SysAllocString(std::u16string_view text);
std::u16string_view BstrView(BSTR text);

// Owns one BSTR (null allowed) and frees it on destruction.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : s_(SysAllocString(text)) {}
  Bstr(const Bstr& other)
      : s_(other.s_ ? SysAllocStringByteLen(reinterpret_cast<const char*>(other.s_),
                                            SysStringByteLen(other.s_))
                    : nullptr) {}
  Bstr(Bstr&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
  Bstr& operator=(Bstr other) noexcept {
    std::swap(s_, other.s_);
    return *this;
  }
  ~Bstr() { SysFreeString(s_); }

  // Takes ownership of s.
  static Bstr Attach(BSTR s) {
    Bstr b;
    b.s_ = s;
    return b;
  }
  BSTR Detach() {
    BSTR s = s_;
    s_ = nullptr;
    return s;
  }
  BSTR get() const { return s_; }
  // For [out] BSTR* parameters: frees the current value first.
  BSTR* Receive() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  bool IsNull() const { return s_ == nullptr; }
  UINT Length() const { return SysStringLen(s_); }
  std::u16string_view View() const { return BstrView(s_); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace win
