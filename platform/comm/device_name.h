// Where a name given to CreateFileA leads: "\\.\COM<n>" (or "COM<n>") to the path configured
// for port n, anything else to itself.
#pragma once

#include <string>

namespace win::detail {

// The port number of "\\.\COM<n>" or "COM<n>" (n from 1), or 0 when the name is no COM name.
int ComPortNumber(const std::string& name);

// RAVLIN_COM<n> when set, else the registry value COM<n> under
// HKEY_LOCAL_MACHINE\Software\Cobrix\Ravlin\Ports, else /dev/ttyS<n-1>; other names unchanged.
std::string ResolveDevicePath(const std::string& name);

}  // namespace win::detail
