// The `ports` command of ravlin-testcon: which serial devices this machine has and the COM
// number each is reached as, so an engineer knows what to give PortNumber.
//
// A COM number n leads to RAVLIN_COM<n> when that is set, else to the registry value COM<n>
// under HKEY_LOCAL_MACHINE\Software\Cobrix\Ravlin\Ports, else to /dev/ttyS<n-1>. The listing
// shows every mapping given by the environment or the registry (marked when its device is
// missing), then every device present: USB adapters (/dev/ttyUSB*, /dev/ttyACM*, with their
// stable /dev/serial/by-id names) and the on-board ports /dev/ttyS* that have a UART behind
// them; each with the COM numbers that reach it, or a hint how to give it one.
//
// Offers: port_listing_sources, list_serial_ports.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testcon {

// Where the listing looks; the defaults are the machine's own (tests give their own).
struct port_listing_sources {
  std::string dev = "/dev";
  // Environment entries "NAME=VALUE" (default: this process's environment).
  std::vector<std::string> environment;
  bool use_process_environment = true;
  // Whether a /dev/ttyS device has a UART behind it (default: asks the driver).
  std::function<bool(const std::string& path)> uart_present;
};

// One line per mapping and per device, as described above; a single line saying so when there
// is neither.
std::vector<std::string> list_serial_ports(const port_listing_sources& sources = {});

}  // namespace testcon
