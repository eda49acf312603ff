// What tavosim writes and reads: the PNG encoder and its checksums, the EEPROM file, the fault
// spec string (--fault) and the command line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/eeprom.h"
#include "sim/fault.h"
#include "sim/options.h"
#include "sim/png.h"

namespace tavosim {
namespace {

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

TEST(TavosimPngTest, ChecksumsMatchKnownValues) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xCBF43926u);
  const char* iend = "IEND";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(iend), 4), 0xAE426082u);
  const char* wiki = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const std::uint8_t*>(wiki), 9), 0x11E60398u);
  // Large sums wrap modulo 65521.
  std::vector<std::uint8_t> ff(100000, 0xFF);
  std::uint32_t a = 1, b = 0;
  for (auto x : ff) {
    a = (a + x) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(Adler32(ff.data(), ff.size()), (b << 16) | a);
}

// Walks the chunks, checks every CRC, and inflates the stored blocks of IDAT.
TEST(TavosimPngTest, ChunksCheckAndStoredDataInflatesToTheRows) {
  const int w = 320, h = 460;
  std::vector<std::uint8_t> rows(40 * h, 0);
  rows[0] = 0x80;           // top-left dot printed
  rows[40 * h - 1] = 0x01;  // bottom-right dot printed
  const auto png = EncodePng1Bit(w, h, rows);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

  std::size_t at = 8;
  std::vector<std::uint8_t> idat;
  std::vector<std::string> kinds;
  while (at + 12 <= png.size()) {
    const std::uint32_t len = Get32(png, at);
    const std::string kind(png.begin() + at + 4, png.begin() + at + 8);
    kinds.push_back(kind);
    EXPECT_EQ(Crc32(png.data() + at + 4, len + 4), Get32(png, at + 8 + len)) << kind;
    if (kind == "IHDR") {
      EXPECT_EQ(Get32(png, at + 8), 320u);
      EXPECT_EQ(Get32(png, at + 12), 460u);
      EXPECT_EQ(png[at + 16], 1);  // bit depth
      EXPECT_EQ(png[at + 17], 0);  // greyscale
    }
    if (kind == "IDAT") idat.assign(png.begin() + at + 8, png.begin() + at + 8 + len);
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(kinds, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

  ASSERT_GE(idat.size(), 2u + 5 + 4);
  EXPECT_EQ((idat[0] * 256 + idat[1]) % 31, 0);  // zlib header check
  std::vector<std::uint8_t> raw;
  std::size_t p = 2;
  bool last = false;
  while (!last) {
    last = idat[p] & 1;
    EXPECT_EQ(idat[p] >> 1, 0);  // stored
    const unsigned len = idat[p + 1] | idat[p + 2] << 8;
    const unsigned nlen = idat[p + 3] | idat[p + 4] << 8;
    EXPECT_EQ(len ^ 0xFFFF, nlen);
    raw.insert(raw.end(), idat.begin() + p + 5, idat.begin() + p + 5 + len);
    p += 5 + len;
  }
  EXPECT_EQ(Get32(idat, p), Adler32(raw.data(), raw.size()));
  ASSERT_EQ(raw.size(), static_cast<std::size_t>(41 * h));
  EXPECT_EQ(raw[0], 0);     // filter
  EXPECT_EQ(raw[1], 0x7F);  // printed dot is black (0)
  EXPECT_EQ(raw[2], 0xFF);
  EXPECT_EQ(raw[41 * h - 1], 0xFE);
}

TEST(TavosimPngTest, LargeImagesSplitIntoSeveralStoredBlocks) {
  const int w = 2048, h = 300;  // 256 + 1 bytes a row: more than one 65535-byte block
  const auto png = EncodePng1Bit(w, h, std::vector<std::uint8_t>(256 * h, 0));
  const std::uint32_t len = Get32(png, 33);
  ASSERT_EQ(std::string(png.begin() + 37, png.begin() + 41), "IDAT");
  EXPECT_EQ(len, 2u + 257u * h + 5u * 2 + 4u);
}

class TavosimEepromFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("tavosim-eeprom-" + std::to_string(::getpid()) + ".txt"))
                .string();
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::string path_;
};

TEST_F(TavosimEepromFileTest, SaveLoadRoundTripAndMissingFile) {
  Eeprom e;
  bool existed = true;
  std::string error;
  ASSERT_TRUE(e.Load(path_, &existed, &error));
  EXPECT_FALSE(existed);
  EXPECT_EQ(e.Word(0x20), 0x3532);  // the factory image stays
  e.SetWord(0x7F, 0xBEEF);
  e.SetCounter(Eeprom::kPasses, 0x12345678);
  ASSERT_TRUE(e.Save(path_, &error)) << error;
  Eeprom f;
  ASSERT_TRUE(f.Load(path_, &existed, &error)) << error;
  EXPECT_TRUE(existed);
  EXPECT_EQ(f.Word(0x7F), 0xBEEF);
  EXPECT_EQ(f.Word(0x1E), 0x1234);
  EXPECT_EQ(f.Word(0x1F), 0x5678);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

TEST_F(TavosimEepromFileTest, SavingKeepsALinkAndTheModeAndRefusesAReadOnlyImage) {
  namespace fs = std::filesystem;
  const std::string real = path_ + ".real", link = path_;
  Eeprom e;
  std::string error;
  ASSERT_TRUE(e.Save(real, &error)) << error;
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(real, link);
  e.SetWord(0x10, 0x1234);
  ASSERT_TRUE(e.Save(link, &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  Eeprom back;
  bool existed = false;
  ASSERT_TRUE(back.Load(link, &existed, &error)) << error;
  EXPECT_EQ(back.Word(0x10), 0x1234);

  fs::permissions(real, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  e.SetWord(0x10, 0x5678);
  EXPECT_FALSE(e.Save(link, &error));
  EXPECT_EQ(error, link + ": is read-only");
  ASSERT_TRUE(back.Load(real, &existed, &error)) << error;
  EXPECT_EQ(back.Word(0x10), 0x1234) << "the image on disk is unchanged";
  fs::permissions(real, fs::perms::owner_all);
  fs::remove(real);
}

TEST_F(TavosimEepromFileTest, DamagedFileIsRefusedAndLeavesTheImage) {
  std::ofstream(path_) << "0000 FFFF 12G4\n";
  Eeprom e;
  e.SetWord(0, 0x4242);
  bool existed = false;
  std::string error;
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_NE(error.find("12G4"), std::string::npos);
  std::ofstream(path_) << "0000 FFFF\n";
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_EQ(e.Word(0), 0x4242);
}

TEST_F(TavosimEepromFileTest, PathsThatAreNoRegularFileAreRefusedWithoutWaiting) {
  // A FIFO without a writer: opening it the ordinary way would wait for one forever.
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  Eeprom e;
  e.SetWord(0, 0x4242);
  bool existed = false;
  std::string error;
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_TRUE(existed);
  EXPECT_EQ(error, path_ + ": not a regular file (a FIFO)");
  std::filesystem::remove(path_);

  std::filesystem::create_directory(path_);
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_EQ(error, path_ + ": not a regular file (a directory)");
  std::filesystem::remove(path_);

  EXPECT_FALSE(e.Load("/dev/zero", &existed, &error));
  EXPECT_EQ(error, "/dev/zero: not a regular file (a character device)");
  EXPECT_EQ(e.Word(0), 0x4242);
}

TEST_F(TavosimEepromFileTest, AnOverLongTokenIsQuotedWithAtMost200Characters) {
  // 127 good words, then one token of a million characters with a marker after the first 200.
  std::string text;
  for (int i = 0; i < 127; ++i) text += "0000 ";
  const std::string head(200, 'A');
  std::ofstream(path_) << text << head << "MARKER" << std::string(1'000'000, 'B') << "\n";
  Eeprom e;
  bool existed = false;
  std::string error;
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_EQ(error, path_ + ": not a 4-digit hexadecimal word: " + head + "...");

  // A token of exactly 200 characters is quoted whole.
  std::ofstream(path_) << text << head << "\n";
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_EQ(error, path_ + ": not a 4-digit hexadecimal word: " + head);

  // Five hexadecimal digits are no word either, even though each digit is.
  std::ofstream(path_) << text << "12345\n";
  EXPECT_FALSE(e.Load(path_, &existed, &error));
  EXPECT_EQ(error, path_ + ": not a 4-digit hexadecimal word: 12345");
  EXPECT_EQ(e.Word(0x20), 0x3532);  // still the factory image
}

TEST(TavosimFaultSpecTest, ParsesMergesAndRefuses) {
  FaultRates r;
  std::string error;
  ASSERT_TRUE(ParseFaultSpec("nak=0.25,busy=1", &r, &error));
  EXPECT_EQ(r.nak, 0.25);
  EXPECT_EQ(r.busy, 1.0);
  ASSERT_TRUE(ParseFaultSpec("bcc=0.5", &r, &error));
  EXPECT_EQ(r.nak, 0.25);  // unnamed rates stay
  EXPECT_EQ(r.bcc, 0.5);
  EXPECT_FALSE(ParseFaultSpec("garbage=1.5", &r, &error));
  EXPECT_FALSE(ParseFaultSpec("silence=-0.1", &r, &error));
  EXPECT_FALSE(ParseFaultSpec("loud=0.1", &r, &error));
  EXPECT_FALSE(ParseFaultSpec("nak", &r, &error));
  EXPECT_FALSE(ParseFaultSpec("nak=0.1x", &r, &error));
  EXPECT_EQ(r.bcc, 0.5);  // a refused spec changes nothing
  ASSERT_TRUE(ParseFaultSpec("off", &r, &error));
  EXPECT_EQ(r.nak + r.bcc + r.busy, 0.0);
}

TEST(TavosimOptionsTest, ParsesValuesAndRefusesNonsense) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--baud", "0", "--speed=0.5", "--insert-ms", "-1", "--seed", "42",
                            "--fault", "nak=0.1", "--link", "/tmp/x", "--print-dir", "/tmp/p"},
                           &o, &error))
      << error;
  EXPECT_EQ(o.baud, 0);
  EXPECT_FALSE(o.parity);
  EXPECT_EQ(o.device.speed, 0.5);
  EXPECT_EQ(o.device.insertMs, -1);
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.faults.nak, 0.1);
  EXPECT_EQ(o.link, "/tmp/x");
  EXPECT_EQ(o.device.printDir, "/tmp/p");
  Options d;
  EXPECT_EQ(d.baud, 9600);
  EXPECT_FALSE(ParseOptions({"--baud", "fast"}, &d, &error));
  EXPECT_FALSE(ParseOptions({"--parity", "maybe"}, &d, &error));
  ASSERT_TRUE(ParseOptions({"--parity=even"}, &d, &error));
  EXPECT_TRUE(d.parity);
  EXPECT_FALSE(ParseOptions({"--speed", "-1"}, &d, &error));
  EXPECT_FALSE(ParseOptions({"--seed"}, &d, &error));
  EXPECT_FALSE(ParseOptions({"--colour"}, &d, &error));
  EXPECT_FALSE(ParseOptions({"--fault", "nak=3"}, &d, &error));
}

TEST(TavosimOptionsTest, EepromMustBeARegularFileOrMissing) {
  const std::string fifo = (std::filesystem::temp_directory_path() /
                            ("tavosim-options-" + std::to_string(::getpid()) + ".fifo"))
                               .string();
  std::filesystem::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Options o;
  std::string error;
  EXPECT_FALSE(ParseOptions({"--eeprom", fifo}, &o, &error));
  EXPECT_EQ(error, "bad value for --eeprom: " + fifo + ": not a regular file (a FIFO)");
  EXPECT_FALSE(ParseOptions({"--eeprom=/dev/null"}, &o, &error));
  EXPECT_NE(error.find("a character device"), std::string::npos) << error;
  EXPECT_FALSE(
      ParseOptions({"--eeprom", std::filesystem::temp_directory_path().string()}, &o, &error));
  EXPECT_NE(error.find("a directory"), std::string::npos) << error;
  std::filesystem::remove(fifo);
  // Missing: the factory image is used and the file is written at the end.
  ASSERT_TRUE(ParseOptions({"--eeprom", fifo}, &o, &error)) << error;
  EXPECT_EQ(o.eeprom, fifo);
}

}  // namespace
}  // namespace tavosim
