// The command line of tavosim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/fault.h"

namespace tavosim {

struct Options {
  long baud = 9600;     // 0: no pacing
  bool parity = false;  // 11 bits a byte instead of 10
  DeviceConfig device;
  FaultRates faults;
  std::uint32_t seed = 1;
  std::string link;    // symbolic link to the pty
  std::string trace;   // hex trace of both directions
  std::string eeprom;  // EEPROM image file
  bool help = false;
};

// Returns false with a message for an unknown option or a bad value; an --eeprom path that
// exists but is no regular file (a FIFO, a directory, a device) is a bad value.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

extern const char kUsage[];

}  // namespace tavosim
