#include "control/port_state_stream.h"

#include <cstring>
#include <vector>

namespace ravlin {

using namespace win;

namespace {

// Little-endian on the wire whatever the host's order.
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

HRESULT WriteAll(IStream* stream, const std::vector<std::uint8_t>& bytes) {
  ULONG written = 0;
  HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) return hr;
  return written == bytes.size() ? S_OK : STG_E_MEDIUMFULL;
}

// True when exactly n bytes were read.
bool ReadExact(IStream* stream, void* into, ULONG n) {
  ULONG got = 0;
  HRESULT hr = stream->Read(into, n, &got);
  return SUCCEEDED(hr) && got == n;
}

bool Read32(IStream* stream, std::uint32_t* value) {
  std::uint8_t b[4];
  if (!ReadExact(stream, b, 4)) return false;
  *value = Get32(b);
  return true;
}

}  // namespace

HRESULT WritePortState(IStream* stream, const port_state& s) {
  if (!stream) return E_POINTER;
  std::vector<std::uint8_t> head;
  Put32(head, static_cast<std::uint32_t>(s.portNumber));
  const auto* block = reinterpret_cast<const std::uint8_t*>(&s.config);
  head.insert(head.end(), block, block + sizeof s.config);
  const std::uint32_t nameBytes =
      s.modemName.empty() ? 0 : static_cast<std::uint32_t>(2 * s.modemName.size() + 2);
  Put32(head, nameBytes);
  if (HRESULT hr = WriteAll(stream, head); FAILED(hr)) return hr;

  std::vector<std::uint8_t> rest;
  if (nameBytes) {
    for (char16_t c : s.modemName) {
      rest.push_back(static_cast<std::uint8_t>(c & 0xFF));
      rest.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    rest.push_back(0);
    rest.push_back(0);
  }
  rest.push_back(s.portFree);
  rest.push_back(s.allowConnection);
  Put32(rest, static_cast<std::uint32_t>(s.portLastError));
  Put32(rest, static_cast<std::uint32_t>(s.inputThreshold));
  Put32(rest, static_cast<std::uint32_t>(s.outputThreshold));
  Put32(rest, s.version);
  Put32(rest, s.extentWidth);
  Put32(rest, s.extentHeight);
  return WriteAll(stream, rest);
}

HRESULT ReadPortState(IStream* stream, port_state* s, int* fieldsRead) {
  if (!stream || !s || !fieldsRead) return E_POINTER;
  int& n = *fieldsRead;
  n = 0;
  std::uint32_t v = 0;

  if (!Read32(stream, &v) || static_cast<LONG>(v) < 1) return E_FAIL;
  s->portNumber = static_cast<LONG>(v);
  n = kFieldPortNumber + 1;

  serial::engineConfig block;
  if (!ReadExact(stream, &block, sizeof block)) return E_FAIL;
  s->config = block;
  n = kFieldConfig + 1;

  // The name: an even length (UTF-16 code units) with room for the NUL, bounded before anything
  // is allocated, read whole, and ending in its NUL. The name is the text before the first NUL.
  std::uint32_t nameBytes = 0;
  if (!Read32(stream, &nameBytes)) return E_FAIL;
  if (nameBytes % 2 != 0 || nameBytes > kMaxModemNameBytes) return E_FAIL;
  std::u16string name;
  if (nameBytes != 0) {
    std::vector<std::uint8_t> raw(nameBytes);
    if (!ReadExact(stream, raw.data(), nameBytes)) return E_FAIL;
    if (raw[nameBytes - 2] != 0 || raw[nameBytes - 1] != 0) return E_FAIL;
    for (std::uint32_t i = 0; i + 1 < nameBytes; i += 2) {
      char16_t c = static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
      if (c == 0) break;
      name.push_back(c);
    }
  }
  s->modemName = std::move(name);
  n = kFieldModemName + 1;

  std::uint8_t flag = 0;
  if (!ReadExact(stream, &flag, 1)) return E_FAIL;
  s->portFree = flag;
  n = kFieldPortFree + 1;
  if (!ReadExact(stream, &flag, 1)) return E_FAIL;
  s->allowConnection = flag;
  n = kFieldAllowConnection + 1;

  LONG* const longs[] = {&s->portLastError, &s->inputThreshold, &s->outputThreshold};
  for (LONG* field : longs) {
    if (!Read32(stream, &v)) return E_FAIL;
    *field = static_cast<LONG>(v);
    ++n;
  }

  if (!Read32(stream, &v) || v > kPortStateVersion) return E_FAIL;
  s->version = v;
  n = kFieldVersion + 1;
  if (!Read32(stream, &v)) return E_FAIL;
  s->extentWidth = v;
  n = kFieldExtentWidth + 1;
  if (!Read32(stream, &v)) return E_FAIL;
  s->extentHeight = v;
  n = kFieldExtentHeight + 1;
  return S_OK;
}

}  // namespace ravlin
