#include "platform/comm/termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace win::detail {

static_assert(sizeof(termios2) <= sizeof(SavedTermios::bytes));

bool SaveTermios(int fd, SavedTermios* saved) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) < 0) return false;
  std::memcpy(saved->bytes, &t, sizeof t);
  return true;
}

bool RestoreTermios(int fd, const SavedTermios& saved) {
  termios2 t{};
  std::memcpy(&t, saved.bytes, sizeof t);
  return ::ioctl(fd, TCSETS2, &t) == 0;
}

bool SetArbitrarySpeed(int fd, unsigned rate) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) < 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = rate;
  t.c_ospeed = rate;
  return ::ioctl(fd, TCSETS2, &t) == 0;
}

bool GetSpeed(int fd, unsigned* rate) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) < 0) return false;
  *rate = t.c_ospeed;
  return true;
}

}  // namespace win::detail
