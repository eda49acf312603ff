// BSTR layout: [uint32 byte length][text][wide NUL]; the BSTR points at the text.
#include "platform/com/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace win {

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
// Room for the prefix, the terminating NUL and rounding must fit in the 32-bit length.
constexpr UINT kMaxBytes = std::numeric_limits<std::uint32_t>::max() - 16;

std::uint32_t* Header(BSTR s) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(s) - kPrefix);
}

BSTR AllocBytes(const void* data, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  // The text is followed by a wide NUL; an odd byte length gets one more zero byte in between so
  // the NUL is whole.
  std::size_t total = kPrefix + bytes + 3;
  char* block = static_cast<char*>(std::malloc(total));
  if (!block) return nullptr;
  std::uint32_t len = bytes;
  std::memcpy(block, &len, kPrefix);
  if (data)
    std::memcpy(block + kPrefix, data, bytes);
  else
    std::memset(block + kPrefix, 0, bytes);
  std::memset(block + kPrefix + bytes, 0, 3);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

UINT WideLength(const OLECHAR* text) {
  UINT n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, WideLength(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return AllocBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* text, UINT length) {
  return AllocBytes(text, length);
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (!target) return FALSE;
  return SysReAllocStringLen(target, text, text ? WideLength(text) : 0);
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
  if (!target) return FALSE;
  // Allocate first: text may point into *target.
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return FALSE;
  SysFreeString(*target);
  *target = fresh;
  return TRUE;
}

void SysFreeString(BSTR text) {
  if (text) std::free(Header(text));
}

UINT SysStringLen(BSTR text) {
  return text ? *Header(text) / static_cast<UINT>(sizeof(OLECHAR)) : 0;
}

UINT SysStringByteLen(BSTR text) {
  return text ? *Header(text) : 0;
}

BSTR SysAllocString(std::u16string_view text) {
  if (text.size() > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::u16string_view BstrView(BSTR text) {
  if (!text) return {};
  return std::u16string_view(text, SysStringLen(text));
}

}  // namespace win
