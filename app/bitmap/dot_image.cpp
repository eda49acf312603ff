#include "app/bitmap/dot_image.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tavo {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFFu;

// The four dots from x as one hexadecimal digit's value, dot x in the top bit.
int nibble(const DotImage& image, int x, int y) {
  return (image.dot(x, y) ? 8 : 0) | (image.dot(x + 1, y) ? 4 : 0) | (image.dot(x + 2, y) ? 2 : 0) |
         (image.dot(x + 3, y) ? 1 : 0);
}

// The picture as Format_RGB32 whatever it came as; a picture already in that form is shared, not
// copied, so the per-call paths below cost nothing for a normalised picture.
QImage asRgb32(const QImage& image) {
  return image.format() == QImage::Format_RGB32 ? image : normalizedPicture(image);
}

}  // namespace

DotLevels dotLevels(int brightness) {
  return {brightness + 192, brightness + 128, brightness + 64};
}

int Long_Rgb(std::int32_t colour, const DotLevels& levels) {
  if (colour == -1) return 0;
  const int r = colour & 0xFF;
  const int g = (colour & 0xFF00) / 256;
  const int b = (colour & 0xFF0000) / 65536;
  if (r >= levels.high && g >= levels.high && b >= levels.high) return 0;
  if (r <= levels.mid && g <= levels.mid && b <= levels.mid) return 1;
  if (r > levels.low && g > levels.low && b > levels.low) return 0;
  return 1;
}

char HexAsc(int value) {
  return static_cast<char>(value < 10 ? value + 48 : value + 55);
}

int roundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  const double below = std::floor(value);
  const double fraction = value - below;  // exact for every double
  double rounded = below + 1.0;
  if (fraction < 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) == 0.0)) rounded = below;
  if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(rounded);
}

QSize stretchSize(QSize source, int zoomPercent) {
  // Divided first, then multiplied: the order decides which side of a half the double lands on.
  const auto side = [zoomPercent](int length) {
    return std::max(0, roundHalfEven(length / 100.0 * zoomPercent));
  };
  return {side(source.width()), side(source.height())};
}

ScrollRange scrollRange(int stretched, int window) {
  const int maximum = stretched - window;
  if (maximum < 0) return {};
  return {maximum, roundHalfEven(maximum / 2.0)};
}

QImage normalizedPicture(const QImage& loaded) {
  if (loaded.isNull()) return {};
  if (!loaded.hasAlphaChannel()) return loaded.convertToFormat(QImage::Format_RGB32);

  // Over white, a premultiplied channel c with alpha a becomes c + 255 * (255 - a) / 255, that is
  // c + (255 - a) exactly: no rounding beyond the premultiplication itself, and no QPainter.
  const QImage premultiplied = loaded.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage out(premultiplied.size(), QImage::Format_RGB32);
  for (int y = 0; y < premultiplied.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < premultiplied.width(); ++x) {
      const QRgb p = in[x];
      const int clear = 255 - qAlpha(p);
      row[x] = qRgb(qRed(p) + clear, qGreen(p) + clear, qBlue(p) + clear);
    }
  }
  return out;
}

QImage cardWindow(const QImage& source, QSize stretched, int xOffset, int yOffset,
                  const CardGeometry& geometry) {
  if (geometry.imgWidth <= 0 || geometry.imgHeight <= 0) return {};
  QImage window(geometry.imgWidth, geometry.imgHeight, QImage::Format_RGB32);
  window.fill(kWhite);
  if (source.isNull() || stretched.isEmpty()) return window;

  const QImage picture = asRgb32(source);
  const std::int64_t sourceWidth = picture.width();
  const std::int64_t sourceHeight = picture.height();
  const std::int64_t stretchedWidth = stretched.width();
  const std::int64_t stretchedHeight = stretched.height();

  // The source column of each window column, -1 where the stretched picture ends; the same for
  // every line, so it is worked out once. Only the window is sampled, never the stretched copy.
  std::vector<int> column(static_cast<std::size_t>(geometry.imgWidth), -1);
  for (int x = 0; x < geometry.imgWidth; ++x) {
    const std::int64_t sx = std::int64_t{x} + xOffset;
    if (sx < 0 || sx >= stretchedWidth) continue;
    column[static_cast<std::size_t>(x)] =
        static_cast<int>(std::min(sourceWidth - 1, sx * sourceWidth / stretchedWidth));
  }

  for (int y = 0; y < geometry.imgHeight; ++y) {
    const std::int64_t sy = std::int64_t{y} + yOffset;
    if (sy < 0 || sy >= stretchedHeight) continue;
    const int sourceY =
        static_cast<int>(std::min(sourceHeight - 1, sy * sourceHeight / stretchedHeight));
    const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(sourceY));
    auto* out = reinterpret_cast<QRgb*>(window.scanLine(y));
    for (int x = 0; x < geometry.imgWidth; ++x) {
      const int sourceX = column[static_cast<std::size_t>(x)];
      if (sourceX >= 0) out[x] = in[sourceX];
    }
  }
  return window;
}

DotImage::DotImage(const QImage& window, const DotLevels& levels) {
  if (window.isNull()) return;
  const QImage picture = asRgb32(window);
  width_ = picture.width();
  height_ = picture.height();
  dots_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
  std::uint8_t* dot = dots_.data();
  for (int y = 0; y < height_; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = 0; x < width_; ++x) {
      const QRgb p = in[x];
      const auto colour = static_cast<std::int32_t>(static_cast<unsigned>(qRed(p)) |
                                                    static_cast<unsigned>(qGreen(p)) << 8 |
                                                    static_cast<unsigned>(qBlue(p)) << 16);
      *dot++ = static_cast<std::uint8_t>(Long_Rgb(colour, levels));
    }
  }
}

bool DotImage::dot(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return dots_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x)] != 0;
}

QByteArray DotImage::packedLine(int y) const {
  if (y < 0 || y >= height_) return {};
  const int bytes = width_ / 8;
  QByteArray out(bytes, '\0');
  const std::uint8_t* row =
      dots_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
  for (int i = 0; i < bytes; ++i) {
    unsigned byte = 0;
    for (int bit = 0; bit < 8; ++bit) byte = (byte << 1) | row[i * 8 + bit];
    out[i] = static_cast<char>(byte);
  }
  return out;
}

QByteArray textLine(const DotImage& image, int y, int lineOffset) {
  QByteArray out("PI:0/");
  out.reserve(16 + image.width() / 4);
  out += QByteArray::number(std::int64_t{y} + lineOffset);
  out += "/40/";
  for (int x = 0; x <= image.width() - 4; x += 4) out += HexAsc(nibble(image, x, y));
  return out;
}

QByteArray imageBlock(const DotImage& image, int y, int lineOffset) {
  const int number = (y + lineOffset) / 4;
  const int lineBytes = image.width() / 8;
  QByteArray block;
  block.reserve(4 + 4 * lineBytes);
  block += static_cast<char>(0x01);
  block += static_cast<char>(number & 0xFF);
  block += static_cast<char>((255 - number) & 0xFF);
  unsigned sum = 0;
  for (int line = y; line < y + 4; ++line) {
    // A line past the image is sent blank, so a block always holds four whole lines.
    QByteArray packed = image.packedLine(line);
    if (packed.isEmpty()) packed = QByteArray(lineBytes, '\0');
    for (const char c : packed) sum += static_cast<unsigned char>(c);
    block += packed;
  }
  block += static_cast<char>(sum & 0xFF);
  return block;
}

QByteArray assemblerLine(const DotImage& image, int y) {
  QByteArray out(" .DATA.B ");
  out.reserve(24 + image.width() / 8 * 5);
  for (int x = 0; x <= image.width() - 8; x += 8) {
    if (x > 0) out += ',';
    out += "H'";
    out += HexAsc(nibble(image, x, y));
    out += HexAsc(nibble(image, x + 4, y));
  }
  out += "   ;";
  // The line number as BASIC prints a number: a space where a minus sign would stand.
  if (y >= 0) out += ' ';
  out += QByteArray::number(y);
  out += "\n;";
  return out;
}

}  // namespace tavo
