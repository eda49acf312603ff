// What CreateFileA and SetCommState say about a failure beside the error code.
#include "platform/comm/error_detail.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"
#include "platform/kernel/kernel.h"

namespace win {
namespace {

HANDLE Open(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

TEST(ErrorDetail, FailedOpensNameTheDeviceAndTheReasonAndASuccessClearsIt) {
  EXPECT_EQ(Open("\\\\.\\COM0"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetLastErrorDetail(), "\\\\.\\COM0: no such port");

  EXPECT_EQ(Open("/nonexistent/ttyUSB3"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastErrorDetail(),
            "/nonexistent/ttyUSB3: No such file or directory — is the device plugged in?");

  auto device = MemoryDevice::Create("error-detail-" + std::to_string(getpid()));
  HANDLE first = Open(device->Path().c_str());
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastErrorDetail(), "") << "a success leaves nothing to explain";
  EXPECT_EQ(Open(device->Path().c_str()), INVALID_HANDLE_VALUE) << "one program at a time";
  EXPECT_NE(GetLastErrorDetail().find(device->Path() + ": "), std::string::npos);

  DCB dcb{};
  ASSERT_TRUE(GetCommState(first, &dcb));
  DCB bad = dcb;
  bad.ByteSize = 3;
  ClearLastErrorDetail();
  EXPECT_FALSE(SetCommState(first, &bad));
  EXPECT_EQ(GetLastErrorDetail(), device->Path() + ": settings no line can take (3 data bits)");
  bad = dcb;
  bad.ByteSize = 7;
  bad.StopBits = ONE5STOPBITS;
  EXPECT_FALSE(SetCommState(first, &bad));
  EXPECT_EQ(GetLastErrorDetail(),
            device->Path() + ": settings no line can take (7 data bits with 1.5 stop bits)");
  CloseHandle(first);
}

TEST(ErrorDetail, ReasonsSayWhatToDo) {
  EXPECT_EQ(detail::OpenFailureReason(EACCES),
            "Permission denied — add the user to the dialout group (then log in again)");
  EXPECT_EQ(detail::OpenFailureReason(EBUSY), "in use by another program");
  EXPECT_EQ(detail::OpenFailureReason(ENOTTY), "not a serial port");
  EXPECT_EQ(detail::OpenFailureReason(EIO), "Input/output error");
}

}  // namespace
}  // namespace win
