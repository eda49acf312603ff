// The card's dot image on hand-made pictures: the dot decision at every brightness, the zoom and
// scroll arithmetic, the card window's sampling, and the three outputs (text lines, download
// blocks, assembler lines) byte for byte.
#include "app/bitmap/dot_image.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <map>
#include <string>
#include <vector>

namespace tavo {
namespace {

// 0x00BBGGRR, the colour form the dot decision reads.
std::int32_t bgr(int r, int g, int b) {
  return r | g << 8 | b << 16;
}

QImage filled(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// A white window of the given size with black pixels at the listed points.
DotImage dotsAt(int width, int height, const std::vector<QPoint>& blacks) {
  QImage window = filled(width, height, qRgb(255, 255, 255));
  for (const QPoint& p : blacks) window.setPixel(p, qRgb(0, 0, 0));
  return DotImage(window, dotLevels(0));
}

// The window's pixels as one letter each, through the legend; '?' for a colour not in it.
std::vector<std::string> letters(const QImage& image, const std::map<QRgb, char>& legend) {
  std::vector<std::string> rows;
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = 0; x < image.width(); ++x) {
      const auto it = legend.find(image.pixel(x, y));
      row += it == legend.end() ? '?' : it->second;
    }
    rows.push_back(row);
  }
  return rows;
}

// --- The dot decision ---------------------------------------------------------------------------

TEST(DotDecision, ExampleColoursAtBrightnessZero) {
  const DotLevels levels = dotLevels(0);
  EXPECT_EQ(levels.high, 192);
  EXPECT_EQ(levels.mid, 128);
  EXPECT_EQ(levels.low, 64);
  EXPECT_EQ(Long_Rgb(bgr(100, 100, 100), levels), 1);  // all at or below mid
  EXPECT_EQ(Long_Rgb(bgr(200, 200, 60), levels), 1);   // one channel at or below low
  EXPECT_EQ(Long_Rgb(bgr(150, 150, 150), levels), 0);  // between mid and high
  EXPECT_EQ(Long_Rgb(bgr(255, 255, 255), levels), 0);
  EXPECT_EQ(Long_Rgb(bgr(0, 0, 0), levels), 1);
  // Each channel is read from its own byte: a dark channel in any one of them prints.
  EXPECT_EQ(Long_Rgb(bgr(30, 200, 200), levels), 1);
  EXPECT_EQ(Long_Rgb(bgr(200, 30, 200), levels), 1);
  EXPECT_EQ(Long_Rgb(bgr(200, 200, 30), levels), 1);
}

TEST(DotDecision, ColourReadOutsideThePictureIsBlank) {
  for (int brightness = -50; brightness <= 50; brightness += 10)
    EXPECT_EQ(Long_Rgb(-1, dotLevels(brightness)), 0) << brightness;
}

TEST(DotDecision, LevelsAndBoundariesAtEveryBrightness) {
  struct Row {
    int brightness, high, mid, low;
  };
  const Row rows[] = {
      {-50, 142, 78, 14},  {-40, 152, 88, 24},  {-30, 162, 98, 34},  {-20, 172, 108, 44},
      {-10, 182, 118, 54}, {0, 192, 128, 64},   {10, 202, 138, 74},  {20, 212, 148, 84},
      {30, 222, 158, 94},  {40, 232, 168, 104}, {50, 242, 178, 114},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.brightness);
    const DotLevels levels = dotLevels(r.brightness);
    EXPECT_EQ(levels.high, r.high);
    EXPECT_EQ(levels.mid, r.mid);
    EXPECT_EQ(levels.low, r.low);

    // Greys: a dot up to mid, blank above it (at high and just below high alike).
    EXPECT_EQ(Long_Rgb(bgr(r.high, r.high, r.high), levels), 0);
    EXPECT_EQ(Long_Rgb(bgr(r.high - 1, r.high - 1, r.high - 1), levels), 0);
    EXPECT_EQ(Long_Rgb(bgr(r.mid + 1, r.mid + 1, r.mid + 1), levels), 0);
    EXPECT_EQ(Long_Rgb(bgr(r.mid, r.mid, r.mid), levels), 1);
    // One channel above mid keeps a mid-dark colour from printing unless another is at low.
    EXPECT_EQ(Long_Rgb(bgr(r.mid, r.mid + 1, r.mid), levels), 0);
    EXPECT_EQ(Long_Rgb(bgr(r.mid, r.mid + 1, r.low), levels), 1);
    // Bright colours with one channel at low print; one above low does not.
    EXPECT_EQ(Long_Rgb(bgr(r.low, 255, 255), levels), 1);
    EXPECT_EQ(Long_Rgb(bgr(255, r.low, 255), levels), 1);
    EXPECT_EQ(Long_Rgb(bgr(255, 255, r.low), levels), 1);
    EXPECT_EQ(Long_Rgb(bgr(r.low + 1, 255, 255), levels), 0);
    EXPECT_EQ(Long_Rgb(bgr(255, 255, r.low + 1), levels), 0);
  }
}

// --- Number helpers -----------------------------------------------------------------------------

TEST(NumberHelpers, HexAscGivesUpperCaseDigits) {
  const char expected[] = "0123456789ABCDEF";
  for (int v = 0; v < 16; ++v) EXPECT_EQ(HexAsc(v), expected[v]) << v;
}

TEST(NumberHelpers, RoundHalfEvenSendsTiesToTheEvenNeighbour) {
  EXPECT_EQ(roundHalfEven(0.5), 0);
  EXPECT_EQ(roundHalfEven(1.5), 2);
  EXPECT_EQ(roundHalfEven(2.5), 2);
  EXPECT_EQ(roundHalfEven(3.5), 4);
  EXPECT_EQ(roundHalfEven(-0.5), 0);
  EXPECT_EQ(roundHalfEven(-1.5), -2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(0.49), 0);
  EXPECT_EQ(roundHalfEven(0.51), 1);
  EXPECT_EQ(roundHalfEven(2.4999), 2);
  EXPECT_EQ(roundHalfEven(-2.51), -3);
  EXPECT_EQ(roundHalfEven(7.0), 7);
}

TEST(NumberHelpers, StretchSizeAtTheZoomsOfTheList) {
  EXPECT_EQ(stretchSize({1024, 768}, 100), QSize(1024, 768));
  EXPECT_EQ(stretchSize({1024, 768}, 33), QSize(338, 253));  // 337.92, 253.44
  EXPECT_EQ(stretchSize({1024, 768}, 66), QSize(676, 507));  // 675.84, 506.88
  EXPECT_EQ(stretchSize({1024, 768}, 80), QSize(819, 614));  // 819.2, 614.4
  EXPECT_EQ(stretchSize({4000, 3000}, 400), QSize(16000, 12000));
  EXPECT_EQ(stretchSize({101, 15}, 10), QSize(10, 2));  // 10.1, 1.5
  EXPECT_EQ(stretchSize({320, 460}, 250), QSize(800, 1150));
  EXPECT_EQ(stretchSize({0, 0}, 200), QSize(0, 0));
}

TEST(NumberHelpers, StretchSizeRoundsTiesToEven) {
  EXPECT_EQ(stretchSize({1, 3}, 50), QSize(0, 2));       // 0.5, 1.5
  EXPECT_EQ(stretchSize({5, 99}, 50), QSize(2, 50));     // 2.5, 49.5
  EXPECT_EQ(stretchSize({2, 6}, 25), QSize(0, 2));       // 0.5, 1.5
  EXPECT_EQ(stretchSize({10, 2}, 25), QSize(2, 0));      // 2.5, 0.5
  EXPECT_EQ(stretchSize({50, 150}, 33), QSize(16, 50));  // 16.5, 49.5
  EXPECT_EQ(stretchSize({2, 2}, 75), QSize(2, 2));       // 1.5
  EXPECT_EQ(stretchSize({3, 333}, 150), QSize(4, 500));  // 4.5, 499.5
  EXPECT_EQ(stretchSize({25, 35}, 10), QSize(2, 4));     // 2.5, 3.5
  EXPECT_EQ(stretchSize({17, 1}, 250), QSize(42, 2));    // 42.5, 2.5
}

TEST(NumberHelpers, StretchSizeDividesBeforeItMultiplies) {
  // 7 / 100 is stored a little above 0.07, so 7 / 100 x 150 lands just above 10.5 and rounds up;
  // 7 x 150 / 100 would be the exact tie 10.5 and round down to 10.
  EXPECT_EQ(stretchSize({7, 7}, 150), QSize(11, 11));
}

TEST(NumberHelpers, ScrollRangeCentresTheCardWindow) {
  EXPECT_EQ(scrollRange(100, 320).maximum, 0);  // picture narrower than the window
  EXPECT_EQ(scrollRange(100, 320).position, 0);
  EXPECT_EQ(scrollRange(320, 320).maximum, 0);
  EXPECT_EQ(scrollRange(320, 320).position, 0);
  EXPECT_EQ(scrollRange(326, 320).maximum, 6);
  EXPECT_EQ(scrollRange(326, 320).position, 3);
  EXPECT_EQ(scrollRange(325, 320).maximum, 5);
  EXPECT_EQ(scrollRange(325, 320).position, 2);  // 2.5 to even
  EXPECT_EQ(scrollRange(327, 320).maximum, 7);
  EXPECT_EQ(scrollRange(327, 320).position, 4);  // 3.5 to even
  EXPECT_EQ(scrollRange(321, 320).position, 0);  // 0.5 to even
  EXPECT_EQ(scrollRange(12000, 460).maximum, 11540);
  EXPECT_EQ(scrollRange(12000, 460).position, 5770);
}

// --- The picture and the card window ------------------------------------------------------------

TEST(Picture, TransparentPixelsLieOverWhite) {
  QImage loaded(4, 1, QImage::Format_ARGB32);
  loaded.setPixel(0, 0, qRgba(0, 0, 0, 0));
  loaded.setPixel(1, 0, qRgba(0, 0, 0, 128));
  loaded.setPixel(2, 0, qRgba(255, 0, 0, 128));
  loaded.setPixel(3, 0, qRgba(10, 20, 30, 255));
  const QImage picture = normalizedPicture(loaded);
  ASSERT_EQ(picture.format(), QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(4, 1));
  EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(picture.pixel(1, 0), qRgb(127, 127, 127));
  EXPECT_EQ(picture.pixel(2, 0), qRgb(255, 127, 127));
  EXPECT_EQ(picture.pixel(3, 0), qRgb(10, 20, 30));

  // A fully transparent black picture prints nothing.
  QImage clear(8, 1, QImage::Format_ARGB32);
  clear.fill(qRgba(0, 0, 0, 0));
  const DotImage dots(cardWindow(normalizedPicture(clear), {8, 1}, 0, 0, {8, 1, 0}), dotLevels(0));
  EXPECT_EQ(dots.packedLine(0), QByteArray(1, '\0'));
}

TEST(Picture, OpaqueFormatsKeepTheirColours) {
  QImage loaded(2, 1, QImage::Format_RGB888);
  loaded.setPixel(0, 0, qRgb(1, 2, 3));
  loaded.setPixel(1, 0, qRgb(200, 100, 50));
  const QImage picture = normalizedPicture(loaded);
  EXPECT_EQ(picture.format(), QImage::Format_RGB32);
  EXPECT_EQ(picture.pixel(0, 0), qRgb(1, 2, 3));
  EXPECT_EQ(picture.pixel(1, 0), qRgb(200, 100, 50));
  EXPECT_TRUE(normalizedPicture(QImage()).isNull());
}

class CardWindowSampling : public testing::Test {
 protected:
  static constexpr QRgb kWhite = 0xFFFFFFFFu;
  std::map<QRgb, char> legend{{kWhite, 'W'}};

  QImage picture(const std::vector<std::string>& rows) {
    QImage image(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
                 QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
        const QRgb colour = qRgb(c * 3 % 256, c * 7 % 256, c * 11 % 256);
        legend[colour] = c;
        image.setPixel(x, y, colour);
      }
    return image;
  }
};

TEST_F(CardWindowSampling, Zoom200DoublesEachPixel) {
  const QImage source = picture({"ABC", "DEF"});
  ASSERT_EQ(stretchSize(source.size(), 200), QSize(6, 4));
  EXPECT_EQ(letters(cardWindow(source, {6, 4}, 0, 0, {8, 5, 0}), legend),
            (std::vector<std::string>{"AABBCCWW", "AABBCCWW", "DDEEFFWW", "DDEEFFWW", "WWWWWWWW"}));
  EXPECT_EQ(letters(cardWindow(source, {6, 4}, 1, 1, {8, 5, 0}), legend),
            (std::vector<std::string>{"ABBCCWWW", "DEEFFWWW", "DEEFFWWW", "WWWWWWWW", "WWWWWWWW"}));
}

TEST_F(CardWindowSampling, Zoom50TakesEveryOtherPixelRoundingDown) {
  const QImage source = picture({"ABCDE", "FGHIJ", "KLMNO"});
  ASSERT_EQ(stretchSize(source.size(), 50), QSize(2, 2));  // 2.5 and 1.5, both to 2
  // Column x reads source column x * 5 / 2 (0, 2), line y reads y * 3 / 2 (0, 1).
  EXPECT_EQ(letters(cardWindow(source, {2, 2}, 0, 0, {4, 3, 0}), legend),
            (std::vector<std::string>{"ACWW", "FHWW", "WWWW"}));
}

TEST_F(CardWindowSampling, NoPictureGivesAWhiteWindow) {
  const std::vector<std::string> white(3, "WWWW");
  EXPECT_EQ(letters(cardWindow(QImage(), {4, 3}, 0, 0, {4, 3, 0}), legend), white);
  EXPECT_EQ(letters(cardWindow(picture({"AB"}), {0, 0}, 0, 0, {4, 3, 0}), legend), white);
  const QImage window = cardWindow(QImage(), {0, 0}, 0, 0, CardGeometry::withText());
  EXPECT_EQ(window.size(), QSize(320, 300));
  EXPECT_EQ(window.format(), QImage::Format_RGB32);
}

TEST(LargePicture, Zoom400SamplesOnlyTheWindow) {
  QImage source = filled(4000, 3000, qRgb(255, 255, 255));
  source.setPixel(1960, 1442, qRgb(0, 0, 0));
  source.setPixel(1961, 1443, qRgb(255, 0, 0));
  source.setPixel(3600, 2400, qRgb(0, 0, 255));
  const QSize stretched = stretchSize(source.size(), 400);
  const CardGeometry card = CardGeometry::wholeImage();
  const int x = scrollRange(stretched.width(), card.imgWidth).position;    // 7840
  const int y = scrollRange(stretched.height(), card.imgHeight).position;  // 5770
  const QImage window = cardWindow(source, stretched, x, y, card);
  ASSERT_EQ(window.size(), QSize(320, 460));
  // Window columns 0..3 read source column 1960, 4..7 read 1961; lines 0..1 read source line
  // 1442 (5770 / 4 = 1442.5), lines 2..5 read 1443.
  EXPECT_EQ(window.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(window.pixel(3, 1), qRgb(0, 0, 0));
  EXPECT_EQ(window.pixel(4, 0), qRgb(255, 255, 255));
  EXPECT_EQ(window.pixel(0, 2), qRgb(255, 255, 255));
  EXPECT_EQ(window.pixel(4, 2), qRgb(255, 0, 0));
  EXPECT_EQ(window.pixel(7, 5), qRgb(255, 0, 0));
  EXPECT_EQ(window.pixel(8, 5), qRgb(255, 255, 255));
  EXPECT_EQ(window.pixel(7, 6), qRgb(255, 255, 255));

  // 900000 x 4000 does not fit in 32 bits; the source column is 900000 x 4000 / 1000000 = 3600,
  // and still 3600 at window column 249 (3600.996); the line likewise at 600000 and 600249.
  const QImage far = cardWindow(source, {1000000, 750000}, 900000, 600000, card);
  EXPECT_EQ(far.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(far.pixel(249, 249), qRgb(0, 0, 255));
  EXPECT_EQ(far.pixel(250, 0), qRgb(255, 255, 255));
  EXPECT_EQ(far.pixel(0, 250), qRgb(255, 255, 255));
}

// --- The dots and their outputs -----------------------------------------------------------------

TEST(Dots, PackedLineLeftmostDotInTheTopBit) {
  const DotImage dots = dotsAt(16, 2, {{0, 0}, {9, 0}, {15, 1}});
  EXPECT_EQ(dots.packedLine(0), QByteArray("\x80\x40", 2));
  EXPECT_EQ(dots.packedLine(1), QByteArray("\x00\x01", 2));
  EXPECT_TRUE(dots.packedLine(2).isEmpty());
  EXPECT_TRUE(dots.packedLine(-1).isEmpty());
  EXPECT_TRUE(dots.dot(9, 0));
  EXPECT_FALSE(dots.dot(8, 0));
  EXPECT_FALSE(dots.dot(16, 1));
  EXPECT_FALSE(dots.dot(-1, 0));
  EXPECT_FALSE(dots.dot(0, 2));
  // A width that is no multiple of 8 packs the whole bytes only.
  EXPECT_EQ(dotsAt(12, 1, {{7, 0}, {8, 0}}).packedLine(0), QByteArray("\x01", 1));
}

TEST(Dots, WhiteAndBlackPicturesThroughTheWholeWay) {
  struct Case {
    QRgb colour;
    char digit;
  };
  for (const auto& [colour, digit] : {Case{qRgb(255, 255, 255), '0'}, Case{qRgb(0, 0, 0), 'F'}}) {
    const QImage picture = normalizedPicture(filled(400, 500, colour));
    const QSize stretched = stretchSize(picture.size(), 100);
    const CardGeometry card = CardGeometry::wholeImage();
    const DotImage dots(
        cardWindow(picture, stretched, scrollRange(stretched.width(), card.imgWidth).position,
                   scrollRange(stretched.height(), card.imgHeight).position, card),
        dotLevels(0));
    EXPECT_EQ(textLine(dots, 0, 0), "PI:0/0/40/" + QByteArray(80, digit));
    EXPECT_EQ(textLine(dots, 459, 0), "PI:0/459/40/" + QByteArray(80, digit));
  }
}

TEST(Dots, PictureSmallerThanTheWindowLeavesTheRestBlank) {
  const QImage picture = normalizedPicture(filled(100, 50, qRgb(0, 0, 0)));
  const QSize stretched = stretchSize(picture.size(), 100);
  const CardGeometry card = CardGeometry::wholeImage();
  const ScrollRange across = scrollRange(stretched.width(), card.imgWidth);
  const ScrollRange down = scrollRange(stretched.height(), card.imgHeight);
  EXPECT_EQ(across.maximum, 0);
  EXPECT_EQ(down.maximum, 0);
  const DotImage dots(cardWindow(picture, stretched, across.position, down.position, card),
                      dotLevels(0));
  EXPECT_TRUE(dots.dot(99, 49));
  EXPECT_FALSE(dots.dot(100, 0));
  EXPECT_FALSE(dots.dot(0, 50));
  EXPECT_EQ(textLine(dots, 0, 0), "PI:0/0/40/" + QByteArray(25, 'F') + QByteArray(55, '0'));
  EXPECT_EQ(textLine(dots, 50, 0), "PI:0/50/40/" + QByteArray(80, '0'));
}

TEST(Dots, WindowInAnotherFormatIsReadOverWhite) {
  QImage window(8, 1, QImage::Format_ARGB32);
  window.fill(qRgba(0, 0, 0, 255));
  window.setPixel(1, 0, qRgba(0, 0, 0, 0));
  EXPECT_EQ(DotImage(window, dotLevels(0)).packedLine(0), QByteArray("\xBF", 1));
}

TEST(TextLines, FourDotsADigit) {
  const DotImage dots = dotsAt(
      320, 1,
      {{0, 0}, {5, 0}, {10, 0}, {15, 0}, {16, 0}, {18, 0}, {316, 0}, {317, 0}, {318, 0}, {319, 0}});
  EXPECT_EQ(textLine(dots, 0, 60), "PI:0/60/40/8421A" + QByteArray(74, '0') + "F");
}

TEST(TextLines, DeviceLineNumbersWithTextAbove) {
  const DotImage withText = dotsAt(320, 300, {});
  EXPECT_EQ(textLine(withText, 0, 60), "PI:0/60/40/" + QByteArray(80, '0'));
  EXPECT_EQ(textLine(withText, 1, 60).left(11), "PI:0/61/40/");
  EXPECT_EQ(textLine(withText, 299, 60), "PI:0/359/40/" + QByteArray(80, '0'));
}

TEST(Blocks, NumbersComplementsAndSizeForBothCardForms) {
  struct Form {
    int lines, lineOffset, firstNumber, blocks;
  };
  for (const Form& form : {Form{460, 0, 0, 115}, Form{300, 60, 15, 75}}) {
    SCOPED_TRACE(form.lineOffset);
    const DotImage blank = dotsAt(320, form.lines, {});
    int count = 0;
    for (int y = 0; y < form.lines; y += 4, ++count) {
      const QByteArray block = imageBlock(blank, y, form.lineOffset);
      ASSERT_EQ(block.size(), kBlockSize);
      EXPECT_EQ(static_cast<unsigned char>(block[0]), 0x01);
      EXPECT_EQ(static_cast<unsigned char>(block[1]), form.firstNumber + count) << y;
      EXPECT_EQ(static_cast<unsigned char>(block[2]), 255 - form.firstNumber - count) << y;
      EXPECT_EQ(block[163], '\0');
    }
    EXPECT_EQ(count, form.blocks);
  }
  // The first and last numbers written out: 0/255 and 114/141, 15/240 and 89/166.
  EXPECT_EQ(imageBlock(dotsAt(320, 460, {}), 0, 0).left(3), QByteArray("\x01\x00\xFF", 3));
  EXPECT_EQ(imageBlock(dotsAt(320, 460, {}), 456, 0).left(3), QByteArray("\x01\x72\x8D", 3));
  EXPECT_EQ(imageBlock(dotsAt(320, 300, {}), 0, 60).left(3), QByteArray("\x01\x0F\xF0", 3));
  EXPECT_EQ(imageBlock(dotsAt(320, 300, {}), 296, 60).left(3), QByteArray("\x01\x59\xA6", 3));
}

TEST(Blocks, HandMadeDotsAndTheirChecksum) {
  // Block of lines 4..7: line 4 dot 0 (0x80 at byte 3), line 5 dot 319 (0x01 at 3 + 40 + 39),
  // line 7 dots 8..15 (0xFF at 3 + 120 + 1). Dots on lines 3 and 8 belong to other blocks.
  std::vector<QPoint> blacks{{0, 4}, {319, 5}, {50, 3}, {50, 8}};
  for (int x = 8; x < 16; ++x) blacks.push_back({x, 7});
  const QByteArray block = imageBlock(dotsAt(320, 300, blacks), 4, 60);
  ASSERT_EQ(block.size(), 164);
  QByteArray expected(164, '\0');
  expected[0] = 0x01;
  expected[1] = 16;                      // (4 + 60) / 4
  expected[2] = static_cast<char>(239);  // 255 - 16
  expected[3] = static_cast<char>(0x80);
  expected[82] = 0x01;
  expected[124] = static_cast<char>(0xFF);
  expected[163] = static_cast<char>(0x80);  // 0x80 + 0x01 + 0xFF = 384, 128 modulo 256
  EXPECT_EQ(block, expected);
}

TEST(Blocks, AllBlackChecksumWrapsAround) {
  QImage black = filled(320, 460, qRgb(0, 0, 0));
  const QByteArray block = imageBlock(DotImage(black, dotLevels(0)), 8, 0);
  EXPECT_EQ(block.mid(3, 160), QByteArray(160, static_cast<char>(0xFF)));
  EXPECT_EQ(static_cast<unsigned char>(block[163]), 0x60);  // 160 x 255 = 40800 = 159 x 256 + 96
}

TEST(Blocks, LinesPastTheImageAreSentBlank) {
  const QByteArray block = imageBlock(DotImage(filled(320, 6, qRgb(0, 0, 0)), dotLevels(0)), 4, 0);
  ASSERT_EQ(block.size(), 164);
  EXPECT_EQ(block.mid(3, 80), QByteArray(80, static_cast<char>(0xFF)));
  EXPECT_EQ(block.mid(83, 80), QByteArray(80, '\0'));
  EXPECT_EQ(static_cast<unsigned char>(block[163]), 0xB0);  // 80 x 255 = 20400 = 79 x 256 + 176
}

TEST(AssemblerLines, DataLineWithBasicNumber) {
  EXPECT_EQ(assemblerLine(dotsAt(16, 4, {}), 3), " .DATA.B H'00,H'00   ; 3\n;");
  EXPECT_EQ(assemblerLine(dotsAt(16, 1, {{0, 0}, {7, 0}, {12, 0}}), 0),
            " .DATA.B H'81,H'08   ; 0\n;");
  EXPECT_EQ(assemblerLine(dotsAt(16, 1, {}), -3), " .DATA.B H'00,H'00   ;-3\n;");
  const DotImage black(filled(320, 460, qRgb(0, 0, 0)), dotLevels(0));
  EXPECT_EQ(assemblerLine(black, 459),
            " .DATA.B " + QByteArray("H'FF,").repeated(39) + "H'FF   ; 459\n;");
}

}  // namespace
}  // namespace tavo
