#include "platform/host/value_format.h"

#include <charconv>
#include <cstdio>

#include "platform/text/convert.h"

namespace winhost {
namespace {

std::string hex_bytes(const win::BYTE* data, std::size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(kHex[data[i] >> 4]);
    s.push_back(kHex[data[i] & 15]);
  }
  return s;
}

template <typename F>
std::string shortest(F value) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, p) : std::string("nan");
}

std::string format_byte_array(win::SAFEARRAY* sa) {
  if (sa == nullptr) return "bytes:null";
  win::VARTYPE vt = 0;
  win::SafeArrayGetVartype(sa, &vt);
  if (vt != win::VT_UI1 && vt != win::VT_I1) return "array";
  std::size_t count = 1;
  for (win::UINT d = 1; d <= win::SafeArrayGetDim(sa); ++d) {
    win::LONG lo = 0, hi = -1;
    win::SafeArrayGetLBound(sa, d, &lo);
    win::SafeArrayGetUBound(sa, d, &hi);
    count *= hi >= lo ? static_cast<std::size_t>(hi - lo + 1) : 0;
  }
  void* data = nullptr;
  if (win::FAILED(win::SafeArrayAccessData(sa, &data))) return "bytes:?";
  std::string s = "bytes:" + hex_bytes(static_cast<const win::BYTE*>(data), count);
  win::SafeArrayUnaccessData(sa);
  return s;
}

}  // namespace

std::string format_string(std::u16string_view text) {
  std::string out = "\"";
  std::size_t run = 0;  // start of the run of plain characters
  auto flush = [&](std::size_t end) {
    if (end > run) out += win::Utf16ToUtf8(text.substr(run, end - run));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    bool low = c >= 0xDC00 && c <= 0xDFFF;
    bool paired = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (paired) {
      ++i;
      continue;
    }
    if (c < 0x20 || c == u'"' || c == u'\\' || high || low) {
      flush(i);
      char buf[16];
      if (c == u'"') {
        out += "\\\"";
      } else if (c == u'\\') {
        out += "\\\\";
      } else if (c < 0x20) {
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
        out += buf;
      } else {
        // A lone surrogate has no UTF-8 form: show the code unit.
        std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
        out += buf;
      }
      run = i + 1;
    }
  }
  flush(text.size());
  out += "\"";
  return out;
}

std::string format_value(const win::VARIANT& v) {
  using namespace win;
  const bool byref = (v.vt & VT_BYREF) != 0;
  const VARTYPE base = v.vt & static_cast<VARTYPE>(~VT_BYREF);
  if (byref && v.byref == nullptr) return "null";
  if (base & VT_ARRAY) return format_byte_array(byref ? *v.pparray : v.parray);
  switch (base) {
    case VT_EMPTY:
      return "empty";
    case VT_NULL:
      return "null";
    case VT_I1:
      return std::to_string(static_cast<int>(byref ? *v.pcVal : v.cVal));
    case VT_UI1:
      return std::to_string(static_cast<unsigned>(byref ? *v.pbVal : v.bVal));
    case VT_I2:
      return std::to_string(byref ? *v.piVal : v.iVal);
    case VT_UI2:
      return std::to_string(byref ? *v.puiVal : v.uiVal);
    case VT_I4:
      return std::to_string(byref ? *v.plVal : v.lVal);
    case VT_UI4:
      return std::to_string(byref ? *v.pulVal : v.ulVal);
    case VT_INT:
      return std::to_string(byref ? *v.pintVal : v.intVal);
    case VT_UINT:
      return std::to_string(byref ? *v.puintVal : v.uintVal);
    case VT_R4:
      return shortest(byref ? *v.pfltVal : v.fltVal);
    case VT_R8:
      return shortest(byref ? *v.pdblVal : v.dblVal);
    case VT_BOOL:
      return (byref ? *v.pboolVal : v.boolVal) ? "true" : "false";
    case VT_ERROR: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "error 0x%08X",
                    static_cast<unsigned>(byref ? *v.pscode : v.scode));
      return buf;
    }
    case VT_BSTR: {
      BSTR s = byref ? *v.pbstrVal : v.bstrVal;
      return s == nullptr ? "null" : format_string(BstrView(s));
    }
    case VT_DISPATCH:
      return (byref ? *v.ppdispVal : v.pdispVal) ? "object" : "nothing";
    case VT_UNKNOWN:
      return (byref ? *v.ppunkVal : v.punkVal) ? "object" : "nothing";
    case VT_VARIANT:
      return byref ? format_value(*v.pvarVal) : "variant";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "<vt %u>", static_cast<unsigned>(v.vt));
      return buf;
    }
  }
}

std::string format_arguments(const win::DISPPARAMS* params) {
  std::string out;
  const win::UINT n = params ? params->cArgs : 0;
  for (win::UINT i = 0; i < n; ++i) {
    if (i) out += ", ";
    out += format_value(params->rgvarg[n - 1 - i]);  // rgvarg holds the last argument first
  }
  return out;
}

std::string format_failure(win::HRESULT hr, std::u16string_view description) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "!! 0x%08X", static_cast<unsigned>(hr));
  std::string s = buf;
  if (!description.empty()) s += " " + win::Utf16ToUtf8(description);
  return s;
}

}  // namespace winhost
