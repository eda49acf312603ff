// A terminal device (serial port, USB adapter, pseudo-terminal) driven through termios.
//
// The device is opened non-blocking and exclusive (flock), its settings saved whole so that
// Close() puts them back. A line whose modem-line ioctls fail (a pseudo-terminal) reads as a
// null-modem cable with CTS, DSR and RLSD on, accepts DTR/RTS/break requests without effect and
// never counts a line error.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "platform/comm/error_detail.h"
#include "platform/comm/line.h"
#include "platform/comm/termios2.h"

namespace win::detail {
namespace {

struct SpeedEntry {
  unsigned rate;
  speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool StandardSpeed(unsigned rate, speed_t* code) {
  for (const auto& e : kSpeeds) {
    if (e.rate == rate) {
      *code = e.code;
      return true;
    }
  }
  return false;
}

DWORD ErrnoToWin32(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EIO:
      return ERROR_DEVICE_NOT_CONNECTED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOTTY:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

class TtyLine final : public Line {
 public:
  TtyLine(int fd, const termios& original, const SavedTermios& saved)
      : fd_(fd), original_(original), saved_(saved) {
    int bits = 0;
    hasModemLines_ = ::ioctl(fd_, TIOCMGET, &bits) == 0;
    serial_icounter_struct icount{};
    hasCounters_ = ::ioctl(fd_, TIOCGICOUNT, &icount) == 0;
  }

  int Descriptor() const override { return fd_; }
  int InputDescriptor() const override { return fd_; }
  short PollEvents(bool wantInput, bool wantOutput) const override {
    return static_cast<short>((wantInput ? POLLIN : 0) | (wantOutput ? POLLOUT : 0));
  }
  bool NeedsPolling() const override { return hasModemLines_ || hasCounters_; }
  bool CtsFlowInDriver() const override { return true; }

  long Receive(BYTE* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n > 0) return n;
      // End of file on a terminal means the other end hung up (a pty whose master closed).
      if (n == 0) return -static_cast<long>(ERROR_DEVICE_NOT_CONNECTED);
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 0;
      return -static_cast<long>(errno == EIO ? ERROR_DEVICE_NOT_CONNECTED : ErrnoToWin32(errno));
    }
  }

  long Transmit(const BYTE* data, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::write(fd_, data, size);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 0;
      return -static_cast<long>(errno == EIO ? ERROR_DEVICE_NOT_CONNECTED : ErrnoToWin32(errno));
    }
  }

  DWORD DriverInput(DWORD* count) override {
    int n = 0;
    if (::ioctl(fd_, TIOCINQ, &n) < 0) return ErrnoToWin32(errno);
    *count = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
  }

  DWORD DriverOutput(DWORD* count) override {
    int n = 0;
    if (::ioctl(fd_, TIOCOUTQ, &n) < 0) return ErrnoToWin32(errno);
    *count = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
  }

  DWORD Apply(const DCB& dcb) override {
    termios t{};
    if (::tcgetattr(fd_, &t) < 0) return ErrnoToWin32(errno);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
      case ODDPARITY:
        t.c_cflag |= PARENB | PARODD;
        break;
      case EVENPARITY:
        t.c_cflag |= PARENB;
        break;
      case MARKPARITY:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
      case SPACEPARITY:
        t.c_cflag |= PARENB | CMSPAR;
        break;
      default:
        break;
    }
    // Parity checking only when asked for; a bad byte then arrives as NUL, counted as an error.
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP);
    if (dcb.fParity && dcb.Parity != NOPARITY) t.c_iflag |= INPCK;
    // 1.5 stop bits exist only with 5 data bits, where the UART makes them of CSTOPB.
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    if (!hasModemLines_) {
      // A pseudo-terminal always holds 8 bits without parity (the kernel forces it, and glibc's
      // tcsetattr then fails on the difference): ask for exactly that, the DCB keeps the rest.
      t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR);
      t.c_cflag |= CS8;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    speed_t code = 0;
    const bool standard = StandardSpeed(dcb.BaudRate, &code);
    // glibc refuses settings whose speed fields it did not fill itself: always set one, then
    // the exact rate through termios2 when it has no constant.
    ::cfsetspeed(&t, standard ? code : B38400);
    if (::tcsetattr(fd_, TCSANOW, &t) < 0) return ErrnoToWin32(errno);
    if (!standard && !SetArbitrarySpeed(fd_, dcb.BaudRate)) return ErrnoToWin32(errno);
    // tcsetattr succeeds when any part was taken; a rate or size the driver bent is refused.
    termios check{};
    unsigned speed = 0;
    if (::tcgetattr(fd_, &check) < 0 || !GetSpeed(fd_, &speed)) return ErrnoToWin32(errno);
    // A pseudo-terminal always holds 8 bits without parity (the kernel forces it): there the
    // frame format lives in the DCB only.
    const tcflag_t kFrame = CSIZE | PARENB | PARODD | CMSPAR;
    const tcflag_t kChecked = CSTOPB | CRTSCTS | (hasModemLines_ ? kFrame : 0);
    if ((check.c_cflag & kChecked) != (t.c_cflag & kChecked) || speed != dcb.BaudRate) {
      return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
  }

  DWORD ModemStatus(DWORD* status) override {
    if (!hasModemLines_) {
      *status = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
      return ERROR_SUCCESS;
    }
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) < 0) return ErrnoToWin32(errno);
    *status = ((bits & TIOCM_CTS) ? MS_CTS_ON : 0) | ((bits & TIOCM_DSR) ? MS_DSR_ON : 0) |
              ((bits & TIOCM_RNG) ? MS_RING_ON : 0) | ((bits & TIOCM_CAR) ? MS_RLSD_ON : 0);
    return ERROR_SUCCESS;
  }

  DWORD Escape(DWORD function) override {
    int request = 0;
    int bits = 0;
    switch (function) {
      case SETDTR:
        request = TIOCMBIS, bits = TIOCM_DTR;
        break;
      case CLRDTR:
        request = TIOCMBIC, bits = TIOCM_DTR;
        break;
      case SETRTS:
        request = TIOCMBIS, bits = TIOCM_RTS;
        break;
      case CLRRTS:
        request = TIOCMBIC, bits = TIOCM_RTS;
        break;
      case SETBREAK:
        return Result(::ioctl(fd_, TIOCSBRK));
      case CLRBREAK:
        return Result(::ioctl(fd_, TIOCCBRK));
      case SETXOFF:
        return Result(::tcflow(fd_, TCOOFF));
      case SETXON:
        return Result(::tcflow(fd_, TCOON));
      default:
        return ERROR_INVALID_PARAMETER;
    }
    if (!hasModemLines_) return ERROR_SUCCESS;  // a null-modem pty has no lines to drive
    return Result(::ioctl(fd_, request, &bits));
  }

  DWORD Counts(LineCounts* counts) override {
    if (!hasCounters_) {
      *counts = {};
      return ERROR_SUCCESS;
    }
    serial_icounter_struct icount{};
    if (::ioctl(fd_, TIOCGICOUNT, &icount) < 0) return ErrnoToWin32(errno);
    counts->frame = static_cast<unsigned>(icount.frame);
    counts->overrun = static_cast<unsigned>(icount.overrun);
    counts->parity = static_cast<unsigned>(icount.parity);
    counts->brk = static_cast<unsigned>(icount.brk);
    counts->bufferOverrun = static_cast<unsigned>(icount.buf_overrun);
    return ERROR_SUCCESS;
  }

  DWORD Flush(bool input, bool output) override {
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (!input && !output) return ERROR_SUCCESS;
    return Result(::tcflush(fd_, which));
  }

  DCB InitialState() override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    unsigned speed = 9600;
    if (!GetSpeed(fd_, &speed) || speed == 0) speed = 9600;
    dcb.BaudRate = speed;
    dcb.fBinary = 1;
    switch (original_.c_cflag & CSIZE) {
      case CS5:
        dcb.ByteSize = 5;
        break;
      case CS6:
        dcb.ByteSize = 6;
        break;
      case CS7:
        dcb.ByteSize = 7;
        break;
      default:
        dcb.ByteSize = 8;
        break;
    }
    const tcflag_t c = original_.c_cflag;
    if (!(c & PARENB)) {
      dcb.Parity = NOPARITY;
    } else if (c & CMSPAR) {
      dcb.Parity = (c & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
      dcb.Parity = (c & PARODD) ? ODDPARITY : EVENPARITY;
    }
    dcb.StopBits = (c & CSTOPB) ? (dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS) : ONESTOPBIT;
    const bool rtscts = (c & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = rtscts;
    dcb.fRtsControl = rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    // Raw mode from the open on: software flow control only when the program asks for it.
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.XonChar = static_cast<char>(original_.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(original_.c_cc[VSTOP]);
    if (dcb.XonChar == dcb.XoffChar) {
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
    }
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    return dcb;
  }

  void Close() override {
    RestoreTermios(fd_, saved_);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }

 private:
  static DWORD Result(int rc) {
    if (rc == 0) return ERROR_SUCCESS;
    // A pseudo-terminal refuses line requests it has no wire for; that is not a failure.
    if (errno == ENOTTY || errno == EINVAL) return ERROR_SUCCESS;
    return ErrnoToWin32(errno);
  }

  int fd_;
  termios original_;
  SavedTermios saved_;
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
};

}  // namespace

DWORD OpenTtyLine(const std::string& path, std::unique_ptr<Line>* line, std::string* reason) {
  auto fail = [reason](int error, DWORD code) {
    if (reason) *reason = OpenFailureReason(error);
    return code;
  };
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno, ErrnoToWin32(errno));
  // A port belongs to one program at a time, as on the platform.
  if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
    const int error = errno;
    ::close(fd);
    return fail(error, ErrnoToWin32(error));
  }
  termios original{};
  SavedTermios saved{};
  if (::tcgetattr(fd, &original) < 0 || !SaveTermios(fd, &saved)) {
    ::close(fd);
    return fail(ENOTTY, ERROR_NOT_SUPPORTED);  // not a terminal: no serial API on it
  }
  *line = std::make_unique<TtyLine>(fd, original, saved);
  return ERROR_SUCCESS;
}

}  // namespace win::detail
