#include "sim/eeprom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/fileio/whole_file.h"
#include "platform/text/excerpt.h"

namespace tavosim {
namespace {

struct CounterPlace {
  int word;
  int width;  // words
};

// Word address and width of each "CT:" code.
constexpr CounterPlace kPlaces[16] = {
    {0x1E, 2}, {0x1C, 2}, {0x1A, 2}, {0x18, 2}, {0x0C, 1}, {0x0D, 1}, {0x0E, 1}, {0x0F, 1},
    {0x10, 1}, {0x11, 1}, {0x12, 1}, {0x13, 1}, {0x14, 1}, {0x15, 1}, {0x16, 1}, {0x17, 1},
};

constexpr int kErrorCodes[] = {0x5, 0x6, 0x7, 0x8, 0x9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF};

std::uint16_t Digits(char a, char b) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(a) << 8) |
                                    static_cast<unsigned char>(b));
}

}  // namespace

void Eeprom::Factory() {
  words_.fill(0xFFFF);
  words_[0x08] = Digits('0', '4');  // print position 4
  words_[0x20] = Digits('5', '2');  // TPH rank 5, print density 2
  words_[0x22] = Digits('1', '4');  // erase lot 1, erase rank 4
  words_[0x06] = 0;                 // erase-head test count
  for (int w = 0x0C; w <= 0x1F; ++w) words_[w] = 0;
}

std::uint32_t Eeprom::CounterValue(int code) const {
  const CounterPlace& p = kPlaces[code & 0xF];
  if (p.width == 1) return words_[p.word];
  return (static_cast<std::uint32_t>(words_[p.word]) << 16) | words_[p.word + 1];
}

void Eeprom::SetCounter(int code, std::uint32_t value) {
  const CounterPlace& p = kPlaces[code & 0xF];
  if (p.width == 1) {
    words_[p.word] = static_cast<std::uint16_t>(value > 0xFFFF ? 0xFFFF : value);
  } else {
    words_[p.word] = static_cast<std::uint16_t>(value >> 16);
    words_[p.word + 1] = static_cast<std::uint16_t>(value);
  }
}

void Eeprom::Count(int code) {
  const CounterPlace& p = kPlaces[code & 0xF];
  const std::uint32_t max = p.width == 1 ? 0xFFFFu : 0xFFFFFFFFu;
  const std::uint32_t v = CounterValue(code);
  if (v < max) SetCounter(code, v + 1);
}

void Eeprom::ClearErrors() {
  for (int code : kErrorCodes) SetCounter(code, 0);
}

void Eeprom::ClearErrorsAndPasses() {
  ClearErrors();
  SetCounter(kPasses, 0);
}

bool Eeprom::Load(const std::string& path, bool* existed, std::string* error) {
  *existed = false;
  // Opened without waiting, so a FIFO without a writer cannot hold the start; the type is asked
  // of the opened file, so what is read is what was checked.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  *existed = true;
  struct stat st;
  const std::string problem =
      ::fstat(fd, &st) != 0 ? std::strerror(errno) : FileTypeProblem(st.st_mode);
  if (!problem.empty()) {
    *error = path + ": " + problem;
    ::close(fd);
    return false;
  }
  std::FILE* in = ::fdopen(fd, "r");
  if (!in) {
    *error = path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  std::array<std::uint16_t, kWords> loaded{};
  int count = 0;
  // A token keeps at most kKept bytes (more than kExcerptChars characters of any text), so a
  // file of one endless token costs no more than a short one.
  constexpr std::size_t kKept = 4 * win::kExcerptChars + 4;
  std::string token;
  std::size_t length = 0;
  bool ok = true;
  auto finish = [&]() {
    if (length != 4 || token.find_first_not_of("0123456789abcdefABCDEF") != token.npos) {
      *error = path + ": not a 4-digit hexadecimal word: " + win::Excerpt(token);
      return false;
    }
    if (count == kWords) {
      *error = path + ": more than 128 words";
      return false;
    }
    loaded[count++] = static_cast<std::uint16_t>(std::stoul(token, nullptr, 16));
    return true;
  };
  for (int c; ok && (c = std::getc(in)) != EOF;) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      if (length) ok = finish();
      token.clear();
      length = 0;
    } else {
      if (token.size() < kKept) token.push_back(static_cast<char>(c));
      // Long past any word: refused now, without reading the rest of it.
      if (++length > kKept) ok = finish();
    }
  }
  if (ok && std::ferror(in)) {
    *error = path + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok && length) ok = finish();
  std::fclose(in);
  if (!ok) return false;
  if (count != kWords) {
    *error = path + ": " + std::to_string(count) + " words instead of 128";
    return false;
  }
  words_ = loaded;
  return true;
}

std::string FileTypeProblem(unsigned mode) {
  if (S_ISREG(mode)) return {};
  const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                     : S_ISDIR(mode)  ? "a directory"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "of an unknown type";
  return std::string("not a regular file (") + kind + ")";
}

// The image is replaced whole: a symbolic link keeps pointing at the file, the file keeps its
// mode, and a read-only image is refused rather than made writable.
bool Eeprom::Save(const std::string& path, std::string* error) const {
  std::string text;
  char buf[8];
  for (int i = 0; i < kWords; ++i) {
    std::snprintf(buf, sizeof buf, "%04X", words_[i]);
    text += buf;
    text += (i % 8 == 7) ? '\n' : ' ';
  }
  return fileio::ReplaceWholeFile(path, text, error);
}

}  // namespace tavosim
