#include "tools/testcon/port_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/com/registry.h"

extern char** environ;

namespace testcon {

namespace {

struct mapping {
  long number;
  std::string path;
  std::string source;  // "RAVLIN_COM<n>" or "registry"
};

std::string canonical(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// n of "COM<n>" (any case), 0 for anything else.
long com_number(const std::string& name) {
  if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
  long n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 214748364) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n >= 1 && n <= 2147483647 ? n : 0;
}

std::vector<mapping> environment_mappings(const port_listing_sources& s) {
  std::vector<std::string> entries = s.environment;
  if (s.use_process_environment)
    for (char** e = environ; e && *e; ++e) entries.emplace_back(*e);
  std::vector<mapping> out;
  for (const std::string& entry : entries) {
    if (entry.rfind("RAVLIN_", 0) != 0) continue;
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    const long n = com_number(entry.substr(7, eq - 7));
    if (n) out.push_back({n, entry.substr(eq + 1), entry.substr(0, eq)});
  }
  return out;
}

std::vector<mapping> registry_mappings() {
  std::vector<mapping> out;
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0,
                         win::KEY_READ, &key) != win::ERROR_SUCCESS)
    return out;
  for (win::DWORD i = 0;; ++i) {
    char name[256];
    win::DWORD nameSize = sizeof name;
    char value[4096] = {};
    win::DWORD valueSize = sizeof value - 1, type = 0;
    if (win::RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                           reinterpret_cast<win::BYTE*>(value), &valueSize) != win::ERROR_SUCCESS)
      break;
    const long n = com_number(name);
    if (n && type == win::REG_SZ) out.push_back({n, value, "registry"});
  }
  win::RegCloseKey(key);
  return out;
}

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') out.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;  // ttyS2 before ttyS10
  });
  return out;
}

bool uart_behind(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return present;
}

}  // namespace

std::vector<std::string> list_serial_ports(const port_listing_sources& s) {
  // The mappings in force: the environment overrides the registry for the same number.
  std::map<long, mapping> given;
  for (const mapping& m : registry_mappings()) given[m.number] = m;
  for (const mapping& m : environment_mappings(s)) given[m.number] = m;

  std::vector<std::string> lines;
  std::map<std::string, std::vector<std::string>> reachedBy;  // canonical device -> "COMn"
  for (const auto& [n, m] : given) {
    const std::string target = canonical(m.path);
    std::string line = "COM" + std::to_string(n) + " -> " + m.path + " (" + m.source + ")";
    if (target.empty())
      line += ": missing";
    else
      reachedBy[target].push_back("COM" + std::to_string(n));
    lines.push_back(line);
  }

  // Stable names of USB adapters.
  std::map<std::string, std::string> byId;  // canonical device -> by-id path
  const std::string idFolder = s.dev + "/serial/by-id";
  for (const std::string& name : names_in(idFolder)) {
    const std::string target = canonical(idFolder + "/" + name);
    if (!target.empty()) byId[target] = idFolder + "/" + name;
  }

  auto uart = s.uart_present ? s.uart_present : uart_behind;
  std::vector<std::string> devices;
  for (const std::string& name : names_in(s.dev)) {
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    const bool onboard = name.rfind("ttyS", 0) == 0 && name.size() > 4 &&
                         name.find_first_not_of("0123456789", 4) == std::string::npos;
    if (!usb && !onboard) continue;
    const std::string path = s.dev + "/" + name;
    if (onboard && !uart(path)) continue;
    devices.push_back(path);
  }
  for (const std::string& path : devices) {
    const std::string target = canonical(path);
    std::vector<std::string> numbers = reachedBy[target];
    // /dev/ttyS<k> is COM<k+1> unless that number is mapped elsewhere.
    if (path.rfind(s.dev + "/ttyS", 0) == 0) {
      const long n = std::atol(path.c_str() + s.dev.size() + 5) + 1;
      if (!given.count(n)) numbers.push_back("COM" + std::to_string(n));
    }
    std::string line = path;
    if (byId.count(target)) line += " (" + byId[target] + ")";
    if (numbers.empty()) {
      line += ": no COM number; set RAVLIN_COM<n>=" + (byId.count(target) ? byId[target] : path) +
              " or add \"COM<n>\" to the registry's Ports key";
    } else {
      line += ": ";
      for (std::size_t i = 0; i < numbers.size(); ++i) line += (i ? ", " : "") + numbers[i];
    }
    lines.push_back(line);
  }
  if (lines.empty()) lines.push_back("no serial devices and no COM mappings");
  return lines;
}

}  // namespace testcon
