// The kernel's termios2 interface: arbitrary baud rates and an exact copy of a line's settings.
// Kept apart because <asm/termbits.h> cannot be included together with <termios.h>.
#pragma once

namespace win::detail {

// An opaque copy of a terminal's settings, speeds included.
struct SavedTermios {
  alignas(8) unsigned char bytes[64];
};

bool SaveTermios(int fd, SavedTermios* saved);
bool RestoreTermios(int fd, const SavedTermios& saved);

// Sets input and output speed to any rate in bits per second (BOTHER); the other settings stay.
bool SetArbitrarySpeed(int fd, unsigned rate);
// The output speed in bits per second, as the driver holds it.
bool GetSpeed(int fd, unsigned* rate);

}  // namespace win::detail
