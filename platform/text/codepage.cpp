// The platform's conversion entry points: argument checks, code page dispatch, last error.
#include "platform/text/codepage.h"

#include <climits>
#include <cstring>
#include <string>

#include "platform/text/ansi_codec.h"
#include "platform/text/code_page_table.h"
#include "platform/text/utf8_codec.h"

namespace win {

namespace {

using namespace text_detail;
using namespace text_errors;

thread_local DWORD tLastError = ERROR_SUCCESS;

int Fail(DWORD code) {
  tLastError = code;
  return 0;
}

UINT Resolve(UINT codePage) {
  return codePage == CP_ACP ? GetACP() : codePage;
}

// Runs one conversion loop either as a size query (capacity 0) or into the caller's buffer, and
// turns its outcome into the platform's result.
template <class Unit, class Loop>
int Run(Unit* dst, int dstLen, Loop loop) {
  Status status;
  std::size_t count;
  if (dstLen == 0) {
    CountSink<Unit> sink;
    status = loop(sink);
    count = sink.count;
  } else {
    BufferSink<Unit> sink{dst, static_cast<std::size_t>(dstLen)};
    status = loop(sink);
    count = sink.count;
  }
  if (status == Status::kInvalid) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  if (status == Status::kNoRoom) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (count > static_cast<std::size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  return static_cast<int>(count);
}

}  // namespace

DWORD GetTextLastError() {
  return tLastError;
}
void SetTextLastError(DWORD code) {
  tLastError = code;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen) {
  if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && dst == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  const UINT cp = Resolve(codePage);
  const auto* bytes = reinterpret_cast<const BYTE*>(src);
  const std::size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLen);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;

  constexpr DWORD kAllowed =
      MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
  if ((flags & ~kAllowed) != 0 ||
      (flags & (MB_PRECOMPOSED | MB_COMPOSITE)) == (MB_PRECOMPOSED | MB_COMPOSITE))
    return Fail(ERROR_INVALID_FLAGS);
  if (cp == CP_UTF8) {
    // The platform takes no composition flags for UTF-8 by number; through CP_ACP they are
    // ignored, so that a caller of CP_ACP works whatever the active code page is.
    if (codePage == CP_UTF8 && (flags & ~MB_ERR_INVALID_CHARS) != 0)
      return Fail(ERROR_INVALID_FLAGS);
    return Run(dst, dstLen, [&](auto& sink) { return DecodeUtf8(bytes, n, strict, sink); });
  }
  const CodePageTable* table = TableFor(cp);
  if (table == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return Run(dst, dstLen, [&](auto& sink) { return DecodeAnsi(*table, bytes, n, strict, sink); });
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefaultChar) {
  if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && dst == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  const UINT cp = Resolve(codePage);
  const std::size_t n =
      srcLen == -1 ? std::char_traits<WCHAR>::length(src) + 1 : static_cast<std::size_t>(srcLen);

  constexpr DWORD kAnsiFlags =
      WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
  if (cp == CP_UTF8) {
    // By number the platform refuses the ANSI code pages' flags and default character for
    // UTF-8; through CP_ACP they are ignored (usedDefaultChar then reports lone surrogates).
    if (codePage == CP_UTF8) {
      if (defaultChar != nullptr || usedDefaultChar != nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
      if ((flags & ~WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
    } else if ((flags & ~(kAnsiFlags | WC_ERR_INVALID_CHARS)) != 0) {
      return Fail(ERROR_INVALID_FLAGS);
    }
    const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    bool replaced = false;
    int result =
        Run(dst, dstLen, [&](auto& sink) { return EncodeUtf8(src, n, strict, replaced, sink); });
    if (result != 0 && usedDefaultChar != nullptr) *usedDefaultChar = replaced ? TRUE : FALSE;
    return result;
  }
  const CodePageTable* table = TableFor(cp);
  if (table == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if ((flags & ~kAnsiFlags) != 0) return Fail(ERROR_INVALID_FLAGS);

  DefaultBytes def;
  def.bytes[0] = static_cast<char>(table->defaultByte);
  if (defaultChar != nullptr) {
    // The first character of the given string: a double-byte character when it is one.
    const auto lead = static_cast<BYTE>(defaultChar[0]);
    const auto trail = lead != 0 ? static_cast<BYTE>(defaultChar[1]) : BYTE{0};
    if (!table->isLead[lead]) {
      def.bytes[0] = defaultChar[0];
    } else if (table->isTrail[trail]) {
      def.bytes[0] = defaultChar[0];
      def.bytes[1] = defaultChar[1];
      def.length = 2;
    }
    // A lead byte without its trail byte would pair with whatever byte follows it in the output
    // and garble that character; the code page's own default character is used instead.
  }
  const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
  bool used = false;
  int result = Run(dst, dstLen, [&](auto& sink) {
    return EncodeAnsi(*table, src, n, bestFit, def, used, sink);
  });
  if (result != 0 && usedDefaultChar != nullptr) *usedDefaultChar = used ? TRUE : FALSE;
  return result;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE c) {
  const UINT cp = Resolve(codePage);
  if (cp == CP_UTF8) return FALSE;
  const CodePageTable* table = TableFor(cp);
  if (table == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return table->isLead[c] ? TRUE : FALSE;
}

BOOL IsDBCSLeadByte(BYTE c) {
  return IsDBCSLeadByteEx(CP_ACP, c);
}

}  // namespace win
