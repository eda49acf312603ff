// Code page 1252 (Western European): single bytes only.
#include "platform/text/code_page_table.h"

namespace win::text_detail {

namespace {
int NoLeadBytes(BYTE) {
  return 0;
}
}  // namespace

std::unique_ptr<CodePageTable> BuildWindows1252() {
  std::array<bool, 256> none{};
  std::unique_ptr<CodePageTable> table = DecodeWithIconv("CP1252", 1252, none, none);
  if (!table) table = DecodeWithIconv("WINDOWS-1252", 1252, none, none);
  if (!table) return nullptr;
  // glibc rejects the five unassigned bytes; the platform passes them through as the C1 control
  // characters of the same value, so every byte survives a round trip.
  for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    table->single[b] = static_cast<WCHAR>(b);
    table->singleValid[b] = true;
  }
  table->single[0x80] = 0x20AC;  // EURO SIGN, whatever the glibc version says
  table->singleValid[0x80] = true;
  table->BuildEncode(&NoLeadBytes);
  return table;
}

}  // namespace win::text_detail
