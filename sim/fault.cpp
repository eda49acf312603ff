#include "sim/fault.h"

#include <cstdlib>

namespace tavosim {

bool ParseFaultSpec(std::string_view spec, FaultRates* rates, std::string* error) {
  FaultRates r = *rates;
  if (spec == "off" || spec == "none") {
    *rates = FaultRates{};
    return true;
  }
  while (!spec.empty()) {
    const std::size_t comma = spec.find(',');
    std::string_view item = spec.substr(0, comma);
    spec = comma == spec.npos ? std::string_view{} : spec.substr(comma + 1);
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    if (eq == item.npos) {
      *error = "fault needs name=rate: " + std::string(item);
      return false;
    }
    const std::string name(item.substr(0, eq));
    const std::string value(item.substr(eq + 1));
    char* end = nullptr;
    const double rate = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(rate >= 0.0 && rate <= 1.0)) {
      *error = "fault rate must be 0..1: " + std::string(item);
      return false;
    }
    if (name == "nak") {
      r.nak = rate;
    } else if (name == "bcc") {
      r.bcc = rate;
    } else if (name == "silence") {
      r.silence = rate;
    } else if (name == "garbage") {
      r.garbage = rate;
    } else if (name == "busy") {
      r.busy = rate;
    } else {
      *error = "unknown fault: " + name;
      return false;
    }
  }
  *rates = r;
  return true;
}

bool FaultInjector::Hit(double rate) {
  if (rate <= 0) return false;
  // 24 bits of the generator's output, so the sequence does not depend on the library's
  // distribution classes.
  const double u = static_cast<double>(rng_() >> 8) / 16777216.0;
  return u < rate;
}

std::uint8_t FaultInjector::StrayByte() {
  return static_cast<std::uint8_t>(0x20 + rng_() % 0x5F);  // printable ASCII
}

}  // namespace tavosim
