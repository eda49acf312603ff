#include "platform/comm/device_name.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/com/registry.h"

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

}  // namespace
}  // namespace win::detail
