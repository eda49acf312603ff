#include "platform/comm/error_detail.h"

#include <cerrno>
#include <cstring>

namespace win {

namespace {
thread_local std::string t_detail;
}  // namespace

std::string GetLastErrorDetail() {
  return t_detail;
}

void ClearLastErrorDetail() {
  t_detail.clear();
}

namespace detail {

void SetLastErrorDetail(std::string detail) {
  t_detail = std::move(detail);
}

std::string OpenFailureReason(int error) {
  const std::string text = std::strerror(error);
  switch (error) {
    case EACCES:
    case EPERM:
      return text + " — add the user to the dialout group (then log in again)";
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return text + " — is the device plugged in?";
    case EBUSY:
    case EWOULDBLOCK:
      return "in use by another program";
    case ENOTTY:
      return "not a serial port";
    default:
      return text;
  }
}

}  // namespace detail
}  // namespace win
