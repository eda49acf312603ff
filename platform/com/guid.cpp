// GUID text form and the identities of the platform's base interfaces.
#include <cstdio>
#include <cstdlib>

#include "platform/com/base.h"

namespace win {

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads count hex digits at text[pos]; false on any non-digit.
bool ReadHex(const std::string& text, std::size_t pos, int count, std::uint64_t* value) {
  std::uint64_t v = 0;
  for (int i = 0; i < count; ++i) {
    int d = HexDigit(text[pos + i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint64_t>(d);
  }
  *value = v;
  return true;
}

}  // namespace

bool ParseGuid(const std::string& input, GUID* guid) {
  if (!guid) return false;
  std::string text = input;
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  std::uint64_t d1, d2, d3, d4a, d4b;
  if (!ReadHex(text, 0, 8, &d1) || !ReadHex(text, 9, 4, &d2) || !ReadHex(text, 14, 4, &d3) ||
      !ReadHex(text, 19, 4, &d4a) || !ReadHex(text, 24, 12, &d4b))
    return false;
  GUID g;
  g.Data1 = static_cast<std::uint32_t>(d1);
  g.Data2 = static_cast<std::uint16_t>(d2);
  g.Data3 = static_cast<std::uint16_t>(d3);
  g.Data4[0] = static_cast<std::uint8_t>(d4a >> 8);
  g.Data4[1] = static_cast<std::uint8_t>(d4a);
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<std::uint8_t>(d4b >> (8 * (5 - i)));
  *guid = g;
  return true;
}

std::string FormatGuid(REFGUID g) {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

GUID GuidFromString(const char* text) {
  GUID g;
  if (!text || !ParseGuid(text, &g)) {
    std::fprintf(stderr, "malformed GUID literal: %s\n", text ? text : "(null)");
    std::abort();
  }
  return g;
}

void* CoTaskMemAlloc(std::size_t size) {
  return std::malloc(size ? size : 1);
}
void CoTaskMemFree(void* block) {
  std::free(block);
}

}  // namespace win
