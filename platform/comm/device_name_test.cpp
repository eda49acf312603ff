#include "platform/comm/device_name.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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

}  // namespace
}  // namespace win::detail
