#include "platform/text/active_code_page.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/text/codepage.h"

namespace win {

namespace text_detail {

namespace {

constexpr UINT kDefaultCodePage = 932;

// 0 = no override: the environment decides.
std::atomic<UINT> gTestingCodePage{0};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

UINT FromEnvironment() {
  const char* value = std::getenv("RAVLIN_ACP");
  bool valid = true;
  UINT cp = CodePageFromSetting(value, &valid);
  if (!valid)
    std::fprintf(stderr,
                 "RAVLIN_ACP=\"%s\" is not a supported code page (932, 1252, 65001); using 932\n",
                 value);
  return cp;
}

}  // namespace

bool IsSupportedCodePage(UINT codePage) {
  return codePage == 932 || codePage == 1252 || codePage == CP_UTF8;
}

UINT CodePageFromSetting(const char* value, bool* valid) {
  *valid = true;
  if (value == nullptr) return kDefaultCodePage;
  const char* p = value;
  while (IsBlank(*p)) ++p;
  if (*p == '\0') return kDefaultCodePage;
  if (*p >= '0' && *p <= '9') {
    char* end = nullptr;
    errno = 0;
    unsigned long number = std::strtoul(p, &end, 10);
    while (IsBlank(*end)) ++end;
    if (errno == 0 && *end == '\0' && number <= 0xFFFFFFFFul &&
        IsSupportedCodePage(static_cast<UINT>(number)))
      return static_cast<UINT>(number);
  }
  *valid = false;
  return kDefaultCodePage;
}

}  // namespace text_detail

UINT GetACP() {
  UINT forced = text_detail::gTestingCodePage.load(std::memory_order_relaxed);
  if (forced != 0) return forced;
  static const UINT fromEnvironment = text_detail::FromEnvironment();
  return fromEnvironment;
}

void SetActiveCodePageForTesting(UINT codePage) {
  if (codePage == 0 || text_detail::IsSupportedCodePage(codePage))
    text_detail::gTestingCodePage.store(codePage, std::memory_order_relaxed);
}

}  // namespace win
