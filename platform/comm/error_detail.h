// Why the last open or configuration call of this thread failed, in words an engineer can act
// on: "DEVICE: REASON" (for example "/dev/ttyUSB0: Permission denied — add the user to the
// dialout group"). The error code (GetLastError) says what kind of failure it was; the detail
// says which device and why. Kept per thread, as the last error is. CreateFileA sets it when it
// fails and clears it when it succeeds; SetCommState sets it when it refuses settings.
//
// Offers: GetLastErrorDetail and ClearLastErrorDetail (ours, beside the platform's API); in
// detail::, SetLastErrorDetail and OpenFailureReason for the comm layer's own use.
#pragma once

#include <string>

namespace win {

// "DEVICE: REASON" of the last failure that gave one on this thread; "" when none.
std::string GetLastErrorDetail();
// Forgets it (a caller about to start an operation whose failure it will explain).
void ClearLastErrorDetail();

namespace detail {

void SetLastErrorDetail(std::string detail);
// The reason for an errno of opening a device, with what to do about it where that is clear
// (EACCES: the dialout group; ENOENT: plugged in?; EBUSY: another program).
std::string OpenFailureReason(int error);

}  // namespace detail
}  // namespace win
