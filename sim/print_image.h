// The printer's image buffer: 460 lines of 320 dots, filled line by line ("PI") or by download
// blocks, the text lines of "PD", and the RAM areas the buffer is saved to and loaded from.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavosim {

struct PrintText {
  int font = 0;
  int x = 0;
  int y = 0;
  std::string text;  // code-page bytes, control characters included
};

struct PrintImage {
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 460;
  static constexpr int kStride = kWidth / 8;  // 40 bytes per line

  std::vector<std::uint8_t> dots = std::vector<std::uint8_t>(kStride * kHeight, 0);
  std::vector<PrintText> texts;

  void Clear() {
    std::fill(dots.begin(), dots.end(), 0);
    texts.clear();
  }
  // Copies bytes into one line from its left edge; false when the line is outside the image.
  bool SetLine(int line, const std::uint8_t* data, int count);
  // Ors another image's dots in and appends its texts (a print over a printed card).
  void Overlay(const PrintImage& other);
  bool Empty() const;
};

// Writes DIR/card-NNNN.png (the dots) and DIR/card-NNNN.txt (the text lines, as UTF-8).
// Returns the base path written, or an empty string on failure.
std::string WritePrintFiles(const std::string& dir, int number, const PrintImage& card);

// The text listing of a card: one line per text line with its position; control characters
// shown by name ("<ESC>"), line feeds starting a new line.
std::string DescribeTexts(const PrintImage& card);

}  // namespace tavosim
