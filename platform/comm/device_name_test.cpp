#include "platform/comm/device_name.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/com/registry.h"
#include "platform/comm/comm.h"

namespace win::detail {
namespace {

TEST(DeviceName, ComNamesAndTheirNumbers) {
  EXPECT_EQ(ComPortNumber("\\\\.\\COM1"), 1);
  EXPECT_EQ(ComPortNumber("\\\\.\\com12"), 12);
  EXPECT_EQ(ComPortNumber("COM3"), 3);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM0"), 0);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM"), 0);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM1x"), 0);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM99999999999"), 0);
  EXPECT_EQ(ComPortNumber("/dev/ttyUSB0"), 0);
}

TEST(DeviceName, EveryNumberTheControlTakesIsAPortUpToTheLargest) {
  EXPECT_EQ(ComPortNumber("\\\\.\\COM999999999"), 999999999);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM1000000000"), 1000000000);
  EXPECT_EQ(ComPortNumber("COM2147483647"), 2147483647);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM0002147483647"), 2147483647);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM2147483648"), 0);
  EXPECT_EQ(ComPortNumber("\\\\.\\COM4294967297"), 0) << "no wrap-around to 1";
  EXPECT_EQ(ComPortNumber("\\\\.\\COM" + std::string(400, '9')), 0);
}

TEST(DeviceName, LargeNumbersMapLikeSmallOnesAndNoPortLeadsNowhere) {
  ::setenv("RAVLIN_REGISTRY", "/nonexistent/cobrix-test.reg", 1);
  ::unsetenv("RAVLIN_COM1000000000");
  ::unsetenv("RAVLIN_COM2147483647");
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM1000000000"), "/dev/ttyS999999999");
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM2147483647"), "/dev/ttyS2147483646");
  ::setenv("RAVLIN_COM2147483647", "/dev/pts/9", 1);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM2147483647"), "/dev/pts/9");
  ::unsetenv("RAVLIN_COM2147483647");
  // Names that are no port lead nowhere rather than to a file of that name.
  for (const char* name : {"\\\\.\\COM0", "\\\\.\\COM2147483648", "\\\\.\\COM99999999999",
                           "\\\\.\\COM", "\\\\.\\COM1x", "\\\\.\\LPT1", "COM0", "COM2147483648"})
    EXPECT_EQ(ResolveDevicePath(name), "") << name;
  // Other names are paths as given.
  EXPECT_EQ(ResolveDevicePath("COMx"), "COMx");
  ::unsetenv("RAVLIN_REGISTRY");
}

TEST(DeviceName, EnvironmentThenDefaultPathOtherNamesAsGiven) {
  ::unsetenv("RAVLIN_COM7");
  ::setenv("RAVLIN_REGISTRY", "/nonexistent/cobrix-test.reg", 1);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM7"), "/dev/ttyS6");
  ::setenv("RAVLIN_COM7", "/dev/pts/42", 1);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM7"), "/dev/pts/42");
  ::unsetenv("RAVLIN_COM7");
  EXPECT_EQ(ResolveDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolveDevicePath("mem:x"), "mem:x");
}

TEST(DeviceName, RegistryValueComesBetweenEnvironmentAndDefault) {
  char dir[] = "/tmp/comm-registry-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/registry.reg";
  ::setenv("RAVLIN_REGISTRY", file.c_str(), 1);
  ::unsetenv("RAVLIN_COM8");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char path[] = "/dev/pts/77";
  ASSERT_EQ(
      RegSetValueExA(key, "COM8", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path),
      ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM8"), "/dev/pts/77");
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM9"), "/dev/ttyS8") << "no value: the default path";
  ::setenv("RAVLIN_COM8", "mem:eight", 1);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM8"), "mem:eight") << "the environment wins";
  ::unsetenv("RAVLIN_COM8");
  ::unlink(file.c_str());
  ::rmdir(dir);
  ::unsetenv("RAVLIN_REGISTRY");
}

TEST(DeviceName, RegistryMapsTheLargestPortNumber) {
  char dir[] = "/tmp/comm-registry-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/registry.reg";
  ::setenv("RAVLIN_REGISTRY", file.c_str(), 1);
  ::unsetenv("RAVLIN_COM2147483647");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char path[] = "/dev/pts/88";
  ASSERT_EQ(RegSetValueExA(key, "COM2147483647", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           sizeof path),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(ResolveDevicePath("\\\\.\\COM2147483647"), "/dev/pts/88");
  ::unlink(file.c_str());
  ::unlink((file + ".lock").c_str());
  ::rmdir(dir);
  ::unsetenv("RAVLIN_REGISTRY");
}

// A file literally named "\\.\COM1000000000" in the current folder, one that would open as a
// port if the name were taken as a path: a symbolic link to a pseudo-terminal.
TEST(DeviceName, AFileNamedLikeALargePortInTheCurrentFolderIsNeverOpened) {
  namespace fs = std::filesystem;
  int master = -1, slave = -1;
  char pty[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, pty, nullptr, nullptr), 0);
  char dir[] = "/tmp/comm-cwd-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  ::setenv("RAVLIN_REGISTRY", "/nonexistent/cobrix-test.reg", 1);
  ::unsetenv("RAVLIN_COM1000000000");
  for (const char* name : {"\\\\.\\COM1000000000", "\\\\.\\COM2147483648", "COM2147483648"}) {
    fs::create_symlink(pty, name);
    ASSERT_TRUE(fs::exists(name));
    SetLastError(0);
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name << " opened the file in the current folder";
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // COM1000000000 went to /dev/ttyS999999999, which no machine has; the others to nothing.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
  }
  // Mapped like a small number, the same port opens the device.
  ::setenv("RAVLIN_COM1000000000", pty, 1);
  HANDLE h = CreateFileA("\\\\.\\COM1000000000", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  ::unsetenv("RAVLIN_COM1000000000");
  ::unsetenv("RAVLIN_REGISTRY");
  fs::current_path(previous);
  fs::remove_all(dir);
  ::close(master);
  ::close(slave);
}

}  // namespace
}  // namespace win::detail
