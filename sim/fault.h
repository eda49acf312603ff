// Line faults on demand: each kind has a rate 0..1 and is drawn from one seeded generator, so a
// run with the same seed, settings and host traffic misbehaves the same way.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace tavosim {

struct FaultRates {
  double nak = 0;      // answer a good command with NAK
  double bcc = 0;      // send a reply frame with a wrong BCC
  double silence = 0;  // answer nothing
  double garbage = 0;  // a stray byte before a transmission
  double busy = 0;     // answer a command with status "12"
};

// "nak=0.1,bcc=0.05": named rates replace those in *rates, the others stay; "off" (or "none")
// sets all to 0. Returns false (and leaves *rates alone) on a bad name or a rate outside 0..1.
bool ParseFaultSpec(std::string_view spec, FaultRates* rates, std::string* error);

class FaultInjector {
 public:
  explicit FaultInjector(std::uint32_t seed = 1) : rng_(seed) {}
  void SetRates(const FaultRates& rates) { rates_ = rates; }
  const FaultRates& Rates() const { return rates_; }

  // Each draw uses the generator only when its rate is above 0.
  bool Hit(double rate);
  // A byte that the host cannot take for a control byte of the link.
  std::uint8_t StrayByte();

 private:
  FaultRates rates_;
  std::mt19937 rng_;
};

}  // namespace tavosim
