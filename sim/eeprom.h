// The device's parameter memory: 128 16-bit words, the factory image, the counters kept in it,
// and the text file that carries it between runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavosim {

class Eeprom {
 public:
  static constexpr int kWords = 128;

  // Counters by their "CT:" code (0-F). Each lives in one word, or two (high word first).
  enum Counter : int {
    kPasses = 0x0,
    kWrites = 0x1,
    kReads = 0x2,
    kPrints = 0x3,
    kPowerCuts = 0x4,
    kReceiveErrors = 0x5,
    kSendErrors = 0x6,
    kJamErrors = 0x7,
    kMechErrors = 0x8,
    kTrack1Errors = 0x9,
    kTrack2Errors = 0xA,
    kTrack3Errors = 0xB,
    kTrack4Errors = 0xC,
    kFeedErrors = 0xD,
    kHardErrors = 0xE,
    kPunchErrors = 0xF,
  };

  Eeprom() { Factory(); }

  // TPH rank 5, density 2, erase lot 1, rank 4, print position 4, counters zero, the rest erased.
  void Factory();

  std::uint16_t Word(int address) const { return words_.at(address); }
  void SetWord(int address, std::uint16_t value) { words_.at(address) = value; }

  std::uint32_t CounterValue(int code) const;
  void SetCounter(int code, std::uint32_t value);
  // Adds one, stopping at the counter's largest value.
  void Count(int code);
  // "!!e": every error counter; "!!c": those and the pass counter.
  void ClearErrors();
  void ClearErrorsAndPasses();

  // The file is 16 lines of 8 words as 4 hexadecimal digits. Load returns false with a reason
  // for a file that exists but cannot be read or parsed, and for a path that names something
  // other than a regular file (a FIFO is refused, never waited on); a token that is no word is
  // quoted in the reason with at most 200 characters. A missing file is not an error (*existed
  // tells which). On any failure the image stays as it was.
  bool Load(const std::string& path, bool* existed, std::string* error);
  // Writes a temporary file and renames it over the old one.
  bool Save(const std::string& path, std::string* error) const;

 private:
  std::array<std::uint16_t, kWords> words_{};
};

// "" for a regular file's st_mode, else why such a file cannot hold an EEPROM image
// ("not a regular file (a FIFO)").
std::string FileTypeProblem(unsigned mode);

}  // namespace tavosim
