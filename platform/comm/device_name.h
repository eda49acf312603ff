// Where a name given to CreateFileA leads: "\\.\COM<n>" (or "COM<n>") to the path configured
// for port n, anything else to itself.
//
// Every port number the control accepts (1 to 2147483647) goes through the same map, however
// many digits it has. A name in the device namespace ("\\.\...") that is no such port, and a
// "COM" followed by digits whose number is out of that range, lead nowhere: they never become a
// path relative to the current folder.
#pragma once

#include <string>

namespace win::detail {

// The largest port number: the control's port numbers are positive 32-bit values.
inline constexpr long kMaxComPort = 2147483647;

// The port number of "\\.\COM<n>" or "COM<n>" (n decimal, 1 to kMaxComPort, leading zeros
// allowed; the prefix and "COM" in any case), or 0 when the name is no such COM name.
int ComPortNumber(const std::string& name);

// For a COM name: RAVLIN_COM<n> when set, else the registry value COM<n> under
// HKEY_LOCAL_MACHINE\Software\Cobrix\Ravlin\Ports, else /dev/ttyS<n-1>. "" for a name that
// leads nowhere (see above). Any other name unchanged.
std::string ResolveDevicePath(const std::string& name);

}  // namespace win::detail
