// Code page 932 (Windows-31J): Shift-JIS with the NEC special characters (row 13), the
// NEC-selected IBM extensions (lead bytes ED, EE), the IBM extensions (FA-FC) and the user-defined
// area (F0-F9 -> U+E000-U+E757).
#include "platform/text/code_page_table.h"

namespace win::text_detail {

namespace {

constexpr WCHAR kKatakanaMiddleDot = 0x30FB;  // the code page's default Unicode character

// Where the platform's table differs from glibc's, or where glibc versions have differed, the
// platform's value is set here explicitly.
constexpr std::pair<std::uint16_t, WCHAR> kPairs[] = {
    {0x815C, 0x2015},  // HORIZONTAL BAR (JIS: EM DASH)
    {0x815F, 0xFF3C},  // FULLWIDTH REVERSE SOLIDUS
    {0x8160, 0xFF5E},  // FULLWIDTH TILDE (JIS: WAVE DASH)
    {0x8161, 0x2225},  // PARALLEL TO (JIS: DOUBLE VERTICAL LINE)
    {0x817C, 0xFF0D},  // FULLWIDTH HYPHEN-MINUS (JIS: MINUS SIGN)
    {0x8191, 0xFFE0},  // FULLWIDTH CENT SIGN
    {0x8192, 0xFFE1},  // FULLWIDTH POUND SIGN
    {0x81CA, 0xFFE2},  // FULLWIDTH NOT SIGN
};

// UTF-16 that the platform writes in 932 although no byte sequence decodes to it.
constexpr std::pair<WCHAR, std::uint16_t> kBestFit[] = {
    {0x00A2, 0x8191},  // CENT SIGN
    {0x00A3, 0x8192},  // POUND SIGN
    {0x00A5, 0x005C},  // YEN SIGN
    {0x00AC, 0x81CA},  // NOT SIGN
    {0x2014, 0x815C},  // EM DASH
    {0x2016, 0x8161},  // DOUBLE VERTICAL LINE
    {0x203E, 0x007E},  // OVERLINE
    {0x2212, 0x817C},  // MINUS SIGN
    {0x301C, 0x8160},  // WAVE DASH
};

// Among duplicate codes the platform prefers JIS X 0208, then NEC row 13, then the IBM
// extensions; the NEC-selected IBM extensions are decoded but never written.
int Rank(BYTE lead) {
  if (lead == 0x87) return 1;
  if (lead >= 0xFA && lead <= 0xFC) return 2;
  if (lead == 0xED || lead == 0xEE) return 3;
  return 0;
}

}  // namespace

std::unique_ptr<CodePageTable> BuildWindows31J() {
  std::array<bool, 256> leads{};
  std::array<bool, 256> trails{};
  for (int b = 0x81; b <= 0x9F; ++b) leads[b] = true;
  for (int b = 0xE0; b <= 0xFC; ++b) leads[b] = true;
  for (int b = 0x40; b <= 0xFC; ++b) trails[b] = b != 0x7F;

  std::unique_ptr<CodePageTable> table = DecodeWithIconv("CP932", 932, leads, trails);
  if (!table) table = DecodeWithIconv("WINDOWS-31J", 932, leads, trails);
  if (!table) return nullptr;
  table->unicodeDefault = kKatakanaMiddleDot;

  auto setSingle = [&](int b, WCHAR w) {
    table->single[b] = w;
    table->singleValid[b] = true;
  };
  for (int b = 0; b < 0x80; ++b) setSingle(b, static_cast<WCHAR>(b));  // plain ASCII, 5C and 7E too
  for (int b = 0xA1; b <= 0xDF; ++b) setSingle(b, static_cast<WCHAR>(0xFF61 + (b - 0xA1)));
  // Bytes that are neither characters nor lead bytes: the platform maps them into U+0080 and
  // the private use area so that they survive a round trip.
  setSingle(0x80, 0x0080);
  setSingle(0xA0, 0xF8F0);
  setSingle(0xFD, 0xF8F1);
  setSingle(0xFE, 0xF8F2);
  setSingle(0xFF, 0xF8F3);
  for (int b = 0; b < 256; ++b) {
    if (leads[b]) {
      table->single[b] = kKatakanaMiddleDot;  // a lead byte with no trail byte after it
      table->singleValid[b] = false;
    }
  }

  auto setPair = [&](std::uint16_t code, WCHAR w) {
    table->pairs[table->leadIndex[code >> 8] * 256u + (code & 0xFF)] = w;
  };
  for (const auto& [code, w] : kPairs) setPair(code, w);
  // User-defined characters: 188 per lead byte, in trail byte order.
  for (int lead = 0xF0; lead <= 0xF9; ++lead) {
    int index = (lead - 0xF0) * 188;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      setPair(static_cast<std::uint16_t>(lead << 8 | trail), static_cast<WCHAR>(0xE000 + index++));
    }
  }

  table->bestFit.assign(std::begin(kBestFit), std::end(kBestFit));
  table->BuildEncode(&Rank);
  return table;
}

}  // namespace win::text_detail
