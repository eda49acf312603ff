#include "platform/text/code_page_table.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>

namespace win::text_detail {

namespace {

// Decodes one byte sequence with a fresh conversion state. Returns the single UTF-16 unit it
// stands for, or 0 when iconv rejects it or it is not exactly one unit.
WCHAR DecodeOne(iconv_t cd, const BYTE* bytes, size_t n) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(bytes[0]), n > 1 ? static_cast<char>(bytes[1]) : '\0'};
  char* inPtr = in;
  size_t inLeft = n;
  unsigned char out[8];
  char* outPtr = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
    return 0;
  if (sizeof out - outLeft != 2) return 0;
  return static_cast<WCHAR>(out[0] | (out[1] << 8));
}

}  // namespace

std::unique_ptr<CodePageTable> DecodeWithIconv(const char* iconvName, UINT codePage,
                                               const std::array<bool, 256>& leads,
                                               const std::array<bool, 256>& trails) {
  iconv_t cd = iconv_open("UTF-16LE", iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;

  auto table = std::make_unique<CodePageTable>();
  table->codePage = codePage;
  table->isLead = leads;
  table->isTrail = trails;

  int leadCount = 0;
  for (int b = 0; b < 256; ++b) {
    if (leads[b]) table->leadIndex[b] = static_cast<std::uint8_t>(++leadCount);
  }
  table->pairs.assign((leadCount + 1) * 256u, 0);

  for (int b = 0; b < 256; ++b) {
    BYTE byte = static_cast<BYTE>(b);
    if (leads[b]) continue;
    // NUL is U+0000 in every code page; iconv reports it like any other byte, but 0 is also
    // DecodeOne's "no character".
    WCHAR w = b == 0 ? u'\0' : DecodeOne(cd, &byte, 1);
    table->single[b] = w;
    table->singleValid[b] = b == 0 || w != 0;
  }
  for (int lead = 0; lead < 256; ++lead) {
    if (!leads[lead]) continue;
    for (int trail = 0; trail < 256; ++trail) {
      if (!trails[trail]) continue;
      BYTE seq[2] = {static_cast<BYTE>(lead), static_cast<BYTE>(trail)};
      table->pairs[table->leadIndex[lead] * 256u + trail] = DecodeOne(cd, seq, 2);
    }
  }
  iconv_close(cd);
  return table;
}

std::uint16_t CodePageTable::BestFit(WCHAR c) const {
  auto it = std::lower_bound(bestFit.begin(), bestFit.end(), c,
                             [](const auto& entry, WCHAR key) { return entry.first < key; });
  return (it != bestFit.end() && it->first == c) ? it->second : kUnmapped;
}

void CodePageTable::BuildEncode(int (*rank)(BYTE lead)) {
  encode.assign(65536, kUnmapped);
  for (int b = 0; b < 256; ++b) {
    if (!isLead[b] && singleValid[b] && encode[single[b]] == kUnmapped)
      encode[single[b]] = static_cast<std::uint16_t>(b);
  }
  std::vector<int> order;
  for (int lead = 0; lead < 256; ++lead) {
    if (isLead[lead]) order.push_back(lead);
  }
  std::stable_sort(order.begin(), order.end(), [rank](int a, int b) {
    return rank(static_cast<BYTE>(a)) < rank(static_cast<BYTE>(b));
  });
  for (int lead : order) {
    for (int trail = 0; trail < 256; ++trail) {
      WCHAR w = Pair(static_cast<BYTE>(lead), static_cast<BYTE>(trail));
      if (w != 0 && encode[w] == kUnmapped)
        encode[w] = static_cast<std::uint16_t>(lead << 8 | trail);
    }
  }
  std::sort(bestFit.begin(), bestFit.end());
}

const CodePageTable* TableFor(UINT codePage) {
  // Each table is built on first use; a missing glibc converter is reported once.
  auto build = [](std::unique_ptr<CodePageTable> (*builder)(), const char* name) {
    std::unique_ptr<CodePageTable> table = builder();
    if (!table)
      std::fprintf(stderr, "platform/text: glibc has no %s converter; that code page is unusable\n",
                   name);
    return table;
  };
  switch (codePage) {
    case 932: {
      static const std::unique_ptr<CodePageTable> table = build(&BuildWindows31J, "CP932");
      return table.get();
    }
    case 1252: {
      static const std::unique_ptr<CodePageTable> table = build(&BuildWindows1252, "CP1252");
      return table.get();
    }
    default:
      return nullptr;
  }
}

}  // namespace win::text_detail
