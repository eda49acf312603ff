#include "sim/print_image.h"

#include <algorithm>
#include <cstdio>

#include "platform/text/codepage.h"
#include "platform/text/convert.h"
#include "sim/png.h"

namespace tavosim {

bool PrintImage::SetLine(int line, const std::uint8_t* data, int count) {
  if (line < 0 || line >= kHeight || count < 0 || count > kStride) return false;
  std::copy(data, data + count, dots.begin() + line * kStride);
  return true;
}

void PrintImage::Overlay(const PrintImage& other) {
  for (std::size_t i = 0; i < dots.size(); ++i) dots[i] |= other.dots[i];
  texts.insert(texts.end(), other.texts.begin(), other.texts.end());
}

bool PrintImage::Empty() const {
  return texts.empty() && std::all_of(dots.begin(), dots.end(), [](std::uint8_t b) { return !b; });
}

namespace {

std::string ToUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int n =
      win::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return bytes;
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  win::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return win::Utf16ToUtf8(wide);
}

}  // namespace

std::string DescribeTexts(const PrintImage& card) {
  std::string out;
  for (const PrintText& t : card.texts) {
    std::string shown;
    char head[64];
    std::snprintf(head, sizeof head, "font %d x %d y %d: ", t.font, t.x, t.y);
    shown = head;
    std::string run;
    auto flush = [&] {
      shown += ToUtf8(run);
      run.clear();
    };
    for (char c : t.text) {
      const auto b = static_cast<unsigned char>(c);
      if (b == 0x0A) {
        flush();
        shown += "\n    ";
      } else if (b == 0x1B) {
        flush();
        shown += "<ESC>";
      } else if (b < 0x20) {
        flush();
        char name[8];
        std::snprintf(name, sizeof name, "<%02X>", b);
        shown += name;
      } else {
        run.push_back(c);
      }
    }
    flush();
    out += shown + "\n";
  }
  return out;
}

std::string WritePrintFiles(const std::string& dir, int number, const PrintImage& card) {
  char name[32];
  std::snprintf(name, sizeof name, "/card-%04d", number);
  const std::string base = dir + name;
  const auto png = EncodePng1Bit(PrintImage::kWidth, PrintImage::kHeight, card.dots);
  if (!WriteFile(base + ".png", png)) return {};
  const std::string text = DescribeTexts(card);
  if (!WriteFile(base + ".txt", std::vector<std::uint8_t>(text.begin(), text.end()))) return {};
  return base;
}

}  // namespace tavosim
