// The card's dot image: from a loaded picture to the bytes the printer takes.
//
// How it works: the device prints a window of 320 dots by 460 lines (the whole image) or 300
// lines placed at device line 60 (an image with text above and below). A loaded picture is
// normalised once to 24-bit colour; it is stretched by the zoom (nearest pixel, never a full-size
// copy: only the card window is sampled) and the card window is cut from it at the scroll offsets,
// white where the picture does not reach. That window is exactly what the preview shows, and the
// dots are decided from it once: a dot prints when the colour is dark enough for the brightness
// (Long_Rgb). The decided dots are then packed into the three forms the window produces: "PI"
// text lines (80 hexadecimal digits a line), "IB" blocks of 164 bytes (four lines each), and the
// assembler data lines of "IMAGE.dat".
//
// Everything here is pure and cheap to test; the window (form_bmp.h) adds the user interface, the
// files and the device.
//
// Offers: CardGeometry, DotLevels, dotLevels, Long_Rgb, HexAsc, roundHalfEven, stretchSize,
// ScrollRange, scrollRange, normalizedPicture, cardWindow, DotImage, textLine, imageBlock,
// assemblerLine, kBlockSize.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <vector>

namespace tavo {

// The card window: dots per line, image lines converted, device line of image line 0.
struct CardGeometry {
  int imgWidth = 320;
  int imgHeight = 460;
  int lineOffset = 0;

  static CardGeometry wholeImage() { return {320, 460, 0}; }
  static CardGeometry withText() { return {320, 300, 60}; }
};

// The three colour levels of the dot decision for brightness b (-50..+50).
struct DotLevels {
  int high = 192;
  int mid = 128;
  int low = 64;
};
DotLevels dotLevels(int brightness);

// 1 when the colour (0x00BBGGRR) prints, else 0; -1 (a colour read outside the picture) is
// blank. In order: all channels >= high: blank; all <= mid: dot; all > low: blank; else dot.
int Long_Rgb(std::int32_t colour, const DotLevels& levels);

// '0'..'9' for 0..9, 'A'..'F' for 10..15.
char HexAsc(int value);

// Rounds to the nearest integer, ties to the even one.
int roundHalfEven(double value);

// The stretched size: each side / 100 x zoom, rounded half to even; sides below 0 become 0.
QSize stretchSize(QSize source, int zoomPercent);

// A scroll bar over the stretched picture: maximum = stretched - window, and the position that
// centres the card window (maximum / 2 rounded half to even); both 0 when the picture is smaller.
struct ScrollRange {
  int maximum = 0;
  int position = 0;
};
ScrollRange scrollRange(int stretched, int window);

// The picture as 24-bit colour (QImage::Format_RGB32), transparent parts laid over white. A null
// image stays null.
QImage normalizedPicture(const QImage& loaded);

// The card window of the stretched picture: geometry.imgWidth x geometry.imgHeight pixels
// (Format_RGB32) showing the stretched picture from (xOffset, yOffset), each pixel the source
// pixel nearest to it (source x = floor((x + xOffset) * source width / stretched width)), white
// where the stretched picture does not reach (or when it is null or empty).
QImage cardWindow(const QImage& source, QSize stretched, int xOffset, int yOffset,
                  const CardGeometry& geometry);

// The dots of a card window, decided once.
class DotImage {
 public:
  DotImage() = default;
  // Every pixel of window through Long_Rgb at the levels.
  DotImage(const QImage& window, const DotLevels& levels);

  int width() const { return width_; }
  int height() const { return height_; }
  // Whether dot (x, y) prints; false outside the image.
  bool dot(int x, int y) const;
  // Line y packed 8 dots a byte, leftmost dot in bit 7 (width / 8 bytes; none outside).
  QByteArray packedLine(int y) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> dots_;  // one byte a dot, 0 or 1
};

// "PI:0/" + (y + lineOffset) + "/40/" + two hexadecimal digits a byte of line y, upper case.
QByteArray textLine(const DotImage& image, int y, int lineOffset);

// The download block for lines y..y+3: SOH, n = (y + lineOffset) / 4, 255 - n, the four packed
// lines (top first), the sum of those data bytes modulo 256.
inline constexpr int kBlockSize = 164;
QByteArray imageBlock(const DotImage& image, int y, int lineOffset);

// " .DATA.B " + "H'XY" for each byte of line y separated by "," + "   ;" + the line number with
// a leading space (a minus sign when negative) + LF + ";" (the line end is the caller's).
QByteArray assemblerLine(const DotImage& image, int y);

}  // namespace tavo
