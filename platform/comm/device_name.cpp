#include "platform/comm/device_name.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/com/registry.h"

namespace win::detail {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix, std::size_t* length) {
  std::size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) !=
                                std::toupper(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  *length = i;
  return true;
}

std::string RegistryPath(int port) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  const std::string value = "COM" + std::to_string(port);
  DWORD type = 0;
  DWORD size = 0;
  std::string path;
  if (RegQueryValueExA(key, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 0) {
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key, value.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      path.assign(reinterpret_cast<const char*>(data.data()),
                  std::min<std::size_t>(size, data.size()));
      path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
    }
  }
  RegCloseKey(key);
  return path;
}

}  // namespace

namespace {

bool AllDigits(const std::string& text, std::size_t from) {
  if (from >= text.size()) return false;
  for (std::size_t i = from; i < text.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

}  // namespace

int ComPortNumber(const std::string& name) {
  std::size_t at = 0;
  std::size_t length = 0;
  if (StartsWithNoCase(name, "\\\\.\\", &length)) at = length;
  if (!StartsWithNoCase(name.substr(at), "COM", &length)) return 0;
  at += length;
  if (!AllDigits(name, at)) return 0;
  long long n = 0;
  for (std::size_t i = at; i < name.size(); ++i) {
    n = n * 10 + (name[i] - '0');
    if (n > kMaxComPort) return 0;
  }
  return n >= 1 ? static_cast<int>(n) : 0;
}

std::string ResolveDevicePath(const std::string& name) {
  const int port = ComPortNumber(name);
  if (port == 0) {
    std::size_t length = 0;
    // The device namespace holds nothing else here; and "COM" with a number no port has (COM0,
    // COM2147483648) is no file name either.
    if (StartsWithNoCase(name, "\\\\.\\", &length)) return {};
    if (StartsWithNoCase(name, "COM", &length) && AllDigits(name, length)) return {};
    return name;
  }
  const std::string variable = "RAVLIN_COM" + std::to_string(port);
  if (const char* value = std::getenv(variable.c_str()); value && *value) return value;
  if (std::string path = RegistryPath(port); !path.empty()) return path;
  return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace win::detail
